#pragma once

#include "interfaces/ilib_usb.h"

namespace tarvesk::itf {

// The production seam: forwards every call one to one to Debian's libusb-1.0.
class SystemLibUsb : public ILibUsb
{
public:
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
};

} // namespace tarvesk::itf
