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
class RequestDeadlineWatch;

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
    // The most a connection may take, all told, to deliver one request's
    // headers and body (and to take the reply); the idle time-out alone lets a
    // peer that sends a byte now and then hold a connection for ever.
    static constexpr std::chrono::milliseconds RequestArrivalTimeout {30000};

    explicit HttpServer(int port, PeerPolicy peerPolicy = {});
    ~HttpServer() override;

    bool start() override;
    bool isRunning() const override;
    void stop() override;
    int getPort() const { return port; }
    // Takes effect at the next start().
    void setRequestArrivalTimeout(std::chrono::milliseconds timeout) { arrivalTimeout = timeout; }
    // The watch of the connections' deadlines; null while stopped.
    RequestDeadlineWatch* deadlines() const { return deadlineWatch.get(); }
    bool acceptsPeer(const sockaddr* address, socklen_t length) const;

    // Bookkeeping of the requests being handled, called by the daemon's callbacks.
    void requestStarted();
    void requestFinished();

private:
    int port;
    PeerPolicy peerPolicy;
    MHD_Daemon* daemon = nullptr;
    std::chrono::milliseconds arrivalTimeout = RequestArrivalTimeout;
    std::unique_ptr<RequestDeadlineWatch> deadlineWatch; // made before the daemon starts, ended after it stopped
    std::mutex inFlightMutex; // guards inFlight
    std::condition_variable inFlightDone;
    int inFlight = 0;
};

} // namespace tarvesk::network
