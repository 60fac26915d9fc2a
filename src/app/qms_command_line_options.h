#pragma once

#include <QString>

class QCoreApplication;

namespace tarvesk {

// The command line of the service: port, log switch and path, daemon and test mode.
class QmsCommandLineOptions
{
public:
    static constexpr int DefaultPort = 8012;

    QmsCommandLineOptions(QCoreApplication* application, QString description);

    // Reads the process arguments. False for a port that is not an integer in
    // 1..65535, after a message on standard error. The parser itself ends the
    // process for --help, --version and unknown options.
    bool evaluate();

    bool isLogFileOn() const { return logToFile; }
    QString getLogPath() const { return logPath; }
    int getPortNumber() const { return port; }
    bool runAsDaemon() const { return daemon; }
    bool runAsTest() const { return test; }

    // The log file used when no path is given.
    static QString defaultLogPath();

private:
    QCoreApplication* application;
    QString description;
    int port = DefaultPort;
    QString logPath;
    bool logToFile = true;
    bool daemon = false;
    bool test = false;
};

} // namespace tarvesk
