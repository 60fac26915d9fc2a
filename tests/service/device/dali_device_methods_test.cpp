#include "core/device.h"
#include "core/universe.h"
#include "dali/sim_dali_bus.h"
#include "fake_product_database.h"
#include "log_capture.h"
#include "method_call.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/device/rpc_device_param_get.h"
#include "service/rpc/rpc_methods/device/rpc_device_param_list.h"
#include "service/rpc/rpc_methods/device/rpc_device_param_set.h"
#include "service/rpc/rpc_methods/device/rpc_device_params_set.h"
#include "service/rpc/rpc_methods/universe/rpc_universe_search.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "sim_usb_universe.h"
#include "sim_vandrel_box.h"
#include "universes/usb_universe.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <atomic>

using namespace tarvesk;
using namespace tarvesk::service;
using tarvesk::test::LogCapture;
using tarvesk::test::SimUsbUniverse;

namespace {

using Outcome = test::MethodOutcome;

// libusb whose box is pulled out after a number of bulk writes (once armed).
class UnpluggingLibUsb : public sim::SimLibUsb
{
public:
    std::atomic<int> writesLeft {-1};
    // The next DALI requests (command 0x0A) fail with an I/O error before they
    // reach the box; the monitor's polls and other reports go through.
    std::atomic<int> failingDaliWrites {0};

    int bulkTransfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data, int length,
        int* transferred, unsigned int timeoutMs) override
    {
        if ((endpoint & 0x80) == 0 && writesLeft > 0 && --writesLeft == 0)
            boxes().front()->unplug();
        constexpr unsigned char DaliRequest = 0x0A;
        if ((endpoint & 0x80) == 0 && length > 0 && data[0] == DaliRequest && failingDaliWrites > 0) {
            --failingDaliWrites;
            return LIBUSB_ERROR_IO;
        }
        return SimLibUsb::bulkTransfer(handle, endpoint, data, length, transferred, timeoutMs);
    }
};

// A Vandrel box with two control gear without short address on its DALI bus,
// found by the USB search; the methods run as the server runs them.
class DaliMethods : public ::testing::Test
{
protected:
    void SetUp() override
    {
        database = std::make_shared<test::FakeProductDatabase>(true);
        AbstractRpcMethod::setDatabase(database);
        libUsb = std::make_shared<UnpluggingLibUsb>();
        usb = std::make_unique<SimUsbUniverse>(libUsb);
        box = libUsb->addBox();
        bus = std::make_shared<sim::SimDaliBus>();
        for (quint32 seed : {3u, 4u}) {
            sim::SimDaliGearConfig config;
            config.randomSeed = seed;
            bus->addGear(std::make_shared<sim::SimDaliGear>(config));
        }
        box->addBusModel(bus);
        ASSERT_EQ(run(search, R"({"interface_type": "usb"})").result.toArray().size(), 1);
        core::Device* vandrel = usb->universe->getDevices().value(0);
        ASSERT_NE(vandrel, nullptr);
        for (core::Universe* child : vandrel->getChildUniverses()) {
            if (child->getName() == QLatin1String("DALI"))
                dali = child;
        }
        ASSERT_NE(dali, nullptr);
    }
    void TearDown() override
    {
        usb.reset();
        AbstractRpcMethod::setDatabase(nullptr);
    }

    Outcome run(AbstractRpcMethod& method, const QString& params) { return test::callMethod(method, params); }

    Outcome step(const char* name)
    {
        return run(search,
            QStringLiteral(R"({"universe_id": %1, "search_method": "step", "search_step_name": "%2"})")
                .arg(dali->getId())
                .arg(QLatin1String(name)));
    }

    // Commissions the bus; the ids of the devices made.
    QList<int> commission()
    {
        EXPECT_EQ(step("initialise_all").code, 0);
        QList<int> ids;
        for (int i = 0; i < 3; ++i) {
            for (const QJsonValue& device : step("search_single").result.toArray())
                ids << device.toObject().value("device_id").toInt();
        }
        EXPECT_EQ(step("end_search").code, 0);
        return ids;
    }

    QString device(int id, const QString& rest) const
    {
        return QStringLiteral(R"({"device_id": %1%2})").arg(id).arg(rest);
    }

    std::shared_ptr<test::FakeProductDatabase> database;
    std::shared_ptr<UnpluggingLibUsb> libUsb;
    std::unique_ptr<SimUsbUniverse> usb;
    std::shared_ptr<sim::SimVandrelBox> box;
    std::shared_ptr<sim::SimDaliBus> bus;
    core::Universe* dali = nullptr;
    RpcUniverseSearch search;
    RpcDeviceParamGet get;
    RpcDeviceParamSet set;
    RpcDeviceParamsSet setMany;
    RpcDeviceParamList list;
};

TEST_F(DaliMethods, StepSearchMakesDevicesAndTheParameterMethodsWorkOnThem)
{
    const QList<int> ids = commission();
    ASSERT_EQ(ids.size(), 2);
    EXPECT_EQ(dali->getDevices().size(), 2);
    EXPECT_EQ(dali->getDevices().value(0)->getName(), "DALI short 0 device");

    const Outcome read = run(get, device(ids[0], R"(, "pid": "dali_102_max_level")"));
    ASSERT_EQ(read.code, 0) << read.message.toStdString();
    EXPECT_EQ(read.result.toObject().value("value").toDouble(), 254);
    EXPECT_EQ(read.result.toObject().value("hex_value").toString(), "fe");

    const Outcome written = run(set, device(ids[1], R"(, "pid": "dali_102_max_level", "value": "200")"));
    ASSERT_EQ(written.code, 0) << written.message.toStdString();
    EXPECT_EQ(written.result.toObject().value("raw_value").toDouble(), 200);
    const int gearOfId1 = bus->gear(0).shortAddress() == 1 ? 0 : 1;
    EXPECT_EQ(run(get, device(ids[1], R"(, "pid": "dali_102_max_level")")).result.toObject().value("value"),
        QJsonValue(200));

    const Outcome many = run(setMany,
        device(ids[1],
            R"(, "params_list": "[{\"pid\": \"dali_102_group_0_7\", \"value\": 3}, {\"pid\": \"dali_102_min_level\", \"value\": 10}]")"));
    ASSERT_EQ(many.code, 0) << many.message.toStdString();
    EXPECT_EQ(many.result.toArray().size(), 2);
    EXPECT_EQ(bus->gear(gearOfId1).groups(), 3);

    // The DALI parameters are for the "dev" level; the list reads them all.
    EXPECT_TRUE(run(list, device(ids[0], "")).result.toArray().isEmpty());
    const Outcome all = run(list, device(ids[0], R"(, "access_level": "dev")"));
    EXPECT_EQ(all.result.toArray().size(), 67);
    const Outcome config = run(list,
        device(ids[0],
            R"(, "access_level": "dev", "update": false, "group_filter": {"groups": ["207. Config"], "operation": "in"})"));
    EXPECT_EQ(config.result.toArray().size(), 3); // dimming curve, fast fade time, min fast fade time
}

TEST_F(DaliMethods, ErrorRepliesOfTheParameterMethods)
{
    const QList<int> ids = commission();
    ASSERT_EQ(ids.size(), 2);
    const QString id = QString::number(ids[0]);
    const struct
    {
        AbstractRpcMethod* method;
        QString params;
        int code;
        const char* message;
    } cases[] = {
        {&get, R"({"device_id": 999, "pid": "version"})", -32603, "Device with id 999 not found"},
        {&get, device(ids[0], R"(, "pid": "nothing")"), -32602, "Parameter with pid \"nothing\" not found"},
        {&get, device(ids[0], R"(, "pid": 5)"), -32602, "Parameter with pid \"\" not found"},
        {&set, device(ids[0], R"(, "pid": "dali_102_lamp_failure", "value": "maybe")"), -32602,
            "Could not resolve parameter 'dali_102_lamp_failure'' value, expected type 'bool', found "
            "'string'"},
        {&set, device(ids[0], R"(, "pid": "dali_102_status", "value": 1)"), -32603,
            "Communication error : Unsupported parameter."},
        {&set, device(ids[0], R"(, "pid": "dali_102_max_level", "value": 256)"), -32603,
            "Communication error : Invalid parameter."},
        {&set, device(ids[0], R"(, "pid": "dali_102_group_0_7", "value": -1)"), -32603,
            "Communication error : Invalid parameter."},
        {&setMany, device(ids[0], R"(, "params_list": "[{\"pid\": ")"), -32700,
            "parameter list data incorrect json format:\n [{\"pid\": "},
        {&setMany, device(ids[0], R"(, "params_list": "{}")"), -32602,
            "parameter list data must be a json array:"},
        {&setMany, device(ids[0], R"(, "params_list": [])"), -32602, "params_list"},
        {&setMany, device(ids[0], R"(, "params_list": "[{\"pid\": \"x\", \"value\": 1}]")"), -32602,
            "parameter 'x' is not a valid parameter for device DALI short 0 device with id "},
        {&setMany, device(ids[0], R"(, "params_list": "[{\"pid\": \"dali_102_max_level\"}]")"), -32602,
            "invalid value provided for parameter 'dali_102_max_level'"},
        {&setMany,
            device(ids[0], R"(, "params_list": "[{\"pid\": \"dali_102_max_level\", \"value\": 300}]")"),
            -32603, "Could not set parameter dali_102_max_level with value 300. error Invalid parameter."},
        {&list, device(ids[0], R"(, "group_filter": {"groups": "x"})"), -32602,
            "Invalid value for 'groups'. Value should be a 'array' but was 'string'"},
        {&list, device(ids[0], R"(, "group_filter": {"groups": ["a", 1], "operation": "in"})"), -32602,
            "Invalid entry in 'groups' array. Entry should be a 'string' but was 'number'"},
        {&list, device(ids[0], R"(, "group_filter": {"groups": ["a"]})"), -32602,
            "Invalid value for 'operation'. Value should be a 'string' but was 'undefined'"},
        {&list, device(ids[0], R"(, "group_filter": {"groups": ["a"], "operation": "IN"})"), -32602,
            "'in' or 'not_in' but was 'IN'"},
        {&list, device(ids[0], R"(, "access_level": "oem")"), -32602, "access_level"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = run(*c.method, c.params);
        EXPECT_EQ(outcome.code, c.code) << c.params.toStdString();
        EXPECT_TRUE(outcome.message.contains(QString::fromUtf8(c.message))) << outcome.message.toStdString();
    }
}

TEST_F(DaliMethods, AFailedWriteIsTriedAgain)
{
    const QList<int> ids = commission();
    ASSERT_FALSE(ids.isEmpty());
    QLoggingCategory::setFilterRules(QStringLiteral("rpc.server.method.debug=true"));
    LogCapture log;
    libUsb->failingDaliWrites = 1;
    const Outcome written = run(set, device(ids[0], R"(, "pid": "dali_102_power_on_level", "value": 100)"));
    QLoggingCategory::setFilterRules(QString());
    EXPECT_EQ(written.code, 0) << written.message.toStdString();
    EXPECT_EQ(log.count("setting value for parameter dali_102_power_on_level, attempt 3"), 1);
    EXPECT_EQ(log.count("setting value for parameter dali_102_power_on_level, attempt 2"), 1);
    EXPECT_EQ(log.count("attempt 1"), 0);
}

TEST_F(DaliMethods, NoSupplyAndAPulledCableEndTheSearchWithAnError)
{
    bus->setSupply(false);
    const Outcome noSupply = step("initialise_all");
    EXPECT_EQ(noSupply.code, -32603);
    EXPECT_TRUE(noSupply.message.contains("\"DALI\" failed: Transfer failed. The DALI bus has no supply"))
        << noSupply.message.toStdString();
    bus->setSupply(true);

    ASSERT_EQ(step("initialise_all").code, 0);
    libUsb->writesLeft = 10; // within the next step
    const Outcome unplugged = step("search_single");
    EXPECT_EQ(unplugged.code, -32603);
    EXPECT_TRUE(unplugged.message.contains("failed: No device.")) << unplugged.message.toStdString();
    EXPECT_FALSE(unplugged.message.contains("supply")) << unplugged.message.toStdString();
    EXPECT_TRUE(dali->getDevices().isEmpty());
    // The search is over: a further step sends nothing and finds nothing.
    const Outcome after = step("search_single");
    EXPECT_EQ(after.code, 0) << after.message.toStdString();
    EXPECT_TRUE(after.result.toArray().isEmpty());
}

TEST_F(DaliMethods, ExistingAddsOneDevicePerAddressAndInitialisingRemovesThem)
{
    commission();
    const QString existing
        = QStringLiteral(R"({"universe_id": %1, "search_method": "existing"})").arg(dali->getId());
    EXPECT_TRUE(run(search, existing).result.toArray().isEmpty()); // the step search made both already
    EXPECT_EQ(dali->getDevices().size(), 2);
    ASSERT_EQ(step("initialise_all").code, 0);
    EXPECT_TRUE(dali->getDevices().isEmpty());
    EXPECT_EQ(step("end_search").code, 0);
    const Outcome refused = step("query_64");
    EXPECT_EQ(refused.code, -32602);
    EXPECT_TRUE(refused.message.contains("Unknown search step \"query_64\""))
        << refused.message.toStdString();
}

} // namespace
