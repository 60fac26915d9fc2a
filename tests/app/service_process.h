#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

namespace qmtest {

// The real quinmark-server binary, run with its own home, XDG folders and log
// file in a temporary folder, its output sent to files.
class ServiceProcess
{
public:
    ServiceProcess();
    ~ServiceProcess();

    static QString binaryPath();

    // Writes a persistent setting of the service before it starts.
    void setSetting(const QString& key, const QVariant& value);
    QProcessEnvironment& environment() { return env; }
    // The soft and hard limit of open files the binary starts with (0, the
    // default: this process's own); takes effect at the next launch.
    void setDescriptorLimit(unsigned long limit) { descriptorLimit = limit; }

    // Starts the binary with the arguments.
    bool launch(const QStringList& arguments);
    // Starts it and waits until it accepts connections on the port (false if it
    // ended or the deadline passed first).
    bool startServing(int port, const QStringList& extraArguments = {});
    // The same, without a tray, on the simulated bench of that JSON text
    // (written to a file of its own folder).
    bool startServingOnBench(int port, const QByteArray& benchJson);
    // Waits for the process to end; returns its exit code, or -1 on time-out.
    int waitForExit(int timeoutMs = 60000);
    bool isRunning() const;
    qint64 pid() const;
    void kill();

    QString logPath() const { return dir.filePath("log/debug.txt"); }
    QString log() const;
    QString standardOutput() const;
    QString standardError() const;
    // Thread count of the running process, from /proc.
    int threadCount() const;
    QString folder() const { return dir.path(); }

private:
    QTemporaryDir dir;
    QProcessEnvironment env;
    std::unique_ptr<QProcess> process;
    unsigned long descriptorLimit = 0;
};

} // namespace qmtest
