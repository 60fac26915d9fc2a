#include "app/qm_server_lib.h"
#include "app/qms_command_line_options.h"
#include "log/qdebug_logger.h"
#include "sim_selection.h"

#include <QApplication>
#include <QDebug>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

void discardMessage(QtMsgType, const QMessageLogContext&, const QString&) { }

// Without a desktop the service runs headless instead of failing to start.
void chooseHeadlessPlatformWithoutDesktop()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Every log line and every request reads the local time. Without TZ the C
// library looks at /etc/localtime again each time; naming the zone file once
// lets it keep what it read.
void keepLocalTimeZoneLoaded()
{
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
}

// Every connection is served on a thread of its own, and glibc gives new
// threads arenas of their own (up to eight per core), each keeping memory its
// thread once used: a burst of large requests left hundreds of megabytes
// resident. Requests are parsed and answered in parallel, and threads that
// share an arena wait for its lock on every allocation, so the service keeps
// one arena per core (at least two) rather than eight. Large requests are
// handled one at a time and trimmed after, so what the arenas keep stays
// small. Set before any thread starts; MALLOC_ARENA_MAX in the environment
// still rules.
//
// A request body grows as it arrives, through buffers of twice the size each
// time, and glibc raises its mmap threshold to the size of every large block
// freed: after the first large body, the buffers of the next ones come from
// the arenas, whose tops malloc_trim() does not return, and a burst of large
// bodies left tens of megabytes resident. Held at glibc's default, the
// threshold keeps every large buffer a mapping of its own, gone when freed
// (and grown by mremap(), without a copy). MALLOC_MMAP_THRESHOLD_ still rules.
void limitMallocArenas()
{
#ifdef __GLIBC__
    if (!qEnvironmentVariableIsSet("MALLOC_ARENA_MAX"))
        mallopt(M_ARENA_MAX, int(std::max(2u, std::thread::hardware_concurrency())));
    if (!qEnvironmentVariableIsSet("MALLOC_MMAP_THRESHOLD_"))
        mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

// Every HTTP connection holds a descriptor, and the HTTP server takes only as
// many connections as the soft limit leaves beside the service's own files. The
// soft limit a shell or service manager hands down is often 1024, far below
// the hard limit that the process may raise it to.
void raiseDescriptorLimit()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit); // where the system refuses, the limit in force stays
}

} // namespace

int main(int argc, char** argv)
{
    limitMallocArenas();
    raiseDescriptorLimit();
    Q_INIT_RESOURCE(quinmark_app);
#ifndef Q_OS_MACOS
    chooseHeadlessPlatformWithoutDesktop();
    keepLocalTimeZoneLoaded();
#endif
    // Every pass gets the arguments as the process received them: the
    // application object removes the framework's own options from its copy.
    const std::vector<std::string> arguments(argv, argv + argc);

    // A bench file named in the environment replaces the USB hardware with
    // simulated interfaces, for trying the service without a Vandrel box.
    QString benchError;
    if (!tarvesk::sim::installBenchFromEnvironment(&benchError)) {
        std::fprintf(stderr, "%s\n", qPrintable(benchError));
        return 1;
    }

    for (;;) {
        std::vector<std::string> passArguments = arguments;
        std::vector<char*> passArgv;
        for (auto& argument : passArguments)
            passArgv.push_back(argument.data());
        passArgv.push_back(nullptr);
        int passArgc = argc;

        int code = 0;
        {
            QApplication application(passArgc, passArgv.data());
            tarvesk::QmServerLib::setApplicationIdentity();
            tarvesk::QmsCommandLineOptions options(&application, QStringLiteral("Quinmark Server"));
            if (!options.evaluate())
                return 1;

            using tarvesk::service::QDebugLogger;
            QDebugLogger::install(options.isLogFileOn(), options.getLogPath());
            QDebugLogger::setEnableDebugCategory(QDebugLogger::customCategories(), true);
            QDebugLogger::setEnableDebugCategory(QStringLiteral("js"), false);
            QDebugLogger::setEnableDebugCategory(QStringLiteral("profile.type"), false);
            if (options.runAsTest())
                qInstallMessageHandler(&discardMessage);

            code = tarvesk::QmServerLib::startAsService(
                &application, options.getPortNumber(), options.runAsDaemon(), options.runAsTest());
            qDebug() << "QMS service finished. return_value: " << code;
        }
        if (code != 1337) {
            qDebug() << "QMS terminated normally. return_value: " << code;
            return code;
        }
    }
}
