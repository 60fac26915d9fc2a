#include "core/device_manager.h"
#include "core/network_interface.h"
#include "core/universe.h"
#include "core/universe_manager.h"
#include "log_capture.h"
#include "plain_device.h"
#include "search/universe_searcher.h"

#include <QPointer>

#include <gtest/gtest.h>

using namespace tarvesk::core;
using tarvesk::test::LogCapture;
using tarvesk::test::PlainDevice;

namespace {

// A searcher that finds nothing, to watch the universe delete it.
class NothingSearcher : public tarvesk::search::UniverseSearcher
{
public:
    NothingSearcher()
        : UniverseSearcher(QStringLiteral("nothing"), nullptr)
    { }
    int search(tarvesk::search::SearchOptions*, tarvesk::search::SearchResults*) override { return 0; }
};

// Every test leaves both process-wide lists as it found them.
class UniverseTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        EXPECT_EQ(DeviceManager::instance().count(), _devices);
        EXPECT_EQ(UniverseManager::instance().count(), _universes);
    }

    const int _devices = DeviceManager::instance().count();
    const int _universes = UniverseManager::instance().count();
};

PlainDevice* addDevice(Universe* universe, const QString& name)
{
    auto* device = new PlainDevice(universe, name);
    EXPECT_TRUE(universe->addDevice(device));
    return device;
}

} // namespace

TEST_F(UniverseTest, InterfacesByTypeDefaultTypeAndReplacement)
{
    auto* dali = new NetworkInterface(ITF_TYPE_DALI);
    Universe universe(QStringLiteral("DALI 1"), dali, nullptr);
    EXPECT_EQ(universe.getDefaultInterfaceType(), ITF_TYPE_DALI);
    EXPECT_EQ(universe.getAttribute(QStringLiteral("interface_type"))->getValue().toString(),
        QStringLiteral("dali"));
    EXPECT_EQ(universe.getAttribute(QStringLiteral("interface_type"))->getDisplayName(),
        QStringLiteral("Interface type"));
    EXPECT_EQ(universe.getInterface(ITF_TYPE_DEFAULT), dali);
    EXPECT_EQ(universe.getInterface(ITF_TYPE_DALI), dali);

    // A device keeps using the interface that it was made with, even after a
    // second DALI interface replaced it in the universe's answers.
    auto* device = addDevice(&universe, QStringLiteral("gear"));
    QPointer<NetworkInterface> first(dali);
    auto* second = new NetworkInterface(ITF_TYPE_DALI);
    EXPECT_TRUE(universe.addInterface(second));
    EXPECT_EQ(universe.getInterface(ITF_TYPE_DEFAULT), second);
    EXPECT_EQ(universe.getInterface(ITF_TYPE_DALI), second);
    EXPECT_TRUE(first);
    EXPECT_EQ(device->getInterface(), dali);

    auto* dmx = new NetworkInterface(ITF_TYPE_DMX);
    EXPECT_TRUE(universe.addInterface(dmx));
    EXPECT_EQ(universe.getDefaultInterfaceType(), ITF_TYPE_DALI);
    EXPECT_EQ(universe.getInterface(ITF_TYPE_DMX), dmx);
}

TEST_F(UniverseTest, MissingInterfaceIsNullWithOneCriticalLine)
{
    Universe universe(QStringLiteral("DALI 1"), new NetworkInterface(ITF_TYPE_DALI), nullptr);
    LogCapture log;
    EXPECT_EQ(universe.getInterface(ITF_TYPE_DMX), nullptr);
    ASSERT_EQ(log.entries().size(), 1);
    EXPECT_EQ(log.entries().first().type, QtCriticalMsg);
    EXPECT_EQ(log.entries().first().category, QStringLiteral("logger.glog"));
    EXPECT_EQ(log.entries().first().message,
        QStringLiteral(" *GLOG*  Universe \"DALI 1\" asked for an interface \"dmx\" (2)"));
}

TEST_F(UniverseTest, TheUniverseOwnsItsInterfacesAndSearcherAndNoInterfaceHasTwoOwners)
{
    auto* dali = new NetworkInterface(ITF_TYPE_DALI);
    auto* replaced = new NetworkInterface(ITF_TYPE_DALI);
    auto* searcher = new NothingSearcher;
    QPointer<NetworkInterface> watchDali(dali), watchReplaced(replaced);
    QPointer<QObject> watchSearcher(searcher);
    {
        Universe universe(QStringLiteral("A"), replaced, searcher);
        EXPECT_EQ(universe.getSearcher(), searcher);
        EXPECT_TRUE(universe.addInterface(dali));
        EXPECT_TRUE(universe.addInterface(dali)); // again: nothing changes
        EXPECT_EQ(Universe::ownerOf(dali), &universe);

        Universe other(QStringLiteral("B"), new NetworkInterface(ITF_TYPE_DMX), nullptr);
        LogCapture log;
        EXPECT_FALSE(other.addInterface(dali));
        EXPECT_EQ(log.count(QStringLiteral("refused an interface")), 1);
        EXPECT_EQ(other.getInterface(ITF_TYPE_DALI), nullptr);
    }
    EXPECT_FALSE(watchDali);
    EXPECT_FALSE(watchReplaced);
    EXPECT_FALSE(watchSearcher);
    EXPECT_EQ(Universe::ownerOf(dali), nullptr);
}

TEST_F(UniverseTest, DeviceListsByUniverseAndByInterfaceType)
{
    auto* dali = new Universe(QStringLiteral("DALI"), new NetworkInterface(ITF_TYPE_DALI), nullptr);
    auto* dmx = new Universe(QStringLiteral("DMX"), new NetworkInterface(ITF_TYPE_DMX), nullptr);
    UniverseManager::instance().add(dali);
    UniverseManager::instance().add(dmx);
    PlainDevice* a = addDevice(dali, QStringLiteral("a"));
    PlainDevice* b = addDevice(dmx, QStringLiteral("b"));
    PlainDevice* c = addDevice(dali, QStringLiteral("c"));
    EXPECT_EQ(
        a->getAttribute(QStringLiteral("interface_type"))->getValue().toString(), QStringLiteral("dali"));

    QList<Device*> all, daliDevices, onDmx;
    DeviceManager::instance().getDeviceList(all, ITF_TYPE_ALL);
    DeviceManager::instance().getDeviceList(daliDevices, ITF_TYPE_DALI);
    DeviceManager::instance().getDeviceListByUniverse(dmx, onDmx);
    for (Device* device : {a, b, c})
        EXPECT_TRUE(all.contains(device));
    EXPECT_EQ(daliDevices, (QList<Device*> {a, c}));
    EXPECT_EQ(onDmx, QList<Device*> {b});
    EXPECT_EQ(dali->getDevices(), (QList<Device*> {a, c}));

    EXPECT_TRUE(UniverseManager::instance().remove(dali));
    EXPECT_TRUE(UniverseManager::instance().remove(dmx));
}

TEST_F(UniverseTest, ClearDevicesKeepsImmortalDevicesUnlessForced)
{
    Universe universe(QStringLiteral("DALI"), new NetworkInterface(ITF_TYPE_DALI), nullptr);
    PlainDevice* immortal = addDevice(&universe, QStringLiteral("immortal"));
    QPointer<PlainDevice> mortal(addDevice(&universe, QStringLiteral("mortal")));
    immortal->setImmortality(true);

    universe.clearDevices(false);
    EXPECT_FALSE(mortal);
    EXPECT_EQ(universe.getDevices(), QList<Device*> {immortal});
    EXPECT_TRUE(DeviceManager::instance().contains(immortal));

    universe.clearDevices(true);
    EXPECT_TRUE(universe.getDevices().isEmpty());
    EXPECT_EQ(DeviceManager::instance().count(), _devices);
}

TEST_F(UniverseTest, ImmortalUsbUniverseSurvivesRemovalAndCleanup)
{
    auto* usb = new Universe(QStringLiteral("USB"), new NetworkInterface(ITF_TYPE_USB), nullptr);
    usb->setImmortality(true);
    UniverseManager::instance().add(usb);
    PlainDevice* box = addDevice(usb, QStringLiteral("box"));

    EXPECT_FALSE(UniverseManager::instance().remove(usb));
    EXPECT_TRUE(UniverseManager::instance().contains(usb));
    EXPECT_EQ(usb->getDevices(), QList<Device*> {box});

    // Cleaning up removes its devices (made mortal first) but keeps the universe.
    box->setImmortality(true);
    EXPECT_FALSE(UniverseManager::instance().cleanupUniverse(usb));
    EXPECT_TRUE(UniverseManager::instance().contains(usb));
    EXPECT_TRUE(usb->getDevices().isEmpty());

    EXPECT_TRUE(UniverseManager::instance().remove(usb, true));
}

TEST_F(UniverseTest, RemovingADeviceThatTheManagerRefusesLeavesTheListAlone)
{
    Universe universe(QStringLiteral("DALI"), new NetworkInterface(ITF_TYPE_DALI), nullptr);
    PlainDevice* device = addDevice(&universe, QStringLiteral("gear"));
    device->setImmortality(true);
    EXPECT_FALSE(universe.removeDevice(device, false));
    EXPECT_EQ(universe.getDevices(), QList<Device*> {device});

    // A device deleted behind the universe's back leaves no stale entry.
    device->setImmortality(false);
    EXPECT_TRUE(DeviceManager::instance().remove(device));
    EXPECT_TRUE(universe.getDevices().isEmpty());

    // A device that the manager refuses (its id belongs to another device) is
    // not listed either, so the universe never lists what nobody owns.
    PlainDevice* owner = addDevice(&universe, QStringLiteral("owner"));
    PlainDevice impostor(&universe);
    impostor.setId(owner->getId());
    EXPECT_FALSE(universe.addDevice(&impostor));
    EXPECT_EQ(universe.getDevices(), QList<Device*> {owner});
    impostor.setId(0);
}
