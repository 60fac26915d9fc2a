#pragma once

#include "network/service.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include <sys/socket.h>

struct MHD_Daemon;

namespace tarvesk::network {

class HttpRequestHandler;
class HttpSessionFactory;

// The two objects every connection thread reads. They are set by the service
// before the daemon starts and cleared after it stopped; connection threads
// read them through currentInstalledHandler() and currentSessionFactory().
extern std::shared_ptr<HttpRequestHandler> installedHandler;
extern std::shared_ptr<HttpSessionFactory> httpSessionFactory;

void setInstalledHandler(std::shared_ptr<HttpRequestHandler> handler);
std::shared_ptr<HttpRequestHandler> currentInstalledHandler();
void setHttpSessionFactory(std::shared_ptr<HttpSessionFactory> factory);
std::shared_ptr<HttpSessionFactory> currentSessionFactory();

// Starts and stops the libmicrohttpd daemon that serves the service port, one
// thread per connection. Requests go to the installed handler.
class HttpServer : public Service
{
public:
    // Asked for every connection as it is accepted, before it gets a thread:
    // false closes it at once. The host whitelist unless another is given.
    using PeerPolicy = std::function<bool(const sockaddr* address, socklen_t length)>;

    static constexpr unsigned ConnectionTimeoutSeconds = 30;
    // How long stop() lets requests in flight finish before it closes every connection.
    static constexpr std::chrono::milliseconds DrainTimeout {5000};

    explicit HttpServer(int port, PeerPolicy peerPolicy = {});
    ~HttpServer() override;

    bool start() override;
    bool isRunning() const override;
    void stop() override;
    int getPort() const { return port; }
    bool acceptsPeer(const sockaddr* address, socklen_t length) const;

    // Bookkeeping of the requests being handled, called by the daemon's callbacks.
    void requestStarted();
    void requestFinished();

private:
    int port;
    PeerPolicy peerPolicy;
    MHD_Daemon* daemon = nullptr;
    std::mutex inFlightMutex; // guards inFlight
    std::condition_variable inFlightDone;
    int inFlight = 0;
};

} // namespace tarvesk::network
