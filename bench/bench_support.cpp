#include "bench_support.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcessEnvironment>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace qmbench {

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

int connectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval tv {10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

bool sendAll(int fd, const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

namespace {

// Reads until buffer holds at least `size` bytes; false when the connection ended first.
bool fill(int fd, std::string& buffer, size_t size)
{
    char chunk[65536];
    while (buffer.size() < size) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        buffer.append(chunk, size_t(n));
    }
    return true;
}

// Reads until buffer holds `text` from `from` on; its place or npos.
size_t fillUntil(int fd, std::string& buffer, const char* text, size_t from)
{
    size_t at;
    while ((at = buffer.find(text, from)) == std::string::npos) {
        if (!fill(fd, buffer, buffer.size() + 1))
            return std::string::npos;
    }
    return at;
}

} // namespace

int readReply(int fd, std::string& buffer, std::string* body)
{
    const size_t headerEnd = fillUntil(fd, buffer, "\r\n\r\n", 0);
    if (headerEnd == std::string::npos)
        return -1;
    const int status = std::atoi(buffer.c_str() + 9);
    std::string head = buffer.substr(0, headerEnd);
    for (auto& c : head)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (head.find("transfer-encoding: chunked") != std::string::npos) {
        std::string content;
        size_t at = headerEnd + 4;
        for (;;) {
            const size_t lineEnd = fillUntil(fd, buffer, "\r\n", at);
            if (lineEnd == std::string::npos)
                return -1;
            const size_t size = size_t(std::strtoul(buffer.c_str() + at, nullptr, 16));
            at = lineEnd + 2;
            if (size == 0)
                break;
            if (!fill(fd, buffer, at + size + 2))
                return -1;
            if (body)
                content.append(buffer, at, size);
            at += size + 2;
            // What was read is dropped as it goes, so that a large body is held once.
            buffer.erase(0, at);
            at = 0;
        }
        const size_t end = fillUntil(fd, buffer, "\r\n", at); // no trailers are sent
        if (end == std::string::npos)
            return -1;
        buffer.erase(0, end + 2);
        if (body)
            *body = std::move(content);
        return status;
    }
    const auto at = head.find("content-length:");
    const size_t length
        = at == std::string::npos ? 0 : size_t(std::strtoul(head.c_str() + at + 15, nullptr, 10));
    if (!fill(fd, buffer, headerEnd + 4 + length))
        return -1;
    if (body)
        *body = buffer.substr(headerEnd + 4, length);
    buffer.erase(0, headerEnd + 4 + length);
    return status;
}

std::string postText(int port, const std::string& body)
{
    return "POST / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port)
        + "\r\nContent-Type: application/json-rpc\r\nContent-Length: " + std::to_string(body.size())
        + "\r\n\r\n" + body;
}

QJsonObject rpc(int port, const char* method, const QJsonObject& params)
{
    const QJsonObject body {{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
    const int fd = connectLoopback(port);
    std::string buffer;
    std::string reply;
    const bool answered = fd >= 0
        && sendAll(fd, postText(port, QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString()))
        && readReply(fd, buffer, &reply) > 0;
    if (fd >= 0)
        ::close(fd);
    return answered ? QJsonDocument::fromJson(QByteArray::fromStdString(reply)).object() : QJsonObject();
}

bool ServiceProcess::start(const QString& binary, const QStringList& extraArguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path() + "/config");
    env.insert("XDG_DATA_HOME", home.path() + "/data");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    servicePort = freePort();
    process.setProcessEnvironment(env);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(
        binary, QStringList {"-d", "-p", QString::number(servicePort), "-l", logPath()} + extraArguments);
    if (!process.waitForStarted(10000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(binary));
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        const int probe = connectLoopback(servicePort);
        if (probe >= 0) {
            ::close(probe);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::fprintf(stderr, "the service did not start serving\n");
    return false;
}

void ServiceProcess::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(10000);
}

int ServiceProcess::waitForExit(int timeoutMs)
{
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(timeoutMs))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

long procStatusKb(qint64 pid, const char* field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

} // namespace qmbench
