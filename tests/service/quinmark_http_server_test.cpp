#include "core/device_manager.h"
#include "core/network_interface.h"
#include "core/profile/profile_manager.h"
#include "core/universe.h"
#include "core/universe_manager.h"
#include "plain_device.h"
#include "service/quinmark_http_server.h"

#include <QPointer>

#include <gtest/gtest.h>

using namespace tarvesk;
using core::DeviceManager;
using core::NetworkInterface;
using core::ProfileManager;
using core::Universe;
using core::UniverseManager;
using service::QuinmarkHttpServer;
using test::PlainDevice;

namespace {

// What one pass leaves in the managers: a USB universe with a box that opened
// two immortal buses with drivers, an immortal universe of its own with an
// immortal device, and a profile.
struct PassModel
{
    QPointer<Universe> usb;
    QList<QPointer<QObject>> rest;

    PassModel()
    {
        usb = new Universe("USB", new NetworkInterface(core::ITF_TYPE_USB), nullptr);
        usb->setImmortality(true);
        UniverseManager::instance().add(usb);
        auto* box = new PlainDevice(usb, "box");
        box->setImmortality(true);
        rest << box;
        for (core::InterfaceType type : {core::ITF_TYPE_DALI, core::ITF_TYPE_DMX}) {
            auto* bus = new Universe(
                NetworkInterface::interfaceTypeToString(type), new NetworkInterface(box, type), nullptr);
            bus->setImmortality(true);
            box->addChildUniverse(bus);
            rest << bus;
            auto* driver = new PlainDevice(bus, "driver");
            EXPECT_TRUE(bus->addDevice(driver));
            rest << driver;
        }
        EXPECT_TRUE(usb->addDevice(box));

        auto* spi = new Universe("SPI", new NetworkInterface(core::ITF_TYPE_SPI), nullptr);
        spi->setImmortality(true);
        UniverseManager::instance().add(spi);
        auto* module = new PlainDevice(spi, "module");
        module->setImmortality(true);
        EXPECT_TRUE(spi->addDevice(module));
        rest << spi << module;

        auto* profile = new core::Item("profile");
        ProfileManager::instance().add(profile);
        rest << profile;
    }

    int alive() const
    {
        int n = 0;
        for (const auto& object : rest)
            n += object ? 1 : 0;
        return n;
    }
};

} // namespace

TEST(ReleaseProcessModel, LeavesOnlyTheKeptUniverseAndEmptyManagers)
{
    const int universes = UniverseManager::instance().count();
    const int devices = DeviceManager::instance().count();
    PassModel model;
    EXPECT_EQ(UniverseManager::instance().count(), universes + 4);
    EXPECT_EQ(DeviceManager::instance().count(), devices + 4);

    QuinmarkHttpServer::releaseProcessModel(model.usb);
    EXPECT_EQ(model.alive(), 0);
    ASSERT_TRUE(model.usb);
    EXPECT_TRUE(model.usb->getDevices().isEmpty());
    EXPECT_EQ(UniverseManager::instance().count(), 1);
    EXPECT_EQ(DeviceManager::instance().count(), 0);
    EXPECT_EQ(ProfileManager::instance().count(), 0);

    // What the RPC server then does with its own universe.
    EXPECT_TRUE(UniverseManager::instance().remove(model.usb, true));
}

TEST(ReleaseProcessModel, WithNothingKeptEverythingGoesAndIdsStartAgain)
{
    PassModel first;
    QuinmarkHttpServer::releaseProcessModel();
    EXPECT_FALSE(first.usb);
    EXPECT_EQ(first.alive(), 0);
    EXPECT_EQ(UniverseManager::instance().count(), 0);

    PassModel second; // the next pass
    EXPECT_EQ(second.usb->getId(), 1);
    QuinmarkHttpServer::releaseProcessModel();
    EXPECT_EQ(UniverseManager::instance().count(), 0);
    EXPECT_EQ(DeviceManager::instance().count(), 0);
}
