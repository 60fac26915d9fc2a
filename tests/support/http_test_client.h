#pragma once

#include <chrono>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qmtest {

// One parsed HTTP reply. Header names are lower case.
struct HttpReply
{
    bool ok = false; // a complete reply was read
    int status = 0;
    std::map<std::string, std::string> headers;
    std::string body;

    bool hasHeader(const std::string& lowerName) const { return headers.count(lowerName) != 0; }
    std::string header(const std::string& lowerName) const;
};

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// A plain blocking HTTP/1.1 client over one TCP connection to loopback, so that
// tests control every byte (methods in any case, chunked bodies, keep-alive).
class HttpTestClient
{
public:
    explicit HttpTestClient(int port, std::chrono::milliseconds timeout = std::chrono::seconds(20));
    ~HttpTestClient();
    HttpTestClient(const HttpTestClient&) = delete;
    HttpTestClient& operator=(const HttpTestClient&) = delete;

    bool connect();
    void close();
    // The receive buffer that the next connect() asks for, so that a client
    // that stops reading holds up the server soon (0: the system's default).
    void setReceiveBuffer(int bytes) { receiveBuffer = bytes; }
    bool isConnected() const { return fd >= 0; }

    // Sends one request on the open connection (connecting first when needed)
    // and reads its reply. A body gets a Content-Length header.
    HttpReply request(const std::string& method, const std::string& target, const HeaderList& headers = {},
        const std::string& body = std::string());
    bool sendRaw(const std::string& bytes);
    HttpReply readReply(bool headRequest);
    // Waits until the first bytes of a reply are here (kept for readReply);
    // false when the connection ended first.
    bool awaitReplyStart() { return !buffer.empty() || readMore(); }
    // Waits for the status line of a reply (kept for readReply) and returns
    // its code; 0 when the connection ended first.
    int awaitStatus();
    // Waits until the bytes read so far (kept for readReply) hold text;
    // false when the connection ended first.
    bool awaitText(const std::string& text);
    // True when the server closed the connection (reads end of stream).
    bool peerClosed();
    // Whether a reply has begun to arrive (or the connection ended); does not wait.
    bool replyStarted();

private:
    bool readMore();

    int port;
    std::chrono::milliseconds timeout;
    int receiveBuffer = 0;
    int fd = -1;
    std::string buffer;
};

// A TCP port on 127.0.0.1 that nothing listens on right now, below the
// ephemeral range, that no other test process is handed while this one runs.
int freeLoopbackPort();
// True when something accepts connections on 127.0.0.1:port.
bool portAcceptsConnections(int port);

// A JSON-RPC 2.0 request envelope.
std::string rpcBody(const std::string& method, const std::string& id = "1", const std::string& params = "{}");

} // namespace qmtest
