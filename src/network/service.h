#pragma once

namespace tarvesk {

// Base of the services that the application starts and stops (the HTTP server).
class Service
{
public:
    virtual bool start() = 0;
    virtual bool isRunning() const = 0;
    virtual void stop() = 0;
    virtual ~Service() = default;
};

} // namespace tarvesk
