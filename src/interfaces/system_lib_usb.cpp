#include "interfaces/system_lib_usb.h"

namespace tarvesk::itf {

int SystemLibUsb::init(libusb_context** context)
{
    return libusb_init(context);
}

void SystemLibUsb::exit(libusb_context* context)
{
    libusb_exit(context);
}

ssize_t SystemLibUsb::getDeviceList(libusb_context* context, libusb_device*** list)
{
    return libusb_get_device_list(context, list);
}

void SystemLibUsb::freeDeviceList(libusb_device** list, int unrefDevices)
{
    libusb_free_device_list(list, unrefDevices);
}

int SystemLibUsb::getDeviceDescriptor(libusb_device* device, libusb_device_descriptor* descriptor)
{
    return libusb_get_device_descriptor(device, descriptor);
}

libusb_device* SystemLibUsb::refDevice(libusb_device* device)
{
    return libusb_ref_device(device);
}

void SystemLibUsb::unrefDevice(libusb_device* device)
{
    libusb_unref_device(device);
}

int SystemLibUsb::open(libusb_device* device, libusb_device_handle** handle)
{
    return libusb_open(device, handle);
}

void SystemLibUsb::close(libusb_device_handle* handle)
{
    libusb_close(handle);
}

int SystemLibUsb::kernelDriverActive(libusb_device_handle* handle, int interfaceNumber)
{
    return libusb_kernel_driver_active(handle, interfaceNumber);
}

int SystemLibUsb::detachKernelDriver(libusb_device_handle* handle, int interfaceNumber)
{
    return libusb_detach_kernel_driver(handle, interfaceNumber);
}

int SystemLibUsb::claimInterface(libusb_device_handle* handle, int interfaceNumber)
{
    return libusb_claim_interface(handle, interfaceNumber);
}

int SystemLibUsb::releaseInterface(libusb_device_handle* handle, int interfaceNumber)
{
    return libusb_release_interface(handle, interfaceNumber);
}

int SystemLibUsb::bulkTransfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
    int length, int* transferred, unsigned int timeoutMs)
{
    return libusb_bulk_transfer(handle, endpoint, data, length, transferred, timeoutMs);
}

int SystemLibUsb::controlTransfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
    uint16_t value, uint16_t index, unsigned char* data, uint16_t length, unsigned int timeoutMs)
{
    return libusb_control_transfer(handle, requestType, request, value, index, data, length, timeoutMs);
}

int SystemLibUsb::clearHalt(libusb_device_handle* handle, unsigned char endpoint)
{
    return libusb_clear_halt(handle, endpoint);
}

int SystemLibUsb::resetDevice(libusb_device_handle* handle)
{
    return libusb_reset_device(handle);
}

} // namespace tarvesk::itf
