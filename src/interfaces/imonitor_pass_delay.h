#pragma once

struct libusb_device_handle;

namespace tarvesk::itf {

// A stand-in for the hardware may also stand in for a busy host: before each
// polling pass the data monitor lets it hold the monitor thread back, outside
// every lock, as a scheduler that ran other work first would, while request
// threads go on sending. The system's libusb has nothing of the kind.
class IMonitorPassDelay
{
public:
    virtual ~IMonitorPassDelay() = default;
    virtual void beforePollPass(libusb_device_handle* handle) = 0;
};

} // namespace tarvesk::itf
