#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <string>

// What the benchmarks share: plain loopback sockets and starting the service
// as a user runs it, in folders of its own.
namespace qmbench {

// A TCP port on 127.0.0.1 that nothing listens on right now.
int freePort();
// A connected socket to 127.0.0.1:port (receive timeout 10 s), or -1.
int connectLoopback(int port);
// Sends all bytes; false when the connection failed.
bool sendAll(int fd, const std::string& bytes);
// Reads one reply with a Content-Length or chunked body from fd, keeping what
// follows it in buffer; returns its status or -1.
int readReply(int fd, std::string& buffer, std::string* body = nullptr);
// A POST of a JSON-RPC body to "/".
std::string postText(int port, const std::string& body);
// One JSON-RPC call on a connection of its own; the reply object ("result" or
// "error"), empty when no reply came.
QJsonObject rpc(int port, const char* method, const QJsonObject& params = {});

// The service in daemon mode on a free port, its home and log in a temporary
// folder. start() returns once the port accepts connections.
class ServiceProcess
{
public:
    ~ServiceProcess() { stop(); }
    bool start(const QString& binary, const QStringList& extraArguments = {});
    void stop();
    // Waits for the process to end by itself; its exit code, or -1 when it
    // crashed or was still running at the deadline.
    int waitForExit(int timeoutMs);
    int port() const { return servicePort; }
    qint64 pid() const { return process.processId(); }
    QString logPath() const { return home.path() + "/debug.txt"; }

private:
    QTemporaryDir home;
    QProcess process;
    int servicePort = 0;
};

// A line of /proc/<pid>/status in kB ("VmRSS", "VmHWM"); -1 when unknown.
long procStatusKb(qint64 pid, const char* field);

} // namespace qmbench
