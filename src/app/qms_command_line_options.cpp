#include "app/qms_command_line_options.h"

#include "core/file/application_data_folder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QVariant>

#include <cstdio>

namespace tarvesk {

QmsCommandLineOptions::QmsCommandLineOptions(QCoreApplication* application, QString description)
    : application(application)
    , description(std::move(description))
    , logPath(defaultLogPath())
{ }

QString QmsCommandLineOptions::defaultLogPath()
{
    return core::ApplicationDataFolder::path() + QStringLiteral("/log/debug.txt");
}

bool QmsCommandLineOptions::evaluate()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption({QStringLiteral("p"), QStringLiteral("port")},
        QStringLiteral("The port number of the quinmark server."), QStringLiteral("port"));
    const QCommandLineOption logOnOption({QStringLiteral("w"), QStringLiteral("log-on")},
        QStringLiteral("The setting that tells system whether to store log in a file."),
        QStringLiteral("log-on"));
    const QCommandLineOption logPathOption({QStringLiteral("l"), QStringLiteral("logpath")},
        QStringLiteral("The path where to store the log data."), QStringLiteral("log-path"));
    const QCommandLineOption daemonOption(
        {QStringLiteral("d"), QStringLiteral("daemon")}, QStringLiteral("Whether to run this as a daemon."));
    const QCommandLineOption testOption({QStringLiteral("t"), QStringLiteral("test")},
        QStringLiteral("Run test mode, simply exits with the version number printed."));
    parser.addOptions({portOption, logOnOption, logPathOption, daemonOption, testOption});
    parser.process(*application);

    if (parser.isSet(portOption)) {
        const QString value = parser.value(portOption);
        bool ok = false;
        const int number = value.toInt(&ok, 10);
        if (!ok) {
            std::fprintf(stderr, "Invalid integer value \"%s\"\n", value.toLocal8Bit().constData());
            return false;
        }
        // The port is a 16-bit number; 0 would let the system pick one that no client knows.
        if (number < 1 || number > 65535) {
            std::fprintf(stderr, "Invalid port number %d: the port must be between 1 and 65535\n", number);
            return false;
        }
        port = number;
    }
    if (parser.isSet(logOnOption))
        logToFile = QVariant(parser.value(logOnOption)).toBool();
    if (parser.isSet(logPathOption))
        logPath = parser.value(logPathOption);
    daemon = parser.isSet(daemonOption);
    test = parser.isSet(testOption);
    return true;
}

} // namespace tarvesk
