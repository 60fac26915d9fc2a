#include "core/itf_error.h"
#include "devices/lib_usb_device.h"
#include "interfaces/lib_usb_interface.h"
#include "log_capture.h"
#include "protocol/usb/vandrel_commands.h"
#include "sim_usb_universe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace tarvesk;
using tarvesk::sim::SimCall;
using tarvesk::test::LogCapture;
using tarvesk::test::SimUsbUniverse;

namespace {

// libusb whose kernel-driver answers and product string a test chooses.
class KernelDriverLibUsb : public sim::SimLibUsb
{
public:
    int kernelDriverActive(libusb_device_handle* handle, int interfaceNumber) override
    {
        const int result = SimLibUsb::kernelDriverActive(handle, interfaceNumber);
        return result == 0 ? active : result;
    }
    int detachKernelDriver(libusb_device_handle*, int) override
    {
        ++detaches;
        return detachResult;
    }
    int controlTransfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request, uint16_t value,
        uint16_t index, unsigned char* data, uint16_t length, unsigned int timeoutMs) override
    {
        const int result
            = SimLibUsb::controlTransfer(handle, requestType, request, value, index, data, length, timeoutMs);
        // A product string whose length byte claims more than came.
        if (overlongProduct && (value & 0xFF) == 2 && result > 0)
            data[0] = static_cast<unsigned char>(result + 2);
        return result;
    }

    int active = 0;
    int detachResult = 0;
    int detaches = 0;
    bool overlongProduct = false;
};

// libusb that holds the monitor's first poll between its request and its
// reply, and lets the device's string reads go only while it is held.
class HeldPollLibUsb : public sim::SimLibUsb
{
public:
    // How long the held poll waits for a reset to reach the box: with the
    // reset waiting for the exchange, it never does and the poll goes on.
    static constexpr std::chrono::milliseconds ResetGrace {200};

    int bulkTransfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data, int length,
        int* transferred, unsigned int timeoutMs) override
    {
        const int result = SimLibUsb::bulkTransfer(handle, endpoint, data, length, transferred, timeoutMs);
        if ((endpoint & 0x80) == 0 && length > 0 && data[0] == proto::vandrel::VD_CMD_POLL_MONITOR
            && result == 0) {
            std::unique_lock<std::mutex> locker(_mutex);
            if (!_pollHeld) {
                _pollHeld = true;
                _changed.notify_all();
                _changed.wait_for(locker, ResetGrace, [this] { return _resetDone; });
            }
        }
        return result;
    }
    int controlTransfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request, uint16_t value,
        uint16_t index, unsigned char* data, uint16_t length, unsigned int timeoutMs) override
    {
        {
            std::unique_lock<std::mutex> locker(_mutex);
            pollWasHeld = _changed.wait_for(locker, std::chrono::seconds(30), [this] { return _pollHeld; });
        }
        return SimLibUsb::controlTransfer(
            handle, requestType, request, value, index, data, length, timeoutMs);
    }
    int resetDevice(libusb_device_handle* handle) override
    {
        const int result = SimLibUsb::resetDevice(handle);
        std::lock_guard<std::mutex> locker(_mutex);
        _resetDone = true;
        _changed.notify_all();
        return result;
    }

    bool pollWasHeld = false;

private:
    std::mutex _mutex;
    std::condition_variable _changed;
    bool _pollHeld = false;
    bool _resetDone = false;
};

devices::LibUsbDevice* asUsb(const std::unique_ptr<core::Device>& device)
{
    return dynamic_cast<devices::LibUsbDevice*>(device.get());
}

TEST(LibUsbDevice, OpensClaimsAndNamesItselfFromItsStrings)
{
    SimUsbUniverse usb;
    usb.libUsb->addBox();
    int status = -1;
    std::unique_ptr<core::Device> device = usb.createDevice(0, nullptr, &status);
    ASSERT_EQ(status, 0);
    devices::LibUsbDevice* usbDevice = asUsb(device);
    EXPECT_TRUE(usbDevice->isOpen());
    EXPECT_TRUE(usbDevice->isClaimed());
    EXPECT_TRUE(device->isConnected());
    EXPECT_EQ(device->getName(), QStringLiteral("Vandrel USB interface"));
    EXPECT_EQ(device->getManufacturerString(), QStringLiteral("Tarvesk"));
    EXPECT_EQ(device->getAttribute(QStringLiteral("VID"))->getValue().toInt(), 0x04D8);
    EXPECT_EQ(device->getAttribute(QStringLiteral("PID"))->getValue().toInt(), 0xFF00);
    EXPECT_TRUE(device->getAttribute(QStringLiteral("opened"))->getValue().toBool());
    EXPECT_EQ(usb.transport->openHandleCount(), 1);

    EXPECT_TRUE(device->deviceDisconnect());
    EXPECT_FALSE(usbDevice->isOpen());
    EXPECT_FALSE(device->isConnected());
    LogCapture log;
    EXPECT_TRUE(device->deviceDisconnect());
    EXPECT_EQ(log.count(QStringLiteral("Trying to close libusb device without a handle")), 1);
    device.reset();
}

TEST(LibUsbDevice, StringReadsClearAHaltAndGiveUpAfterThreeAttempts)
{
    const struct
    {
        const char* label;
        int error;
        int times;
        int status;
        const char* name;
        const char* manufacturer;
        int clearHalts;
        int resets;
    } cases[] = {
        {"pipe twice, then the string", LIBUSB_ERROR_PIPE, 2, 0, "Vandrel USB interface", "Tarvesk", 2, 0},
        {"product string lost", LIBUSB_ERROR_IO, 3, 0, "PID: ff00", "Tarvesk", 0, 3},
        {"both strings lost", LIBUSB_ERROR_IO, 6, core::ITF_ERR_USB_HANGUP, "PID: ff00", "VID:  4d8", 0, 6},
    };
    for (const auto& c : cases) {
        SimUsbUniverse usb;
        auto box = usb.libUsb->addBox();
        box->editFaults([&](sim::SimFaults& f) { f.failNext(SimCall::Control, c.error, c.times); });
        int status = -1;
        std::unique_ptr<core::Device> device = usb.createDevice(0, nullptr, &status);
        ASSERT_TRUE(device) << c.label;
        EXPECT_EQ(status, c.status) << c.label;
        EXPECT_EQ(device->getName(), QString::fromLatin1(c.name)) << c.label;
        EXPECT_EQ(device->getManufacturerString(), QString::fromLatin1(c.manufacturer)) << c.label;
        EXPECT_EQ(box->callCount(SimCall::ClearHalt), c.clearHalts) << c.label;
        EXPECT_EQ(box->callCount(SimCall::ResetDevice), c.resets) << c.label;
    }
}

// The data monitor polls from the moment the interface is claimed, so a
// failing string read resets the device while polls go on: the reset waits for
// the poll's reply and the next poll starts clean.
TEST(LibUsbDevice, TheResetOfAFailingStringReadWaitsForTheMonitorsPoll)
{
    auto libUsb = std::make_shared<HeldPollLibUsb>();
    SimUsbUniverse usb(libUsb);
    auto box = libUsb->addBox();
    ASSERT_GE(box->config().firmwareVersion, sim::SimVandrelBox::MonitorFirmware);
    box->editFaults([](sim::SimFaults& f) { f.failNext(SimCall::Control, LIBUSB_ERROR_IO); });
    int status = -1;
    std::unique_ptr<core::Device> device = usb.createDevice(0, nullptr, &status);
    ASSERT_TRUE(libUsb->pollWasHeld);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(device->getName(), QStringLiteral("Vandrel USB interface"));
    EXPECT_EQ(box->callCount(SimCall::ResetDevice), 1);

    // No reset or halt clearing between a request and its reply.
    bool inExchange = false;
    for (const QString& call : box->callLog()) {
        if (call.startsWith(QLatin1String("bulk_out"))) {
            inExchange = true;
        } else if (call.startsWith(QLatin1String("bulk_in"))) {
            inExchange = false;
        } else if (call == QLatin1String("reset_device") || call.startsWith(QLatin1String("clear_halt"))) {
            EXPECT_FALSE(inExchange) << box->callLog().join(' ').toStdString();
        }
    }
    // Polls go on after the reset, each with its reply.
    const int pollsBefore = box->pollCount();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (box->pollCount() < pollsBefore + 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_GE(box->pollCount(), pollsBefore + 3);
    device.reset();
    EXPECT_TRUE(libUsb->violations().isEmpty()) << libUsb->violations().join('\n').toStdString();
}

TEST(LibUsbDevice, AStringDescriptorLongerThanWhatCameIsRefused)
{
    auto libUsb = std::make_shared<KernelDriverLibUsb>();
    libUsb->overlongProduct = true;
    SimUsbUniverse usb(libUsb);
    auto box = libUsb->addBox();
    int status = -1;
    std::unique_ptr<core::Device> device = usb.createDevice(0, nullptr, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(device->getName(), QStringLiteral("PID: ff00"));
    EXPECT_EQ(box->callCount(SimCall::ResetDevice), 0);
}

TEST(LibUsbDevice, AKernelDriverIsDetachedBeforeTheClaimAndNotSupportedMeansNone)
{
    const struct
    {
        int active;
        int detachResult;
        int status;
        int detaches;
    } cases[] = {
        {0, 0, 0, 0},
        {1, 0, 0, 1},
        {1, LIBUSB_ERROR_NOT_SUPPORTED, 0, 1},
        {LIBUSB_ERROR_NOT_SUPPORTED, 0, 0, 0},
        {1, LIBUSB_ERROR_ACCESS, core::ITF_ERR_ACCESS, 1},
        {LIBUSB_ERROR_IO, 0, core::ITF_ERR_ACCESS, 0},
    };
    for (const auto& c : cases) {
        auto libUsb = std::make_shared<KernelDriverLibUsb>();
        libUsb->active = c.active;
        libUsb->detachResult = c.detachResult;
        SimUsbUniverse usb(libUsb);
        libUsb->addBox();
        int status = -1;
        std::unique_ptr<core::Device> device = usb.createDevice(0, nullptr, &status);
        EXPECT_EQ(status, c.status) << c.active << " " << c.detachResult;
        EXPECT_EQ(libUsb->detaches, c.detaches) << c.active << " " << c.detachResult;
        // A device that could not connect keeps nothing open.
        EXPECT_EQ(usb.transport->openHandleCount(), c.status == 0 ? 1 : 0);
        EXPECT_EQ(device->isConnected(), c.status == 0);
    }
}

TEST(LibUsbDevice, TheErrorNamesOfLibusb)
{
    EXPECT_EQ(devices::LibUsbDevice::getErrorString(0), QStringLiteral("LIBUSB_SUCCESS"));
    EXPECT_EQ(devices::LibUsbDevice::getErrorString(LIBUSB_ERROR_PIPE), QStringLiteral("LIBUSB_ERROR_PIPE"));
    EXPECT_EQ(devices::LibUsbDevice::getErrorString(LIBUSB_ERROR_NOT_SUPPORTED),
        QStringLiteral("LIBUSB_ERROR_NOT_SUPPORTED"));
    EXPECT_EQ(devices::LibUsbDevice::getErrorString(LIBUSB_ERROR_OTHER), QString());
    EXPECT_EQ(devices::LibUsbDevice::getErrorString(1), QString());
}

} // namespace
