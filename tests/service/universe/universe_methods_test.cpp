#include "core/device.h"
#include "core/thread_manager.h"
#include "core/universe.h"
#include "core/universe_manager.h"
#include "devices/lib_usb_device.h"
#include "fake_product_database.h"
#include "interfaces/lib_usb_interface.h"
#include "log_capture.h"
#include "method_call.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/device/rpc_device_list.h"
#include "service/rpc/rpc_methods/device/rpc_device_type_list.h"
#include "service/rpc/rpc_methods/universe/rpc_universe_list.h"
#include "service/rpc/rpc_methods/universe/rpc_universe_search.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "sim_usb_universe.h"
#include "universes/usb_universe.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

#include <gtest/gtest.h>

using namespace tarvesk;
using namespace tarvesk::service;
using tarvesk::sim::SimCall;
using tarvesk::test::LogCapture;
using tarvesk::test::SimUsbUniverse;

namespace {

using Outcome = test::MethodOutcome;

// libusb whose box is pulled out while its manufacturer string is being read.
class UnpluggingLibUsb : public sim::SimLibUsb
{
public:
    int controlTransfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request, uint16_t value,
        uint16_t index, unsigned char* data, uint16_t length, unsigned int timeoutMs) override
    {
        if ((value & 0xFF) == 1 && !boxes().empty())
            boxes().front()->unplug();
        return SimLibUsb::controlTransfer(
            handle, requestType, request, value, index, data, length, timeoutMs);
    }
};

class UniverseMethods : public ::testing::Test
{
protected:
    void SetUp() override
    {
        database = std::make_shared<test::FakeProductDatabase>(true);
        AbstractRpcMethod::setDatabase(database);
    }
    void TearDown() override { AbstractRpcMethod::setDatabase(nullptr); }

    Outcome run(AbstractRpcMethod& method, const QString& members)
    {
        return test::callMethodWith(method, members);
    }

    Outcome search(const QString& params)
    {
        return run(searchMethod, QStringLiteral(R"(,"params":%1)").arg(params));
    }

    std::shared_ptr<test::FakeProductDatabase> database;
    RpcUniverseSearch searchMethod;
    RpcUniverseList listMethod;
    RpcDeviceList deviceList;
};

TEST_F(UniverseMethods, ParameterRulesAndTheirErrorReplies)
{
    SimUsbUniverse usb;
    usb.libUsb->addBox();
    const QString usbId = QString::number(usb.universe->getId());
    const struct
    {
        QString params;
        int code;
        const char* message; // contained in the error message
        int results;         // without the warning object
        bool warning;
    } cases[] = {
        {"{}", -32603,
            "At least one of two parameters ('interface_type' or 'universe_id') must be provided for method "
            "'universe.search'",
            0, false},
        {R"({"universe_id": 999})", -32603, "Universe with id 999 not found", 0, false},
        {R"({"interface_type": "usb", "search_method": "Sideways"})", -32603,
            "Unknown option for 'search_method': Sideways", 0, false},
        {R"({"interface_type": "usb", "search_protocol": "foo"})", -32603,
            "Unknown option for 'search_protocol': foo", 0, false},
        {R"({"interface_type": "usb", "search_protocol": ["dali", "foo", 5]})", 0, nullptr, 1, false},
        {R"({"interface_type": "usb", "search_method": "ALL"})", 0, nullptr, 1, false},
        {R"({"interface_type": "all"})", 0, nullptr, 0, false},
        {R"({"interface_type": "USB"})", 0, nullptr, 0, false},
        {QStringLiteral(R"({"universe_id": %1, "interface_type": "dali"})").arg(usbId), 0, nullptr, 1, true},
    };
    for (const auto& c : cases) {
        const Outcome outcome = search(c.params);
        EXPECT_EQ(outcome.code, c.code) << c.params.toStdString();
        if (c.message) {
            EXPECT_TRUE(outcome.message.contains(QString::fromLatin1(c.message)))
                << outcome.message.toStdString();
            continue;
        }
        const QJsonArray reply = outcome.result.toArray();
        ASSERT_EQ(reply.size(), c.results + (c.warning ? 1 : 0)) << c.params.toStdString();
        if (c.warning) {
            EXPECT_TRUE(reply.last().toObject().value("warning").toString().startsWith(
                "Only one of two provided parameters ('interface_type' or 'universe_id')"));
        }
    }
}

TEST_F(UniverseMethods, ListsUniversesByTheirExactInterfaceText)
{
    SimUsbUniverse usb;
    usb.libUsb->addBox();
    ASSERT_EQ(search(R"({"interface_type": "usb"})").result.toArray().size(), 1);
    const int total = core::UniverseManager::instance().count();
    const struct
    {
        const char* params;
        int count;
    } cases[] = {
        {"", total},
        {R"(,"params":{"interface_type": "ALL"})", total},
        {R"(,"params":{"interface_type": "dali"})", 1},
        {R"(,"params":{"interface_type": "Dali"})", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(run(listMethod, QString::fromLatin1(c.params)).result.toArray().size(), c.count)
            << c.params;

    const QJsonArray dali = run(listMethod, R"(,"params":{"interface_type": "dali"})").result.toArray();
    const QJsonObject universe = dali.first().toObject();
    ASSERT_EQ(usb.universe->getDevices().size(), 1);
    const int boxId = usb.universe->getDevices().first()->getId();
    EXPECT_EQ(universe.value("universe_name").toString(), "DALI");
    EXPECT_EQ(universe.value("parent_device_id").toString(), QString::number(boxId));
    EXPECT_EQ(universe.value("parent_device_name").toString(), "Vandrel USB interface");
}

TEST_F(UniverseMethods, ASecondSearchReplacesTheBoxesAndLeavesNothingOfTheOldOnes)
{
    SimUsbUniverse usb;
    usb.libUsb->addBox();
    sim::SimBoxConfig older;
    older.release = 0x1810;
    older.firmwareVersion = 15;
    older.subversion = 6;
    usb.libUsb->addBox(older);
    const int universesBefore = core::UniverseManager::instance().count();
    const int threadsBefore = core::ThreadManager::instance()->getThreadCount();

    ASSERT_EQ(search(R"({"interface_type": "usb"})").result.toArray().size(), 2);
    QList<QPointer<core::Device>> first;
    for (core::Device* device : usb.universe->getDevices())
        first.append(device);
    EXPECT_EQ(core::UniverseManager::instance().count(), universesBefore + 6); // three buses per box
    EXPECT_EQ(core::ThreadManager::instance()->getThreadCount(), threadsBefore + 2);

    ASSERT_EQ(search(R"({"interface_type": "usb"})").result.toArray().size(), 2);
    for (const QPointer<core::Device>& device : first)
        EXPECT_FALSE(device);
    EXPECT_EQ(core::UniverseManager::instance().count(), universesBefore + 6); // three buses per box
    EXPECT_EQ(core::ThreadManager::instance()->getThreadCount(), threadsBefore + 2);
    EXPECT_EQ(usb.transport->openHandleCount(), 2);

    // "new" keeps the boxes it has and finds no box twice.
    ASSERT_EQ(search(R"({"interface_type": "usb", "search_method": "new"})").result.toArray().size(), 0);
    EXPECT_EQ(usb.universe->getDevices().size(), 2);
}

TEST_F(UniverseMethods, ABoxThatKeepsHangingUpIsSearchedThreeTimesAndLeavesNothing)
{
    SimUsbUniverse usb;
    auto box = usb.libUsb->addBox();
    box->editFaults(
        [](sim::SimFaults& f) { f.failNext(SimCall::Control, LIBUSB_ERROR_IO, sim::SimFaults::Forever); });
    const int universesBefore = core::UniverseManager::instance().count();
    const int threadsBefore = core::ThreadManager::instance()->getThreadCount();
    LogCapture log;
    const Outcome outcome = search(R"({"interface_type": "usb"})");
    EXPECT_EQ(outcome.code, 0);
    EXPECT_TRUE(outcome.result.toArray().isEmpty());
    EXPECT_EQ(
        log.count(QStringLiteral("USB hangup detected, resetting libusb")), RpcUniverseSearch::MaxPasses);
    EXPECT_EQ(log.count(QStringLiteral("USB still hung up after 3 searches")), 1);
    EXPECT_TRUE(usb.universe->getDevices().isEmpty());
    EXPECT_EQ(core::UniverseManager::instance().count(), universesBefore);
    EXPECT_EQ(core::ThreadManager::instance()->getThreadCount(), threadsBefore);
    EXPECT_EQ(usb.libUsb->liveContextCount(), 1);
}

// Every pass in which a box hangs up resets libusb, whatever the other boxes
// did before or after it, and the universe is searched again from scratch.
TEST_F(UniverseMethods, EveryHangUpGetsItsResetWhateverTheOtherBoxesDo)
{
    struct Case
    {
        const char* name;
        std::vector<int> hangUps; // per box, in listing order: the passes in which it hangs up
        int resets;
        int hangUpLines;
    };
    const Case cases[] = {
        {"working boxes", {0, 0}, 0, 0},
        {"a hung box, then a working one", {1, 0}, 1, 1},
        {"two hung boxes", {1, 1}, 1, 2},
        {"a working box, then a hung one", {0, 1}, 1, 1},
        {"a box that hangs up twice", {2, 0}, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimUsbUniverse usb;
        for (size_t i = 0; i < c.hangUps.size(); ++i) {
            sim::SimBoxConfig config;
            config.serial = quint32(1 + i);
            auto box = usb.libUsb->addBox(config);
            // A hang-up: every attempt at the product string, then at the
            // manufacturer string, fails.
            const int times = c.hangUps[i] * 2 * devices::LibUsbDevice::StringAttempts;
            if (times > 0)
                box->editFaults([times](sim::SimFaults& f) { f.failNext(SimCall::Control, LIBUSB_ERROR_IO, times); });
        }
        LogCapture log;
        const Outcome outcome = search(R"({"interface_type": "usb"})");
        EXPECT_EQ(outcome.code, 0);
        EXPECT_EQ(usb.libUsb->endedContextCount(), c.resets);
        EXPECT_EQ(log.count(QStringLiteral("USB hangup detected, resetting libusb")), c.hangUpLines);
        EXPECT_EQ(log.count(QStringLiteral("skipped")), 0);
        // Each box once, all of them usable.
        EXPECT_EQ(outcome.result.toArray().size(), int(c.hangUps.size()));
        EXPECT_EQ(usb.universe->getDevices().size(), int(c.hangUps.size()));
        EXPECT_EQ(usb.libUsb->liveContextCount(), 1);
        EXPECT_EQ(usb.libUsb->violations(), QStringList());
    }
}

TEST_F(UniverseMethods, ABoxPulledOutDuringTheSearchLeavesNothing)
{
    auto libUsb = std::make_shared<UnpluggingLibUsb>();
    SimUsbUniverse usb(libUsb);
    libUsb->addBox();
    const int universesBefore = core::UniverseManager::instance().count();
    const Outcome outcome = search(R"({"interface_type": "usb"})");
    EXPECT_EQ(outcome.code, 0);
    EXPECT_TRUE(outcome.result.toArray().isEmpty());
    EXPECT_TRUE(usb.universe->getDevices().isEmpty());
    EXPECT_EQ(core::UniverseManager::instance().count(), universesBefore);
}

TEST_F(UniverseMethods, AFailedSearchOfANamedUniverseIsAnError)
{
    SimUsbUniverse usb;
    usb.libUsb->addBox();
    usb.libUsb->failInit(LIBUSB_ERROR_OTHER, 2);
    const Outcome named = search(QStringLiteral(R"({"universe_id": %1})").arg(usb.universe->getId()));
    EXPECT_EQ(named.code, -32603);
    EXPECT_TRUE(named.message.contains(
        QStringLiteral("Search of universe %1 \"USB\" failed: Transfer failed.").arg(usb.universe->getId())))
        << named.message.toStdString();
    // Among the universes of a type a failing one is only logged.
    LogCapture log;
    const Outcome byType = search(R"({"interface_type": "usb"})");
    EXPECT_EQ(byType.code, 0);
    EXPECT_TRUE(byType.result.toArray().isEmpty());
    EXPECT_EQ(log.count(QStringLiteral("Search failed, error code -1")), 1);
}

TEST_F(UniverseMethods, DeviceListFiltersByInterfaceTypeAndAccessLevel)
{
    SimUsbUniverse usb;
    usb.libUsb->addBox();
    ASSERT_EQ(search(R"({"interface_type": "usb"})").result.toArray().size(), 1);
    const struct
    {
        const char* params;
        int count;
    } cases[] = {
        {"", 1},
        {R"(,"params":{"interface_type": "USB"})", 1},
        {R"(,"params":{"interface_type": "dali"})", 0},
        {R"(,"params":{"access_level": "dev"})", 1},
        {R"(,"params":{"access_level": "user_basic"})", 0},
        {R"(,"params":{"access_level": "root"})", 0},
        {R"(,"params":{"interface_type": "nonsense"})", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(run(deviceList, QString::fromLatin1(c.params)).result.toArray().size(), c.count)
            << c.params;
}

TEST_F(UniverseMethods, DeviceTypeListGivesTheProductsAndRefusesParameters)
{
    database->loadOems(R"({"oem": [{"oem_id": 0, "name": "Tarvesk"}]})");
    database->loadProducts(R"({"products": [
        {"oem_id": 0, "product_id": 43, "min_version": 0, "device_class": 0, "name": "Vandrel USB Interface",
         "product_group": "Interfaces", "interface_type": ["USB"]},
        {"oem_id": 7, "product_id": 5, "min_version": 0, "device_class": 1, "name": "Driver",
         "interface_type": ["DALI", "DMX", "DORVANE"]}]})");
    RpcDeviceTypeList typeList;
    const QJsonObject reply = run(typeList, "").result.toObject();
    const QJsonArray devices = reply.value("devices").toArray();
    ASSERT_EQ(devices.size(), 2);
    EXPECT_EQ(devices[0].toObject().value("oem").toString(), "Tarvesk");
    EXPECT_TRUE(devices[0].toObject().value("profiles").toArray().isEmpty());
    // No OEM record: an empty name, never a read through nothing.
    EXPECT_EQ(devices[1].toObject().value("oem").toString(), "");
    const QJsonArray profiles = devices[1].toObject().value("profiles").toArray();
    ASSERT_EQ(profiles.size(), 2);
    EXPECT_EQ(profiles[0].toObject().value("interface_type").toString(), "DMX");
    EXPECT_EQ(profiles[1].toObject().value("interface_type").toString(), "DORVANE");
    EXPECT_TRUE(reply.value("group_sorting").isArray());

    EXPECT_EQ(run(typeList, R"(,"params":{"x": 1})").code, -32602);
}

} // namespace
