#pragma once

#include <libusb.h>

#include <cstdint>
#include <memory>

namespace tarvesk::itf {

// The libusb-1.0 calls the service makes, and nothing more. Everything that
// talks to USB goes through this seam, so that a stand-in for the hardware can
// take libusb's place without anything above it noticing. Arguments and
// results are libusb's own; the handle, device and context pointers are opaque.
class ILibUsb
{
public:
    virtual ~ILibUsb() = default;

    virtual int init(libusb_context** context) = 0;
    virtual void exit(libusb_context* context) = 0;

    virtual ssize_t getDeviceList(libusb_context* context, libusb_device*** list) = 0;
    virtual void freeDeviceList(libusb_device** list, int unrefDevices) = 0;
    virtual int getDeviceDescriptor(libusb_device* device, libusb_device_descriptor* descriptor) = 0;
    virtual libusb_device* refDevice(libusb_device* device) = 0;
    virtual void unrefDevice(libusb_device* device) = 0;

    virtual int open(libusb_device* device, libusb_device_handle** handle) = 0;
    virtual void close(libusb_device_handle* handle) = 0;
    virtual int kernelDriverActive(libusb_device_handle* handle, int interfaceNumber) = 0;
    virtual int detachKernelDriver(libusb_device_handle* handle, int interfaceNumber) = 0;
    virtual int claimInterface(libusb_device_handle* handle, int interfaceNumber) = 0;
    virtual int releaseInterface(libusb_device_handle* handle, int interfaceNumber) = 0;

    virtual int bulkTransfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
        int length, int* transferred, unsigned int timeoutMs)
        = 0;
    virtual int controlTransfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
        uint16_t value, uint16_t index, unsigned char* data, uint16_t length, unsigned int timeoutMs)
        = 0;
    virtual int clearHalt(libusb_device_handle* handle, unsigned char endpoint) = 0;
    virtual int resetDevice(libusb_device_handle* handle) = 0;
};

// The implementation that new USB transports use: the system's libusb unless a
// stand-in was installed at start-up (before any transport exists).
std::shared_ptr<ILibUsb> defaultLibUsb();
// Installs the implementation for transports created from now on; null restores
// the system's libusb.
void setDefaultLibUsb(std::shared_ptr<ILibUsb> libUsb);

} // namespace tarvesk::itf
