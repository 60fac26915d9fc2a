#include "core/device_manager.h"
#include "core/network_interface.h"
#include "core/universe.h"
#include "core/universe_manager.h"
#include "plain_device.h"

#include <QPointer>

#include <gtest/gtest.h>

using namespace tarvesk::core;
using tarvesk::test::PlainDevice;

namespace {

// A Vandrel-like box: it opens a DALI and a DMX bus behind itself, each an
// immortal child universe whose interface points back at the box, with
// drivers found on them.
struct Box
{
    QPointer<PlainDevice> box;
    QList<QPointer<QObject>> everything; // the box, its universes, interfaces and drivers
};

Box buildBox(Universe* usb)
{
    Box result;
    auto* box = new PlainDevice(usb, QStringLiteral("box"));
    result.box = box;
    result.everything.append(box);
    for (InterfaceType type : {ITF_TYPE_DALI, ITF_TYPE_DMX}) {
        auto* itf = new NetworkInterface(box, type);
        auto* bus = new Universe(NetworkInterface::interfaceTypeToString(type), itf, nullptr);
        bus->setImmortality(true);
        box->addChildUniverse(bus);
        result.everything << itf << bus;
        for (int i = 0; i < 2; ++i) {
            auto* driver = new PlainDevice(bus, QStringLiteral("driver"));
            EXPECT_TRUE(bus->addDevice(driver));
            result.everything << driver;
        }
    }
    EXPECT_TRUE(usb->addDevice(box));
    return result;
}

int alive(const Box& box)
{
    int n = 0;
    for (const QPointer<QObject>& object : box.everything)
        n += object ? 1 : 0;
    return n;
}

class DestructionCascade : public ::testing::Test
{
protected:
    void SetUp() override
    {
        _usb = new Universe(QStringLiteral("USB"), new NetworkInterface(ITF_TYPE_USB), nullptr);
        UniverseManager::instance().add(_usb);
    }
    void TearDown() override
    {
        if (_usb)
            UniverseManager::instance().remove(_usb, true);
        EXPECT_EQ(DeviceManager::instance().count(), _devices);
        EXPECT_EQ(UniverseManager::instance().count(), _universes);
    }

    const int _devices = DeviceManager::instance().count();
    const int _universes = UniverseManager::instance().count();
    QPointer<Universe> _usb;
};

} // namespace

TEST_F(DestructionCascade, RemovingTheBoxTakesItsBusesInterfacesAndDriversWithIt)
{
    Box box = buildBox(_usb);
    EXPECT_EQ(DeviceManager::instance().count(), _devices + 5);
    EXPECT_EQ(UniverseManager::instance().count(), _universes + 3);

    // A driver's log line also lands in the box's log.
    auto* driver = qobject_cast<PlainDevice*>(box.everything.at(3).data());
    ASSERT_NE(driver, nullptr);
    driver->deviceHierarchyInfo(QStringLiteral("hello"));
    EXPECT_EQ(driver->getPacketLog()->size(), 1);
    EXPECT_EQ(box.box->getPacketLog()->size(), 1);

    EXPECT_TRUE(_usb->removeDevice(box.box, false));
    EXPECT_EQ(alive(box), 0);
    EXPECT_TRUE(_usb->getDevices().isEmpty());
}

TEST_F(DestructionCascade, RemovingTheUsbUniverseTakesEverythingWithIt)
{
    Box first = buildBox(_usb);
    Box second = buildBox(_usb);
    EXPECT_TRUE(UniverseManager::instance().remove(_usb, true));
    EXPECT_EQ(alive(first), 0);
    EXPECT_EQ(alive(second), 0);
}

TEST_F(DestructionCascade, ABusRemovedBeforeItsBoxIsNotRemovedTwice)
{
    Box box = buildBox(_usb);
    const QList<Universe*> buses = box.box->getChildUniverses();
    ASSERT_EQ(buses.size(), 2);
    // The immortal bus stays when asked politely...
    EXPECT_FALSE(box.box->removeChildUniverse(buses.first()));
    EXPECT_EQ(box.box->getChildUniverses().size(), 2);
    // ...and goes when forced by someone else; the box then forgets it.
    EXPECT_TRUE(UniverseManager::instance().remove(buses.first(), true));
    EXPECT_EQ(box.box->getChildUniverses(), QList<Universe*> {buses.last()});

    EXPECT_TRUE(_usb->removeDevice(box.box, false));
    EXPECT_EQ(alive(box), 0);
}

TEST_F(DestructionCascade, CleanupOfTheUsbUniverseRemovesTheBoxesButKeepsAnImmortalUniverse)
{
    _usb->setImmortality(true);
    Box box = buildBox(_usb);
    EXPECT_FALSE(UniverseManager::instance().cleanupUniverse(_usb));
    EXPECT_EQ(alive(box), 0);
    EXPECT_TRUE(_usb);
}
