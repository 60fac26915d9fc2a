#pragma once

#include "core/device.h"
#include "core/itf_error.h"
#include "core/parameters/parameter.h"
#include "core/universe.h"
#include "dali/sim_dali_bus.h"
#include "interfaces/iusb_vandrel_device.h"
#include "interfaces/ivandrel_record_sink.h"
#include "interfaces/lib_usb_interface.h"
#include "interfaces/usb_vandrel_dali_interface.h"
#include "interfaces/usb_vandrel_data_monitor.h"
#include "protocol/packet_mutex.h"
#include "protocol/usb/usb_vandrel_packet.h"
#include "sim_lib_usb.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace tarvesk::test {

// A Vandrel device as its bus interfaces see it: the open handle of a simulated
// box, the DALI and Dorvane status, the Dorvane mode parameter (register 48,
// as on release 0x2014), and a data monitor that a test can stand in for.
class SimVandrelDevice : public core::Device, public itf::IUsbVandrelDevice
{
public:
    explicit SimVandrelDevice(core::Universe* universe)
        : core::Device(universe)
    { }

    core::InterfaceType getInterfaceType() const override { return core::ITF_TYPE_USB; }
    bool isStatusTrue(Status status) override
    {
        if (status == STATUS_DORVANE_CONNECTED) {
            // Bit 0x02 of the box's status register: no Dorvane driver connected.
            quint16 value = 0;
            return readRegister(4, value) == 0 && !(value & 0x02);
        }
        return status == STATUS_DALI_CONNECTED && daliConnected;
    }
    int setStatus(Status status, int value) override
    {
        if (status == STATUS_DORVANE_RESET_TRIGGER)
            return 0;
        if (status != STATUS_DALI_CONNECTED)
            return core::Device::setStatus(status, value);
        daliConnected = value != 0;
        ++daliStatusSets;
        return 0;
    }

    // The Dorvane mode as a box of release 0x2014 keeps it: register 48.
    int getParamCallback(core::Parameter* param) override
    {
        if (param->getIdentifier() != QLatin1String("dorvane_mode"))
            return core::Device::getParamCallback(param);
        quint16 value = 0;
        const int status = readRegister(48, value);
        if (status == 0)
            param->setValue(modeTexts().value(value, QStringLiteral("unkown")), core::IParameter::UPDATE_NO);
        return status;
    }
    int setParamCallback(core::Parameter* param, QVariant value) override
    {
        if (param->getIdentifier() != QLatin1String("dorvane_mode"))
            return core::Device::setParamCallback(param, value);
        const int number = modeTexts().indexOf(value.toString());
        if (number < 0)
            return core::ITF_ERR_UNSUPPORTED_PARAMETER;
        return writeRegister(48, quint16(number));
    }
    static QStringList modeTexts()
    {
        return {"off", "dv1_host", "dv1_device", "dv2_host", "dv2_device", "dv2_log"};
    }
    void addModeParameter()
    {
        addParameter(new core::Parameter(
            QStringLiteral("dorvane_mode"), core::ITF_RES_WORD, core::Parameter::PARAM_READ_WRITE));
    }

    // Firmware registers through the get and set parameter reports.
    int readRegister(int address, quint16& value)
    {
        const unsigned char bytes[64] = {0x0D, quint8(address >> 8), quint8(address & 0xFF)};
        return registerExchange(bytes, value);
    }
    int writeRegister(int address, quint16 value)
    {
        const unsigned char bytes[64]
            = {0x0E, quint8(address >> 8), quint8(address & 0xFF), quint8(value >> 8), quint8(value & 0xFF)};
        quint16 unused = 0;
        return registerExchange(bytes, unused);
    }

    libusb_device_handle* getDeviceHandle() const override { return handle; }
    bool hasDataMonitor() const override { return monitor != nullptr; }
    void installPacketMutex(proto::PacketMutex* packetMutex) override
    {
        if (monitor)
            monitor(packetMutex);
    }
    void restartMonitor(int intervalMs) override { restarts.push_back(intervalMs); }
    // Kept here and handed on through `sinkMonitor` once a test has a monitor.
    void attachRecordSink(itf::IVandrelRecordSink* sink) override
    {
        sinks.push_back(sink);
        if (sinkMonitor)
            sinkMonitor(sink, true);
    }
    void detachRecordSink(itf::IVandrelRecordSink* sink) override
    {
        sinks.erase(std::remove(sinks.begin(), sinks.end(), sink), sinks.end());
        if (sinkMonitor)
            sinkMonitor(sink, false);
    }

    void tellRecordSinks(const std::function<void(itf::IVandrelRecordSink&)>& tell) override
    {
        for (itf::IVandrelRecordSink* sink : sinks)
            tell(*sink);
    }

    libusb_device_handle* handle = nullptr;
    itf::LibUsbInterface* transport = nullptr;
    // Stands in for the data monitor: called with each installed mutex and with null.
    std::function<void(proto::PacketMutex*)> monitor;
    std::vector<int> restarts;
    std::vector<itf::IVandrelRecordSink*> sinks;
    std::function<void(itf::IVandrelRecordSink*, bool attach)> sinkMonitor;

    // A real data monitor from now on: senders install their mutex in it and
    // record sinks (the DALI interface's) are attached to it.
    void connectMonitor(itf::UsbVandrelDataMonitor* dataMonitor)
    {
        monitor = [dataMonitor](proto::PacketMutex* mutex) { dataMonitor->installPacketMutex(mutex); };
        for (itf::IVandrelRecordSink* sink : sinks)
            dataMonitor->attachRecordSink(sink);
        sinkMonitor = [dataMonitor](itf::IVandrelRecordSink* sink, bool attach) {
            if (attach)
                dataMonitor->attachRecordSink(sink);
            else
                dataMonitor->detachRecordSink(sink);
        };
    }
    // Before the monitor goes.
    void disconnectMonitor(itf::UsbVandrelDataMonitor* dataMonitor)
    {
        monitor = nullptr;
        sinkMonitor = nullptr;
        for (itf::IVandrelRecordSink* sink : sinks)
            dataMonitor->detachRecordSink(sink);
    }
    bool daliConnected = false;
    int daliStatusSets = 0;

private:
    int registerExchange(const unsigned char* bytes, quint16& value)
    {
        if (!transport)
            return core::ITF_ERR_NO_DEVICE;
        proto::UsbVandrelPacket request(bytes, 64);
        proto::UsbVandrelPacket reply;
        const int status = transport->transferPacket(handle, &request, &reply);
        if (status == 0)
            value = reply.getUint16(3);
        return status;
    }
};

// A simulated box with a DALI bus, opened and claimed, and the DALI interface of
// its device. Waits are shortened so that tests of time-outs stay quick.
class SimVandrelDaliFixture : public ::testing::Test
{
protected:
    void open(const sim::SimBoxConfig& config, std::vector<core::Device::Capability> capabilities)
    {
        libUsb = std::make_shared<sim::SimLibUsb>();
        box = libUsb->addBox(config);
        box->addBusModel(daliBus);
        auto* transport = new itf::LibUsbInterface(libUsb);
        universe = std::make_unique<core::Universe>(QStringLiteral("USB"), transport, nullptr);
        ASSERT_TRUE(transport->init());
        libusb_device** list = nullptr;
        ASSERT_EQ(libUsb->getDeviceList(transport->getContext(), &list), 1);
        usbDevice = transport->referenceDevice(list[0]);
        libUsb->freeDeviceList(list, 1);
        device = std::make_unique<SimVandrelDevice>(universe.get());
        device->transport = transport;
        device->setVersion(config.firmwareVersion);
        ASSERT_EQ(transport->tryOpen(usbDevice, &device->handle), LIBUSB_SUCCESS);
        ASSERT_EQ(transport->tryClaim(device->handle), LIBUSB_SUCCESS);
        device->setConnectionStatus(core::Device::CONNECTED);
        for (auto capability : capabilities)
            device->addCapability(capability);
        dali = std::make_unique<itf::UsbVandrelDaliInterface>(device.get());
        dali->init();
        itf::UsbVandrelDaliInterface::Limits limits;
        limits.answerWindowMs = 30;
        limits.busyDeadlineMs = 50;
        limits.statusDeadlineMs = 50;
        dali->setLimits(limits);
        this->transport = transport;
    }

    void TearDown() override
    {
        dali.reset();
        if (device && device->handle) {
            transport->releaseClaim(device->handle);
            transport->closeDevice(device->handle);
        }
        if (usbDevice)
            transport->unreferenceDevice(usbDevice);
        device.reset();
        universe.reset();
        if (libUsb) {
            EXPECT_TRUE(libUsb->violations().isEmpty()) << libUsb->violations().join('\n').toStdString();
        }
    }

    std::shared_ptr<sim::SimDaliGear> addGear(int shortAddress)
    {
        sim::SimDaliGearConfig config;
        config.shortAddress = shortAddress;
        auto gear = std::make_shared<sim::SimDaliGear>(config);
        daliBus->addGear(gear);
        return gear;
    }

    std::shared_ptr<sim::SimDaliBus> daliBus = std::make_shared<sim::SimDaliBus>();
    std::shared_ptr<sim::SimLibUsb> libUsb;
    std::shared_ptr<sim::SimVandrelBox> box;
    itf::LibUsbInterface* transport = nullptr; // owned by the universe
    std::unique_ptr<core::Universe> universe;
    libusb_device* usbDevice = nullptr;
    std::unique_ptr<SimVandrelDevice> device;
    std::unique_ptr<itf::UsbVandrelDaliInterface> dali;
};

} // namespace tarvesk::test
