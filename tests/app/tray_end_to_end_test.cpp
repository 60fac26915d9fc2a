#include "http_test_client.h"
#include "service_process.h"
#include "wait_until.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <memory>

using qmtest::ServiceProcess;

namespace {

// A virtual X display with a system tray host (trayer), so that the service's
// tray icon is embedded as on a desktop and its menu can be driven by keys.
class TrayDesktop : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "trayer", "xdotool", "xclip"}) {
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
        }
        for (int number = 60 + int(QCoreApplication::applicationPid() % 200); number < 400; ++number) {
            if (!QFile::exists(QString("/tmp/.X11-unix/X%1").arg(number))
                && !QFile::exists(QString("/tmp/.X%1-lock").arg(number))) {
                display = QString(":%1").arg(number);
                break;
            }
        }
        ASSERT_FALSE(display.isEmpty());
        xvfb = start("Xvfb", {display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        const QString socket = QString("/tmp/.X11-unix/X%1").arg(display.mid(1));
        ASSERT_TRUE(tarvesk::test::waitUntil([&] { return QFile::exists(socket); }, 30000));
        trayer = start("trayer",
            {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32", "--SetDockType",
                "true"});
        ASSERT_TRUE(tarvesk::test::waitUntil([&] { return !visibleWindows("panel").isEmpty(); }, 30000));
    }

    void TearDown() override
    {
        for (QProcess* process : {trayer.get(), xvfb.get()}) {
            if (process && process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(10000);
            }
        }
    }

    std::unique_ptr<QProcess> start(const QString& program, const QStringList& arguments)
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        process->setProcessEnvironment(env);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        process->start(program, arguments);
        EXPECT_TRUE(process->waitForStarted(10000)) << program.toStdString();
        return process;
    }

    QString run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished();
        }
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

    QStringList visibleWindows(const QString& instanceName)
    {
        return run("xdotool", {"search", "--onlyvisible", "--classname", instanceName})
            .split('\n', Qt::SkipEmptyParts);
    }

    // Opens the tray icon's menu with a right click and chooses an entry by keys.
    // A click, or keys, that arrive while the tray host or the service is still
    // busy (the menu mapped but not yet holding the keyboard) can go unanswered:
    // a menu left open is closed with Escape, and the choice given again.
    void chooseFromMenu(const QString& trayWindow, const QStringList& keys)
    {
        bool chosen = false;
        for (int attempt = 0; attempt < 5 && !chosen; ++attempt) {
            // On a busy machine the Escape that should close a menu left open
            // can go unanswered too: it is given again until the menu is gone.
            ASSERT_TRUE(tarvesk::test::waitUntil(
                [&] {
                    const auto open = visibleWindows("quinmark-server").size();
                    if (open > 1)
                        run("xdotool", {"key", "Escape"});
                    return open == 1;
                },
                10000))
                << visibleWindows("quinmark-server").size() << " windows of the service";
            run("xdotool", {"mousemove", "--window", trayWindow, "8", "8", "click", "3"});
            if (!tarvesk::test::waitUntil(
                    [&] { return visibleWindows("quinmark-server").size() == 2; }, 3000))
                continue;
            // The menu may open under the pointer; moving away leaves no entry
            // highlighted, so the keys count from the top.
            run("xdotool", QStringList {"mousemove", "5", "700", "key"} + keys);
            chosen = tarvesk::test::waitUntil(
                [&] { return visibleWindows("quinmark-server").size() < 2; }, 5000);
            if (!chosen)
                run("xdotool", {"key", "Escape"});
        }
        ASSERT_TRUE(chosen) << "the menu did not open or did not take the keys";
    }

    QString display;
    std::unique_ptr<QProcess> xvfb;
    std::unique_ptr<QProcess> trayer;
};

} // namespace

TEST_F(TrayDesktop, IconAndMenuCopyOpenLinksAndShutDown)
{
    ServiceProcess service;
    // The browser is whatever xdg-open starts: here a script that notes the address.
    const QString bin = service.folder() + "/bin";
    const QString opened = service.folder() + "/opened.txt";
    QDir().mkpath(bin);
    QFile script(bin + "/xdg-open");
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QString("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '%1'\n").arg(opened).toUtf8());
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    auto& env = service.environment();
    env.insert("DISPLAY", display);
    env.insert("PATH", bin + ":" + env.value("PATH"));
    env.remove("QT_QPA_PLATFORM");
    env.remove("DBUS_SESSION_BUS_ADDRESS"); // the XEmbed tray, as trayer offers it
    // The X libraries keep a few allocations to the end; full stacks let the
    // leak suppressions recognise them.
    if (env.contains("ASAN_OPTIONS"))
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":fast_unwind_on_malloc=0");

    // The links must name the port actually served, which the setting chooses here.
    const int commandLinePort = qmtest::freeLoopbackPort();
    const int servedPort = qmtest::freeLoopbackPort();
    service.setSetting("network/http_port", servedPort);
    ASSERT_TRUE(service.startServing(servedPort, {"-p", QString::number(commandLinePort)}))
        << service.standardError().toStdString();

    // The icon is embedded in the tray host's panel.
    ASSERT_TRUE(
        tarvesk::test::waitUntil([&] { return visibleWindows("quinmark-server").size() == 1; }, 30000))
        << service.standardError().toStdString();
    const QString trayWindow = visibleWindows("quinmark-server").first();
    const QString geometry = run("xdotool", {"getwindowgeometry", trayWindow});
    EXPECT_TRUE(geometry.contains("Geometry:")) << geometry.toStdString();
    EXPECT_FALSE(geometry.contains("Geometry: 1x1")) << geometry.toStdString();

    // Entry 1: the version goes to the clipboard.
    chooseFromMenu(trayWindow, {"Down", "Return"});
    EXPECT_TRUE(tarvesk::test::waitUntil(
        [&] {
            return run("xclip", {"-o", "-selection", "clipboard"}) == "2.66.8 (beta.1)";
        },
        10000));

    const auto openedText = [&] {
        QFile file(opened);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    // Entries 2 and 3: the browser links, on loopback and the served port.
    chooseFromMenu(trayWindow, {"Down", "Down", "Return"});
    const QString apiDoc = QString("http://127.0.0.1:%1/data/html/new_api_doc.html").arg(servedPort);
    EXPECT_TRUE(tarvesk::test::waitUntil([&] { return openedText().contains(apiDoc); }, 10000))
        << openedText().toStdString();
    chooseFromMenu(trayWindow, {"Down", "Down", "Down", "Return"});
    const QString debugLog = QString("http://127.0.0.1:%1/debug").arg(servedPort);
    EXPECT_TRUE(tarvesk::test::waitUntil([&] { return openedText().contains(debugLog); }, 10000))
        << openedText().toStdString();

    // Entry 4, Restart, cannot be chosen: the key passes over it to Shutdown,
    // which ends the process with 0.
    const qint64 pid = service.pid();
    chooseFromMenu(trayWindow, {"Down", "Down", "Down", "Down", "Return"});
    EXPECT_EQ(service.waitForExit(60000), 0) << service.standardError().toStdString();
    EXPECT_TRUE(service.log().contains("QMS terminated normally. return_value:  0"));
    EXPECT_EQ(service.log().count("HTTP started at port"), 1)
        << "restarted instead of shutting down, pid " << pid;
}
