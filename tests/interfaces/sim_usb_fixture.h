#pragma once

#include "interfaces/lib_usb_interface.h"
#include "sim_lib_usb.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <memory>
#include <ostream>

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QStringList& texts, std::ostream* os)
{
    *os << '[' << texts.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace tarvesk::test {

// A transport on the simulated libusb with one box listed, opened and claimed,
// the way the USB device classes will do it.
class SimUsbFixture : public ::testing::Test
{
protected:
    void SetUp() override { openBox(sim::SimBoxConfig()); }

    void TearDown() override
    {
        if (handle) {
            transport->releaseClaim(handle);
            transport->closeDevice(handle);
        }
        if (device)
            transport->unreferenceDevice(device);
        transport.reset();
        EXPECT_TRUE(libUsb->violations().isEmpty())
            << libUsb->violations().join(QLatin1Char('\n')).toStdString();
    }

    void openBox(const sim::SimBoxConfig& config)
    {
        libUsb = std::make_shared<sim::SimLibUsb>();
        box = libUsb->addBox(config);
        transport = std::make_unique<itf::LibUsbInterface>(libUsb);
        ASSERT_TRUE(transport->init());
        libusb_device** list = nullptr;
        ASSERT_EQ(libUsb->getDeviceList(transport->getContext(), &list), 1);
        device = transport->referenceDevice(list[0]);
        libUsb->freeDeviceList(list, 1);
        ASSERT_EQ(transport->tryOpen(device, &handle), LIBUSB_SUCCESS);
        ASSERT_EQ(transport->tryClaim(handle), LIBUSB_SUCCESS);
        box->clearCallLog();
    }

    std::shared_ptr<sim::SimLibUsb> libUsb;
    std::shared_ptr<sim::SimVandrelBox> box;
    std::unique_ptr<itf::LibUsbInterface> transport;
    libusb_device* device = nullptr;
    libusb_device_handle* handle = nullptr;
};

} // namespace tarvesk::test
