#pragma once

#include "interfaces/ilib_usb.h"
#include "interfaces/imonitor_pass_delay.h"
#include "sim_bus_clock.h"
#include "sim_vandrel_box.h"

#include <QStringList>

#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace tarvesk::sim {

// libusb in the hardware's place: its devices are simulated Vandrel boxes. It
// keeps libusb's rules and says when a caller breaks them (recorded as
// violations and logged): a handle or device used after it was released or
// after its context ended, a context ended while devices of it are still held,
// a transfer on an unclaimed interface, and a request report written while the
// reply to the previous one is still unread (or a read with no request), which
// is what two threads interleaving their exchanges look like from the box.
//
// It also stands in for a busy host: the data monitor's polling passes wait out
// the hold-back their box has planned (SimFaults::setPollHoldBack).
class SimLibUsb : public itf::ILibUsb, public itf::IMonitorPassDelay
{
public:
    explicit SimLibUsb(SimTiming timing = SimTiming::Instant);
    ~SimLibUsb() override;

    std::shared_ptr<SimVandrelBox> addBox(const SimBoxConfig& config = SimBoxConfig());
    void addBox(std::shared_ptr<SimVandrelBox> box);
    std::vector<std::shared_ptr<SimVandrelBox>> boxes() const;
    SimTiming timing() const { return _timing; }
    // Frame counts and bus time of all boxes together.
    SimBusStats busStats() const;

    // Faults of calls that belong to no box.
    void failInit(int libusbError, int times = 1);
    void failDeviceList(int libusbError, int times = 1);

    QStringList violations() const;
    void clearViolations();
    int liveContextCount() const { return contextCount(true); }
    // How many contexts were ended (a libusb reset ends one and makes another).
    int endedContextCount() const { return contextCount(false); }
    int openHandleCount() const;

    int init(libusb_context** context) override;
    void exit(libusb_context* context) override;
    ssize_t getDeviceList(libusb_context* context, libusb_device*** list) override;
    void freeDeviceList(libusb_device** list, int unrefDevices) override;
    int getDeviceDescriptor(libusb_device* device, libusb_device_descriptor* descriptor) override;
    libusb_device* refDevice(libusb_device* device) override;
    void unrefDevice(libusb_device* device) override;
    int open(libusb_device* device, libusb_device_handle** handle) override;
    void close(libusb_device_handle* handle) override;
    int kernelDriverActive(libusb_device_handle* handle, int interfaceNumber) override;
    int detachKernelDriver(libusb_device_handle* handle, int interfaceNumber) override;
    int claimInterface(libusb_device_handle* handle, int interfaceNumber) override;
    int releaseInterface(libusb_device_handle* handle, int interfaceNumber) override;
    int bulkTransfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data, int length,
        int* transferred, unsigned int timeoutMs) override;
    int controlTransfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request, uint16_t value,
        uint16_t index, unsigned char* data, uint16_t length, unsigned int timeoutMs) override;
    int clearHalt(libusb_device_handle* handle, unsigned char endpoint) override;
    int resetDevice(libusb_device_handle* handle) override;

    void beforePollPass(libusb_device_handle* handle) override;

private:
    int contextCount(bool live) const;
    // The box of a live handle, or null.
    std::shared_ptr<SimVandrelBox> boxOf(libusb_device_handle* handle) const;

    struct Context
    {
        bool live = true;
    };
    struct Device
    {
        Context* context;
        std::shared_ptr<SimVandrelBox> box;
        int generation;
        int references = 0;
        bool live = true;
    };
    struct Handle
    {
        Device* device;
        bool live = true;
        bool claimed = false;
        bool replyPending = false;
        unsigned char reply[SimVandrelBox::ReportSize] = {};
    };

    // All under _mutex. Released objects are kept (marked dead) until this
    // object ends, so that a stale pointer is recognised and never reused.
    void violation(const QString& text);
    Context* findContext(libusb_context* context, const char* call);
    Device* findDevice(libusb_device* device, const char* call);
    Handle* findHandle(libusb_device_handle* handle, const char* call);
    bool isPresent(const Device* device) const;
    void release(Device* device);
    static libusb_device* toLibUsb(Device* device) { return reinterpret_cast<libusb_device*>(device); }
    static libusb_device_handle* toLibUsb(Handle* handle)
    {
        return reinterpret_cast<libusb_device_handle*>(handle);
    }

    const SimTiming _timing;
    mutable std::mutex _mutex;
    std::vector<std::shared_ptr<SimVandrelBox>> _boxes;
    std::vector<std::unique_ptr<Context>> _contexts;
    std::vector<std::unique_ptr<Device>> _devices;
    std::vector<std::unique_ptr<Handle>> _handles;
    std::unordered_map<const void*, Context*> _contextIndex;
    std::unordered_map<const void*, Device*> _deviceIndex;
    std::unordered_map<const void*, Handle*> _handleIndex;
    std::deque<int> _initFaults;
    std::deque<int> _listFaults;
    QStringList _violations;
};

} // namespace tarvesk::sim
