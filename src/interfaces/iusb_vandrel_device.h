#pragma once

#include <functional>

struct libusb_device_handle;

namespace tarvesk::proto {
class PacketMutex;
}

namespace tarvesk::itf {

class IVandrelRecordSink;

// What the bus interfaces of a Vandrel USB interface need of the device they
// belong to, beyond the core Device: its open USB handle and its data monitor.
// The Vandrel device implements it; a bus interface finds it on its parent device.
class IUsbVandrelDevice
{
public:
    virtual ~IUsbVandrelDevice() = default;

    // The open USB handle, or null when the device is closed.
    virtual libusb_device_handle* getDeviceHandle() const = 0;
    // Whether a data monitor polls the interface's record stream (firmware 13 on).
    virtual bool hasDataMonitor() const = 0;
    // Installs the hand-over of a waiting sender in the data monitor, or removes
    // it with null; once removal has returned the monitor no longer touches it.
    virtual void installPacketMutex(proto::PacketMutex* packetMutex) = 0;
    // Restarts the monitor's polling with a new interval, on the monitor's thread.
    virtual void restartMonitor(int intervalMs) = 0;
    // Offers every record of the monitor stream to the sink before a waiting
    // sender sees it, from now on and for the monitors made later. Once detach
    // has returned no monitor touches the sink.
    virtual void attachRecordSink(IVandrelRecordSink* sink) = 0;
    virtual void detachRecordSink(IVandrelRecordSink* sink) = 0;
    // Tells every attached record sink something (the DMX sender its frames'
    // indices), on the calling thread.
    virtual void tellRecordSinks(const std::function<void(IVandrelRecordSink&)>& tell) { (void)tell; }
};

} // namespace tarvesk::itf
