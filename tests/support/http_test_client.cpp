#include "http_test_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <random>
#include <set>
#include <string>

namespace qmtest {

namespace {

std::string lower(std::string text)
{
    std::transform(
        text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string trim(const std::string& text)
{
    const auto begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::string();
    const auto end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

sockaddr_in loopback(int port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

std::string HttpReply::header(const std::string& lowerName) const
{
    const auto found = headers.find(lowerName);
    return found == headers.end() ? std::string() : found->second;
}

HttpTestClient::HttpTestClient(int port, std::chrono::milliseconds timeout)
    : port(port)
    , timeout(timeout)
{ }

HttpTestClient::~HttpTestClient()
{
    close();
}

bool HttpTestClient::connect()
{
    close();
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    timeval tv {};
    tv.tv_sec = long(timeout.count() / 1000);
    tv.tv_usec = long((timeout.count() % 1000) * 1000);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const sockaddr_in address = loopback(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close();
        return false;
    }
    return true;
}

void HttpTestClient::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    buffer.clear();
}

bool HttpTestClient::sendRaw(const std::string& bytes)
{
    if (fd < 0 && !connect())
        return false;
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

bool HttpTestClient::readMore()
{
    if (fd < 0)
        return false;
    char chunk[16384];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0)
        return false;
    buffer.append(chunk, size_t(n));
    return true;
}

bool HttpTestClient::peerClosed()
{
    if (fd < 0)
        return true;
    char byte;
    const ssize_t n = ::recv(fd, &byte, 1, 0);
    return n == 0 || (n < 0 && errno == ECONNRESET);
}

bool HttpTestClient::replyStarted()
{
    if (!buffer.empty() || fd < 0)
        return true;
    pollfd ready {fd, POLLIN, 0};
    return ::poll(&ready, 1, 0) > 0;
}

int HttpTestClient::awaitStatus()
{
    size_t lineEnd;
    while ((lineEnd = buffer.find("\r\n")) == std::string::npos) {
        if (!readMore())
            return 0;
    }
    const auto space = buffer.find(' ');
    return space < lineEnd ? std::atoi(buffer.c_str() + space + 1) : 0;
}

bool HttpTestClient::awaitText(const std::string& text)
{
    while (buffer.find(text) == std::string::npos) {
        if (!readMore())
            return false;
    }
    return true;
}

HttpReply HttpTestClient::readReply(bool headRequest)
{
    HttpReply reply;
    size_t headerEnd;
    while ((headerEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
        if (!readMore())
            return reply;
    }
    const std::string head = buffer.substr(0, headerEnd);
    buffer.erase(0, headerEnd + 4);
    size_t lineEnd = head.find("\r\n");
    const std::string statusLine = head.substr(0, lineEnd);
    const auto space = statusLine.find(' ');
    if (space == std::string::npos)
        return reply;
    reply.status = std::atoi(statusLine.c_str() + space + 1);
    while (lineEnd != std::string::npos) {
        const size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string line
            = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
        const auto colon = line.find(':');
        if (colon != std::string::npos)
            reply.headers[lower(line.substr(0, colon))] = trim(line.substr(colon + 1));
    }
    if (headRequest || reply.status == 204 || reply.status == 304 || reply.status / 100 == 1) {
        reply.ok = true;
        return reply;
    }
    if (reply.hasHeader("content-length")) {
        const size_t length = size_t(std::strtoull(reply.header("content-length").c_str(), nullptr, 10));
        while (buffer.size() < length) {
            if (!readMore())
                return reply;
        }
        reply.body = buffer.substr(0, length);
        buffer.erase(0, length);
    } else if (lower(reply.header("transfer-encoding")) == "chunked") {
        for (;;) {
            size_t end;
            while ((end = buffer.find("\r\n")) == std::string::npos) {
                if (!readMore())
                    return reply;
            }
            const size_t size = size_t(std::strtoull(buffer.substr(0, end).c_str(), nullptr, 16));
            while (buffer.size() < end + 2 + size + 2) {
                if (!readMore())
                    return reply;
            }
            reply.body += buffer.substr(end + 2, size);
            buffer.erase(0, end + 2 + size + 2);
            if (size == 0)
                break;
        }
    } else {
        while (readMore()) { }
        reply.body = buffer;
        buffer.clear();
    }
    reply.ok = true;
    return reply;
}

HttpReply HttpTestClient::request(
    const std::string& method, const std::string& target, const HeaderList& headers, const std::string& body)
{
    std::string text
        = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
    bool hasLength = false;
    for (const auto& [name, value] : headers) {
        text += name + ": " + value + "\r\n";
        hasLength = hasLength || lower(name) == "content-length" || lower(name) == "transfer-encoding";
    }
    if (!body.empty() && !hasLength)
        text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    text += "\r\n" + body;
    if (!sendRaw(text))
        return HttpReply();
    return readReply(method == "HEAD");
}

int freeLoopbackPort()
{
    // Test processes run side by side, and a service takes seconds to bind the
    // port it was given: a port that the kernel called free (bind to port 0)
    // could be handed to two of them meanwhile, each then talking to the
    // other's service. So ports come from below the kernel's ephemeral range
    // (where no connection or bind to port 0 takes them), each claimed by a
    // lock that this process holds until it ends (the kernel lets go of it
    // then, however the process ends) and never handed out twice here.
    static std::mutex mutex;
    static std::set<int> handedOut;
    static std::mt19937 random(std::random_device {}() ^ unsigned(::getpid()));
    constexpr int First = 20000;
    constexpr int Last = 32767;
    const std::string folder = "/tmp/qmtest-ports";
    ::mkdir(folder.c_str(), 0777);
    std::lock_guard<std::mutex> locker(mutex);
    std::uniform_int_distribution<int> pick(First, Last);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const int port = pick(random);
        if (handedOut.count(port))
            continue;
        const int lock = ::open((folder + "/" + std::to_string(port)).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (lock < 0)
            continue;
        if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
            ::close(lock);
            continue;
        }
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(port);
        const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (!free) {
            ::close(lock);
            continue;
        }
        handedOut.insert(port); // its lock stays held
        return port;
    }
    return 0;
}

bool portAcceptsConnections(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    bool accepted = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (accepted) {
        // While nothing listens on a port of the ephemeral range, the kernel may
        // pick that very port as this socket's own and connect it to itself:
        // that is no server.
        sockaddr_in local {};
        socklen_t length = sizeof local;
        accepted = ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0
            && ntohs(local.sin_port) != port;
    }
    ::close(fd);
    return accepted;
}

std::string rpcBody(const std::string& method, const std::string& id, const std::string& params)
{
    return "{\"jsonrpc\": \"2.0\", \"id\": " + id + ", \"method\": \"" + method + "\", \"params\": " + params
        + "}";
}

} // namespace qmtest
