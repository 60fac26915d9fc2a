#pragma once

#include "../sim_vandrel_dali_fixture.h"
#include "bootloader_test_support.h"
#include "dmx/sim_wystrel_driver.h"
#include "dorvane/sim_dorvane_driver.h"
#include "interfaces/bootloader/bootloader_proxy.h"
#include "interfaces/bootloader/wystrel_bootloader.h"
#include "interfaces/usb_vandrel_data_monitor.h"
#include "interfaces/usb_vandrel_dmx_interface.h"
#include "interfaces/usb_vandrel_dorvane_interface.h"
#include "monitor_thread.h"
#include "sim_bench.h"
#include "wait_until.h"

#include <atomic>

namespace tarvesk::test {

// The capabilities a Vandrel device takes from its firmware version,
// subversion and capability byte.
inline std::vector<core::Device::Capability> vandrelCapabilities(int firmware, int subversion, int byte)
{
    using D = core::Device;
    std::vector<D::Capability> caps;
    const std::pair<bool, D::Capability> table[] = {
        {firmware >= 13, D::CAP_VD_LARGE_PACKETS},
        {firmware >= 19, D::CAP_VD_CONFIG_DALI_SETTLING_TIME},
        {firmware >= 16, D::CAP_VD_TIMEOUT_EVENT},
        {subversion >= 7, D::CAP_VD_DORVANE_ATOMIC_READ},
        {subversion >= 12, D::CAP_VD_CORRECT_CHECKSUM},
        {firmware >= 18, D::CAP_VD_BOOTLOADER_SPAM},
        {firmware >= 19, D::CAP_VD_BOOTLOADER_SPAM_RELIABILITY_UPDATE},
        {firmware >= 21, D::CAP_VD_PARAM_GETSET},
        {(byte & 0x20) != 0, D::CAP_VD_BANANA_MODE},
        {(byte & 0x40) != 0 || subversion >= 11, D::CAP_DV2},
        {subversion >= 12, D::CAP_VD_FIX_DORVANE_HANGUP},
        {(byte & 0x10) != 0, D::CAP_VD_CORVALT_DALI},
        {(byte & 0x04) != 0, D::CAP_VD_DV_MASTER},
        {firmware >= 14, D::CAP_VD_DALI_REPLY_SUPPORT},
        {(byte & 0x20) != 0, D::CAP_VD_FACTORY},
        {firmware >= 20, D::CAP_VD_EMBEDDED_BOOTLOADER_FUNCTIONS},
    };
    for (const auto& [applies, capability] : table) {
        if (applies)
            caps.push_back(capability);
    }
    return caps;
}

// The stand-in Vandrel device with its Dorvane slave role: a device mode of
// the box (register 48: 2 dv1_device, 4 dv2_device).
class BootloaderSimDevice : public SimVandrelDevice
{
public:
    using SimVandrelDevice::SimVandrelDevice;

    bool isStatusTrue(Status status) override
    {
        if (status != STATUS_DORVANE_SLAVE_ENABLED)
            return SimVandrelDevice::isStatusTrue(status);
        quint16 mode = 0;
        return readRegister(48, mode) == 0 && (mode == 2 || mode == 4);
    }
    int setStatus(Status status, int value) override
    {
        if (status != STATUS_DORVANE_SLAVE_ENABLED)
            return SimVandrelDevice::setStatus(status, value);
        return writeRegister(48, value ? 2 : 0);
    }
};

// A bench of one factory box (capability byte 0x20) of the given firmware,
// a Wystrel driver on its DMX line and a Dorvane driver on its port, both
// with a bootloader, a datastore and modules; the box's device with a real
// data monitor, its DMX and Dorvane interfaces set up as the device does.
class SimBootloaderFixture : public ::testing::Test
{
protected:
    static QByteArray benchJson(int firmware)
    {
        const QByteArray bootloader = R"({"device_id": "0x302B", "version": 5, "modules": [
            {"id": 0, "version": 3, "subversion": 1, "size": 5, "start": 512},
            {"id": 7, "version": 2, "subversion": 4, "size": 2, "start": 2048},
            {"id": 12, "version": 1, "subversion": 0, "size": 1, "start": 4096}],
            "words": {"1928": 276, "1929": 20, "1930": 1, "1931": "0x0123", "2047": 77}})";
        return R"({"boxes": [{"firmware": )" + QByteArray::number(firmware)
            + R"(, "subversion": 12, "capabilities": "0x20", "registers": {"48": 2},
              "dmx": [{"model": "wystrel_driver", "bootloader": )"
            + bootloader + R"(}],
              "dorvane": [{"model": "dorvane_driver", "bootloader": )"
            + bootloader + R"(}]}]})";
    }

    void openBench(int firmware)
    {
        QString error;
        libUsb = sim::SimBench::loadJson(benchJson(firmware), &error);
        ASSERT_TRUE(libUsb) << error.toStdString();
        box = libUsb->boxes().front();
        auto* usb = new itf::LibUsbInterface(libUsb);
        transport = usb;
        universe = std::make_unique<core::Universe>(QStringLiteral("USB"), usb, nullptr);
        ASSERT_TRUE(usb->init());
        device = std::make_unique<BootloaderSimDevice>(universe.get());
        device->transport = usb;
        device->setVersion(firmware);
        ASSERT_NO_FATAL_FAILURE(openHandle());
        device->setConnectionStatus(core::Device::CONNECTED);
        for (auto capability : vandrelCapabilities(firmware, 12, 0x20))
            device->addCapability(capability);
        device->addModeParameter();
        ASSERT_NO_FATAL_FAILURE(startMonitor());
        dmx = std::make_unique<itf::UsbVandrelDmxInterface>(device.get());
        dmx->init();
        dorvane = std::make_unique<itf::UsbVandrelDorvaneInterface>(device.get(), dmx.get());
        dorvane->init();
    }

    void openHandle()
    {
        libusb_device** list = nullptr;
        ASSERT_EQ(libUsb->getDeviceList(transport->getContext(), &list), 1);
        usbDevice = transport->referenceDevice(list[0]);
        libUsb->freeDeviceList(list, 1);
        libusb_device_handle* opened = nullptr;
        ASSERT_EQ(transport->tryOpen(usbDevice, &opened), LIBUSB_SUCCESS);
        ASSERT_EQ(transport->tryClaim(opened), LIBUSB_SUCCESS);
        device->handle = opened;
        handle = opened;
    }

    void startMonitor()
    {
        monitor = new itf::UsbVandrelDataMonitor([this] { return handle.load(); }, transport);
        thread = startMonitorOnThread(monitor, packetLog);
        ASSERT_TRUE(waitUntil([this] { return box->pollCount() > 0; }));
        device->monitor = [this](proto::PacketMutex* mutex) { monitor->installPacketMutex(mutex); };
    }

    void stopMonitor()
    {
        if (!monitor)
            return;
        EXPECT_TRUE(monitor->stopAndWait());
        endMonitorOnThread(monitor, thread);
    }

    void closeHandle()
    {
        if (device && device->handle) {
            transport->releaseClaim(device->handle);
            transport->closeDevice(device->handle);
            device->handle = nullptr;
            handle = nullptr;
        }
        if (usbDevice)
            transport->unreferenceDevice(usbDevice);
        usbDevice = nullptr;
    }

    // The box comes back as a new USB device: a new handle and a new monitor,
    // as the Vandrel device reconnects.
    void reconnect()
    {
        stopMonitor();
        closeHandle();
        box->replug();
        ASSERT_NO_FATAL_FAILURE(openHandle());
        ASSERT_NO_FATAL_FAILURE(startMonitor());
    }

    void TearDown() override
    {
        dorvane.reset();
        dmx.reset();
        stopMonitor();
        closeHandle();
        device.reset();
        universe.reset();
        if (libUsb) {
            EXPECT_TRUE(libUsb->violations().isEmpty()) << libUsb->violations().join('\n').toStdString();
        }
    }

    itf::BootloaderProxy* proxyOf(core::NetworkInterface* itf) const
    {
        return qobject_cast<itf::BootloaderProxy*>(itf->getBootloaderProxyInterface());
    }
    sim::SimWystrelDriver* dmxDriver() const
    {
        return dynamic_cast<sim::SimWystrelDriver*>(box->busModel(sim::SimBusModel::Dmx, 0).get());
    }
    sim::SimDorvaneDriver* dorvaneDriver() const
    {
        return dynamic_cast<sim::SimDorvaneDriver*>(box->busModel(sim::SimBusModel::Dorvane, 0).get());
    }

    std::shared_ptr<sim::SimLibUsb> libUsb;
    std::shared_ptr<sim::SimVandrelBox> box;
    itf::LibUsbInterface* transport = nullptr; // owned by the universe
    std::unique_ptr<core::Universe> universe;
    libusb_device* usbDevice = nullptr;
    std::unique_ptr<BootloaderSimDevice> device;
    std::atomic<libusb_device_handle*> handle {nullptr};
    itf::UsbVandrelDataMonitor* monitor = nullptr;
    std::shared_ptr<core::Thread> thread;
    proto::PacketLog packetLog;
    std::unique_ptr<itf::UsbVandrelDmxInterface> dmx;
    std::unique_ptr<itf::UsbVandrelDorvaneInterface> dorvane;
};

} // namespace tarvesk::test
