#include "core/device.h"
#include "core/device_manager.h"
#include "core/itf_error.h"
#include "core/parameters/parameter.h"
#include "core/parameters/raw_parameter_interface.h"
#include "core/profile/profile_manager.h"
#include "core/universe.h"
#include "dali/sim_dali_bus.h"
#include "devices/virtual_device.h"
#include "fake_product_database.h"
#include "interfaces/dorvane/dorvane_interface.h"
#include "method_call.h"
#include "protocol/packet_log.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/device/rpc_device_log.h"
#include "service/rpc/rpc_methods/device/rpc_device_profile_set.h"
#include "service/rpc/rpc_methods/device/rpc_device_rawparam_get.h"
#include "service/rpc/rpc_methods/device/rpc_device_rawparam_set.h"
#include "service/rpc/rpc_methods/universe/rpc_universe_search.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"
#include "service/string_exception.h"
#include "sim_usb_universe.h"
#include "sim_vandrel_box.h"
#include "universes/usb_universe.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <functional>

using namespace tarvesk;
using namespace tarvesk::service;
using tarvesk::test::SimUsbUniverse;

namespace {

using Outcome = test::MethodOutcome;

// The box's register of its Dorvane role (1..4), which reads back what was written.
constexpr int DorvaneModeRegister = 48;

// A memory that answers with a planned status and records the last access.
class ScriptedMemory : public core::RawParameterInterface
{
public:
    ScriptedMemory(QObject* device, const QString& name)
        : core::RawParameterInterface(device, name)
    { }
    int getParameter(core::NetworkResolution resolution, int address, unsigned int& value) override
    {
        record(resolution, address, 0);
        if (status == 0)
            value = 0xBEEF;
        return status;
    }
    int setParameter(core::NetworkResolution resolution, int address, unsigned int value) override
    {
        record(resolution, address, value);
        return status;
    }
    void record(core::NetworkResolution resolution, int address, unsigned int value)
    {
        ++calls;
        lastResolution = resolution;
        lastAddress = address;
        lastValue = value;
    }

    int status = 0;
    int calls = 0;
    core::NetworkResolution lastResolution = core::ITF_RES_LONG;
    int lastAddress = -1;
    unsigned int lastValue = 0;
};

// The look-ups every device method inherits, run as a method of their own:
// the universe a request names ("interface_type" the fallback), the slave
// role of the box above a Dorvane bus ("slave": true), a parameter list.
class DeviceBaseProbe : public RpcDeviceBase
{
public:
    DeviceBaseProbe()
        : RpcDeviceBase(QStringLiteral("test.device.base"))
    { }
    QList<RpcRequestParameter> inputParameters() const override
    {
        using E = RpcRequestEnums;
        return {RpcRequestParameter(E::PARAM_UNIVERSE_ID, QVariant(), false),
            RpcRequestParameter(E::PARAM_INTERFACE_TYPE, QStringLiteral("dorvane"), false),
            RpcRequestParameter(E::PARAM_RESET, false, false)};
    }
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override
    {
        _universe = nullptr;
        const RpcMethodError found
            = getUniverseById(request, request->getParam(QStringLiteral("interface_type"))->getStringValue());
        lastUniverse = _universe;
        auto* result = new RpcObject;
        response->setResultValue(result);
        if (found.isError()) {
            // As returned, before the method framework makes it an internal error.
            result->addChild(QStringLiteral("code"), new RpcValue(found.getErrorCode()));
            result->addChild(QStringLiteral("message"), new RpcValue(found.getErrorMessage()));
            return {};
        }
        result->addChild(QStringLiteral("universe"), new RpcValue(_universe->getId()));
        if (request->getParam(QStringLiteral("reset"))->getBoolValue())
            result->addChild(QStringLiteral("slave"), new RpcValue(enableDorvaneSlaveModus(_universe)));
        return {};
    }
    using RpcDeviceBase::enableDorvaneSlaveModus;
    using RpcDeviceBase::initObjectFromParameterSet;

    core::Universe* lastUniverse = nullptr;
};

// A Dorvane port whose driver is behind no Vandrel box.
class ForeignDorvanePort : public itf::DorvaneInterface
{
public:
    using itf::DorvaneInterface::DorvaneInterface;
    DorvaneState getDorvaneState() const override { return DORVANE_1_DEVICE; }
    void setDorvaneState(DorvaneState) override { }
    void init() override { }
    int sendDorvane(proto::DorvanePacket*, proto::DorvanePacket**, proto::Options*, DorvaneAction) override
    {
        return core::ITF_OK;
    }
    bool isDorvaneDeviceConnected() override { return true; }
    int getParameter(core::NetworkResolution, int, unsigned int&) override { return core::ITF_OK; }
    int setParameter(core::NetworkResolution, int, unsigned int) override { return core::ITF_OK; }
};

// A Vandrel box found by the USB search, with a "usb" profile type of three
// held parameters, and two DALI gear commissioned behind it; the methods run
// as the server runs them.
class DeviceMethods : public ::testing::Test
{
protected:
    void SetUp() override
    {
        database = std::make_shared<test::FakeProductDatabase>(true);
        QList<core::IParameter*> schema;
        for (const auto& [id, priority] :
            {std::pair {"fade_time", 0u}, std::pair {"power_on_level", 1u}, std::pair {"label_text", 2u}}) {
            auto* p = new core::Parameter(
                QString::fromLatin1(id), core::ITF_RES_BYTE, core::Parameter::PARAM_READ_WRITE);
            p->setParameterType(QLatin1String(id) == QLatin1String("label_text") ? core::PARAM_TYPE_STRING
                                                                                 : core::PARAM_TYPE_NUMBER);
            p->setMinValue(0);
            p->setMaxValue(254);
            p->setStepSize(1);
            p->setPriorityLevel(priority);
            p->setAccessLevel(QStringLiteral("user_basic"));
            p->setGroup(QStringLiteral("Profile"));
            p->setActualValue(QLatin1String(id) == QLatin1String("label_text") ? QVariant("") : QVariant(0));
            schema.append(p);
        }
        database->addProfileType(QStringLiteral("usb"), schema);
        database->addProfileType(QStringLiteral("other"), {});
        AbstractRpcMethod::setDatabase(database);
        libUsb = std::make_shared<sim::SimLibUsb>();
        usb = std::make_unique<SimUsbUniverse>(libUsb);
        simBox = libUsb->addBox();
        bus = std::make_shared<sim::SimDaliBus>();
        bus->addGear(std::make_shared<sim::SimDaliGear>(sim::SimDaliGearConfig {}));
        simBox->addBusModel(bus);
        ASSERT_EQ(run(search, R"({"interface_type": "usb"})").result.toArray().size(), 1);
        vandrel = usb->universe->getDevices().value(0);
        ASSERT_NE(vandrel, nullptr);
        memory = new ScriptedMemory(vandrel, QStringLiteral("scripted"));
        vandrel->addRawParameterInterface(memory, false);
    }
    void TearDown() override
    {
        core::ProfileManager::instance().SetProfileArray(database.get(), QJsonArray());
        usb.reset();
        AbstractRpcMethod::setDatabase(nullptr);
    }

    Outcome run(AbstractRpcMethod& method, const QString& params) { return test::callMethod(method, params); }
    QString box(const QString& rest) const
    {
        return QStringLiteral(R"({"device_id": %1%2})").arg(vandrel->getId()).arg(rest);
    }

    std::shared_ptr<test::FakeProductDatabase> database;
    std::shared_ptr<sim::SimLibUsb> libUsb;
    std::unique_ptr<SimUsbUniverse> usb;
    std::shared_ptr<sim::SimVandrelBox> simBox;
    std::shared_ptr<sim::SimDaliBus> bus;
    core::Device* vandrel = nullptr;
    ScriptedMemory* memory = nullptr; // owned by the box
    RpcUniverseSearch search;
    RpcDeviceRawParamGet rawGet;
    RpcDeviceRawParamSet rawSet;
    RpcDeviceLog log;
    RpcDeviceLogGet logGet;
    RpcDeviceProfileSet profileSet;
};

QString compact(const QJsonValue& value)
{
    return QString::fromUtf8(value.isArray()
            ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
            : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
}

TEST_F(DeviceMethods, RawMemoryReadsAndWritesWithTheirRefusals)
{
    int dorvaneUniverse = -1;
    for (core::Universe* child : vandrel->getChildUniverses()) {
        if (child->getInterface(core::ITF_TYPE_DORVANE))
            dorvaneUniverse = child->getId();
    }
    ASSERT_GE(dorvaneUniverse, 0);
    const QString usbUniverse = QString::number(usb->universe->getId());
    const QString onlyOne = QStringLiteral(
        "Only one of two provided parameters ('device_id' or 'universe_id') can be provided for method '%1'");
    const QString atLeastOne = QStringLiteral(
        "At least one of two parameters ('device_id' or 'universe_id') must be provided for method '%1'");
    const struct
    {
        const char* name;
        AbstractRpcMethod* method;
        QString params;
        int scriptedStatus;
        int code;               // 0: a reply
        QString replyOrMessage; // the compact reply, or the start of the message
        int calls;              // accesses of the scripted memory
    } cases[] = {
        // The box's own registers: firmware 21 at 0 (a word register of the box).
        {"main byte", &rawGet, box(R"(, "param_type": "main", "address": 0)"), 0, 0,
            R"({"bytes":[21],"status":"ok"})", 0},
        {"presmonde word", &rawGet,
            box(R"(, "param_type": "presmonde", "address": 0, "resolution": "16 bit")"), 0, 0,
            R"({"bytes":[21],"status":"ok"})", 0},
        {"write a register", &rawSet,
            box(QStringLiteral(R"(, "param_type": "presmonde", "address": %1, "value": 3)")
                    .arg(DorvaneModeRegister)),
            0, 0, R"({"bytes":[3],"status":"ok"})", 0},
        {"and read it back", &rawGet,
            box(QStringLiteral(R"(, "param_type": "presmonde", "address": "%1")").arg(DorvaneModeRegister)),
            0, 0, R"({"bytes":[3],"status":"ok"})", 0},
        {"put back", &rawSet,
            box(QStringLiteral(R"(, "param_type": "presmonde", "address": %1, "value": 2)")
                    .arg(DorvaneModeRegister)),
            0, 0, R"({"bytes":[2],"status":"ok"})", 0},
        // Widths, and the bus statuses inside a successful reply.
        {"16 bit write", &rawSet,
            box(R"(, "param_type": "scripted", "address": 65535, "value": 65535, "resolution": "16 bit")"), 0,
            0, R"({"bytes":[65535],"status":"ok"})", 1},
        {"16 Bit reads a byte", &rawGet,
            box(R"(, "param_type": "scripted", "address": 7, "resolution": "16 Bit")"), 0, 0,
            R"({"bytes":[48879],"status":"ok"})", 1},
        {"numeric resolution reads a byte", &rawGet,
            box(R"(, "param_type": "scripted", "address": 7, "resolution": 16)"), 0, 0,
            R"({"bytes":[48879],"status":"ok"})", 1},
        {"time-out", &rawGet, box(R"(, "param_type": "scripted", "address": 1)"), -11, 0,
            R"({"error_code":-11,"status":"time-out"})", 1},
        {"unsupported", &rawSet, box(R"(, "param_type": "scripted", "address": 1, "value": 1)"), -14, 0,
            R"({"error_code":-14,"status":"unsupported param"})", 1},
        // The box's parameter report timed out waiting for the driver: a time-out too.
        {"time-out of the box", &rawGet, box(R"(, "param_type": "scripted", "address": 1)"), -6, 0,
            R"({"error_code":-6,"status":"time-out"})", 1},
        {"other failure", &rawGet, box(R"(, "param_type": "scripted", "address": 1)"), -7, 0,
            R"x({"error_code":-7,"status":"unknown error (-7)"})x", 1},
        // Refusals, before any access.
        {"both ids, get", &rawGet,
            QStringLiteral(R"({"device_id": 1, "universe_id": 1, "param_type": "main", "address": 0})"), 0,
            -32603, onlyOne.arg("device.rawparam.get"), 0},
        {"neither id, set", &rawSet, R"({"param_type": "main", "address": 0, "value": 0})", 0, -32603,
            atLeastOne.arg("device.rawparam.set"), 0},
        {"unknown interface, get", &rawGet, box(R"(, "param_type": "flash", "address": 0)"), 0, -32602,
            "Interface not found, the following are available: ", 0},
        {"unknown interface, set", &rawSet, box(R"(, "param_type": "flash", "address": 0, "value": 0)"), 0,
            -32603, "Interface not found, the following are available: ", 0},
        {"address not a number", &rawGet, box(R"(, "param_type": "scripted", "address": "x")"), 0, -32602,
            "Address value is not an integer value", 0},
        {"negative address", &rawGet, box(R"(, "param_type": "scripted", "address": -1)"), 0, -32602,
            "Address -1 is outside 0 to 65535", 0},
        {"address too high", &rawSet, box(R"(, "param_type": "scripted", "address": 65536, "value": 0)"), 0,
            -32602, "Address 65536 is outside 0 to 65535", 0},
        {"byte too wide", &rawSet, box(R"(, "param_type": "scripted", "address": 0, "value": 300)"), 0,
            -32602, "Value 300 does not fit the access width: 0 to 255", 0},
        {"word too wide", &rawSet,
            box(R"(, "param_type": "scripted", "address": 0, "value": 65536, "resolution": "16 bit")"), 0,
            -32602, "Value 65536 does not fit the access width: 0 to 65535", 0},
        {"negative value", &rawSet, box(R"(, "param_type": "scripted", "address": 0, "value": -1)"), 0,
            -32602, "Value -1 does not fit the access width: 0 to 255", 0},
        {"numeric resolution, set", &rawSet,
            box(R"(, "param_type": "scripted", "address": 0, "value": 1, "resolution": 16)"), 0, -32602,
            "Invalid value for 'resolution'", 0},
        {"negative universe", &rawGet, R"({"universe_id": -1, "param_type": "main", "address": 0})", 0,
            -32602, "Invalid universe Id: -1", 0},
        {"unknown universe", &rawSet,
            R"({"universe_id": 999, "param_type": "main", "address": 0, "value": 0})", 0, -32602,
            "Invalid universe Id: 999", 0},
        {"universe without Dorvane", &rawGet,
            QStringLiteral(R"({"universe_id": %1, "param_type": "main", "address": 0})").arg(usbUniverse), 0,
            -32602, QStringLiteral("Universe %1 has no Dorvane interface").arg(usbUniverse), 0},
        // A Dorvane driver device made for the request, on a port where no driver answers.
        {"Dorvane universe", &rawGet,
            QStringLiteral(R"({"universe_id": %1, "param_type": "main", "address": 0})").arg(dorvaneUniverse),
            0, 0, R"x({"error_code":-3,"status":"unknown error (-3)"})x", 0},
        {"Dorvane universe, set", &rawSet,
            QStringLiteral(R"({"universe_id": %1, "param_type": "nordhune2_ee", "address": 1, "value": 2})")
                .arg(dorvaneUniverse),
            0, 0, R"x({"error_code":-3,"status":"unknown error (-3)"})x", 0},
        {"Dorvane universe, unknown interface", &rawGet,
            QStringLiteral(R"({"universe_id": %1, "param_type": "ram", "address": 0})").arg(dorvaneUniverse),
            0, -32602, "Interface not found, the following are available: ", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        memory->status = c.scriptedStatus;
        memory->calls = 0;
        const Outcome outcome = run(*c.method, c.params);
        EXPECT_EQ(outcome.code, c.code) << outcome.message.toStdString();
        if (c.code == 0)
            EXPECT_EQ(compact(outcome.result), c.replyOrMessage);
        else
            EXPECT_TRUE(outcome.message.contains(c.replyOrMessage)) << outcome.message.toStdString();
        EXPECT_EQ(memory->calls, c.calls);
    }

    // The widths and addresses that reached the memory.
    memory->status = 0;
    run(rawSet, box(R"(, "param_type": "scripted", "address": 9, "value": 513, "resolution": "16 bit")"));
    EXPECT_EQ(memory->lastResolution, core::ITF_RES_WORD);
    EXPECT_EQ(memory->lastAddress, 9);
    EXPECT_EQ(memory->lastValue, 513u);
    run(rawGet, box(R"(, "param_type": "scripted", "address": 4, "resolution": 16)"));
    EXPECT_EQ(memory->lastResolution, core::ITF_RES_BYTE);
    // The list names every interface of the box, each quoted.
    const QString message = run(rawGet, box(R"(, "param_type": "x", "address": 0)")).message;
    for (const char* name : {"\"presmonde\"", "\"dorvane_ee\"", "\"dorvane_ram\"", "\"scripted\""})
        EXPECT_TRUE(message.contains(QLatin1String(name))) << message.toStdString();
    EXPECT_EQ(message.count(QLatin1String("\", \"")), 3);

    // The driver made for a universe has the Dorvane driver's interfaces and
    // is never listed.
    QList<core::Device*> before;
    core::DeviceManager::instance().getDeviceList(before, core::ITF_TYPE_ALL);
    const QString byUniverse = run(rawGet,
        QStringLiteral(R"({"universe_id": %1, "param_type": "x", "address": 0})").arg(dorvaneUniverse))
                                   .message;
    for (const char* name :
        {"\"presmonde\"", "\"nordhune1_ram\"", "\"nordhune1_ee\"", "\"nordhune2_ram\"", "\"nordhune2_ee\""})
        EXPECT_TRUE(byUniverse.contains(QLatin1String(name))) << byUniverse.toStdString();
    QList<core::Device*> after;
    core::DeviceManager::instance().getDeviceList(after, core::ITF_TYPE_ALL);
    EXPECT_EQ(after, before);
}

TEST_F(DeviceMethods, LogEntriesComeBackPageByPage)
{
    vandrel->getPacketLog()->clear();
    for (const char* text : {"m0", "m1", "m2", "m3"})
        ASSERT_EQ(run(log, box(QStringLiteral(R"(, "msg": "%1", "log_type": "warning")").arg(text))).code, 0);
    // Not one of the three words: answered, not written.
    EXPECT_EQ(compact(run(log, box(R"(, "msg": "no", "log_type": "Warning")")).result),
        R"({"status":"ok","status_text":"Message logged"})");
    // A line break cannot start a log line of its own.
    ASSERT_EQ(run(log, box(R"(, "msg": "m4\r\nforged")")).code, 0);

    const struct
    {
        const char* params;
        QStringList texts; // null-free list; empty for none
        int left;
        int code;
    } cases[] = {
        {R"("from_packet": 0, "count": 2)", {"m0", "m1"}, 3, 0},
        {R"("from_packet": 2, "count": 2)", {"m2", "m3"}, 1, 0},
        {R"("from_packet": 4, "count": 10)", {"m4  forged"}, 0, 0},
        {R"("from_packet": 1.9, "count": "1")", {"m1"}, 3, 0},
        {R"("from_packet": 5, "count": 1)", {}, 0, 0},
        {R"("from_packet": 12, "count": 1)", {}, 0, 0},
        {R"("from_packet": -1, "count": 1)", {}, 0, -32602},
        {R"("from_packet": 0, "count": 0)", {}, 0, -32602},
        {R"("from_packet": "x", "count": 1)", {}, 0, -32602},
        {R"("from_packet": 0)", {}, 0, -32602},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.params);
        const Outcome outcome = run(logGet, box(QStringLiteral(", ") + QLatin1String(c.params)));
        ASSERT_EQ(outcome.code, c.code) << outcome.message.toStdString();
        if (c.code != 0)
            continue;
        const QJsonObject reply = outcome.result.toObject();
        EXPECT_EQ(QStringList(reply.keys()), QStringList({"count", "packets", "packets_left"}));
        QStringList texts;
        for (const QJsonValue& packet : reply.value("packets").toArray())
            texts << packet.toObject().value("packet_log").toString();
        EXPECT_EQ(texts, c.texts);
        EXPECT_EQ(reply.value("count").toInt(), c.texts.size());
        EXPECT_EQ(reply.value("packets_left").toInt(), c.left);
    }
}

TEST_F(DeviceMethods, ProfileProgrammingAnswersParametersAndSteps)
{
    const QJsonArray stored = QJsonDocument::fromJson(R"([
        {"name": "line", "type": "usb", "parameters": [
            {"pid": "fade_time", "value": 7, "enabled": true},
            {"pid": "power_on_level", "value": 200, "enabled": true}]},
        {"name": "foreign", "type": "other", "parameters": []},
        {"name": "ghost", "type": "nobody knows"}])")
                                  .array();
    core::ProfileManager::instance().SetProfileArray(database.get(), stored);

    const Outcome bare = run(profileSet, box(R"(, "profile_name": "line")"));
    ASSERT_EQ(bare.code, 0) << bare.message.toStdString();
    QMap<QString, QJsonValue> values;
    for (const QJsonValue& p : bare.result.toArray())
        values.insert(p.toObject().value("pid").toString(), p.toObject().value("value"));
    EXPECT_EQ(values.value("fade_time"), 7);
    EXPECT_EQ(values.value("power_on_level"), 200);

    const Outcome withSteps = run(profileSet, box(R"(, "profile_name": "line", "step_info": true)"));
    ASSERT_EQ(withSteps.code, 0) << withSteps.message.toStdString();
    const QJsonObject reply = withSteps.result.toObject();
    EXPECT_EQ(QStringList(reply.keys()), QStringList({"parameters", "steps"}));
    EXPECT_EQ(reply.value("parameters").toArray(), bare.result.toArray());

    // The tree without times.
    std::function<QJsonValue(const QJsonObject&)> shape = [&](const QJsonObject& step) -> QJsonValue {
        QJsonArray node {step.value("name"), step.value("result")};
        for (const QJsonValue& child : step.value("children").toArray())
            node.append(shape(child.toObject()));
        return node;
    };
    const QJsonArray golden = QJsonDocument::fromJson(R"(["ProfileSet", "ok",
        ["is lightshape active", "no"],
        ["Set parameters", "ok",
            ["Priority 0", "ok", ["> Set fade_time [7]", "ok"], ["< Get fade_time", "[7] ok"]],
            ["Priority 1", "ok", ["> Set power_on_level [200]", "ok"], ["< Get power_on_level", "[200] ok"]],
            ["Priority 2", "ok"], ["Priority 3", "ok"], ["Priority 4", "ok"]],
        ["Reset DALI", "skipped: not dt8"],
        ["Post condition", "ok"],
        ["Final validation", "ok"]])")
                                  .array();
    EXPECT_EQ(shape(reply.value("steps").toObject()), QJsonValue(golden))
        << compact(shape(reply.value("steps").toObject())).toStdString();

    const struct
    {
        const char* params;
        int code;
        const char* message;
    } refusals[] = {
        {R"(, "profile_name": "foreign")", -32000, "Error setting profile for device "},
        {R"(, "profile_name": "ghost")", -32603, "Profile 'ghost' not found"},
        {R"(, "profile_name": "missing")", -32603, "Profile 'missing' not found"},
        {R"(, "profile_name": "line", "access_level": "oem")", -32602, ""},
        {R"()", -32602, ""},
    };
    for (const auto& c : refusals) {
        SCOPED_TRACE(c.params);
        const Outcome outcome = run(profileSet, box(QLatin1String(c.params)));
        EXPECT_EQ(outcome.code, c.code);
        EXPECT_TRUE(outcome.message.contains(QLatin1String(c.message))) << outcome.message.toStdString();
    }
}

} // namespace

// The universe of a request: by "universe_id" (a number truncated, or a text
// that reads as one), else the first of the interface type, with one USB
// listing before giving up; each refusal with its code and text.
TEST_F(DeviceMethods, DeviceMethodsFindTheUniverseOfARequest)
{
    DeviceBaseProbe probe;
    core::Universe* dorvane = nullptr;
    for (core::Universe* child : vandrel->getChildUniverses()) {
        if (child->getInterface(core::ITF_TYPE_DORVANE))
            dorvane = child;
    }
    ASSERT_TRUE(dorvane);
    const int id = dorvane->getId();
    const int usbId = usb->universe->getId();
    const struct
    {
        QString params;
        int code;
        QString messageOrUniverse;
    } cases[] = {
        {QStringLiteral(R"({"universe_id": %1})").arg(id), 0, QString::number(id)},
        {QStringLiteral(R"({"universe_id": %1.7})").arg(usbId), 0, QString::number(usbId)},
        {QStringLiteral(R"({"universe_id": "%1"})").arg(id), 0, QString::number(id)},
        {R"({"universe_id": "abc"})", -32602, "'universe_id' parameter not a number"},
        {R"({"universe_id": 999})", -32603, "Universe with 'universe_id' 999 not found"},
        {R"({"universe_id": 999, "interface_type": "usb"})", -32603,
            "Universe with 'universe_id' 999 not found"},
        {"{}", 0, QString::number(id)},
        {R"({"interface_type": "usb"})", 0, QString::number(usbId)},
        {R"({"interface_type": "nothing"})", -32602, "Could not find a valid universe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.params.toStdString());
        const QJsonObject result = run(probe, c.params).result.toObject();
        EXPECT_EQ(result.value("code").toInt(), c.code);
        if (c.code == 0) {
            EXPECT_EQ(QString::number(result.value("universe").toInt()), c.messageOrUniverse);
        } else {
            EXPECT_EQ(result.value("message").toString(), c.messageOrUniverse);
            EXPECT_EQ(probe.lastUniverse, nullptr);
        }
    }

    // An interface type no universe has: the boxes are listed once more first,
    // which brings in a box plugged in since.
    sim::SimBoxConfig second;
    second.serial = 2;
    libUsb->addBox(second);
    EXPECT_EQ(run(probe, R"({"interface_type": "nothing"})").result.toObject().value("code").toInt(), -32602);
    EXPECT_EQ(usb->universe->getDevices().size(), 2);
}

// The slave role of the box above a Dorvane bus: an older box (release
// 0x1810, Dorvane configuration word at byte 16) is switched on once and left
// alone when it is on; the newer box has no such switch (-13); a universe
// without a Dorvane bus needs nothing; a Dorvane bus that hangs off no Vandrel
// box is -3.
TEST_F(DeviceMethods, DorvaneSlaveRoleOfTheBoxAboveTheBus)
{
    DeviceBaseProbe probe;
    sim::SimBoxConfig older;
    older.release = 0x1810;
    older.serial = 2;
    const std::shared_ptr<sim::SimVandrelBox> olderBox = libUsb->addBox(older);
    // Listed by the probe's fallback, which leaves the first box as it is.
    run(probe, R"({"interface_type": "nothing"})");
    ASSERT_EQ(usb->universe->getDevices().size(), 2);
    const auto dorvaneOf = [](core::Device* box) {
        for (core::Universe* child : box->getChildUniverses()) {
            if (child->getInterface(core::ITF_TYPE_DORVANE))
                return child->getId();
        }
        return -1;
    };
    core::Device* olderVandrel = nullptr;
    for (core::Device* device : usb->universe->getDevices()) {
        if (device != vandrel)
            olderVandrel = device;
    }
    ASSERT_TRUE(olderVandrel);
    const auto slave = [&](int universe) {
        const Outcome outcome
            = run(probe, QStringLiteral(R"({"universe_id": %1, "reset": true})").arg(universe));
        EXPECT_EQ(outcome.code, 0) << outcome.message.toStdString();
        return outcome.result.toObject().value("slave").toInt(-99);
    };
    const auto switches = [&] {
        std::vector<std::unique_ptr<proto::RawPacket>> entries;
        olderVandrel->getPacketLog()->getPackets(entries, 0, olderVandrel->getPacketLog()->size());
        int count = 0;
        for (const auto& entry : entries)
            count += entry && entry->getLogText().contains(QLatin1String("Enabling Dorvane slave")) ? 1 : 0;
        return count;
    };

    constexpr int ConfigurationWord = 16;
    constexpr int SlaveBit = 0x04;
    olderBox->dorvaneController().setRamWord(ConfigurationWord, 0);
    EXPECT_EQ(slave(dorvaneOf(olderVandrel)), 0);
    EXPECT_EQ(olderBox->dorvaneController().ramWord(ConfigurationWord) & SlaveBit, SlaveBit);
    EXPECT_EQ(switches(), 1);
    EXPECT_EQ(slave(dorvaneOf(olderVandrel)), 0);
    EXPECT_EQ(switches(), 1) << "already on: nothing written";

    EXPECT_EQ(slave(dorvaneOf(vandrel)), core::ITF_ERR_UNSUPPORTED_FEATURE);
    EXPECT_EQ(slave(usb->universe->getId()), 0);
    EXPECT_EQ(probe.enableDorvaneSlaveModus(nullptr), 0);
    devices::VirtualDevice notABox(nullptr, nullptr);
    core::Universe foreign(QStringLiteral("foreign"), new ForeignDorvanePort(&notABox), nullptr);
    EXPECT_EQ(probe.enableDorvaneSlaveModus(&foreign), core::ITF_ERR_NO_DEVICE);
}

// A parameter set as the list of its identifiers, in the set's order.
TEST(DeviceBaseParameterSet, IdentifiersInOrder)
{
    DeviceBaseProbe probe;
    core::Parameter b(QStringLiteral("b_level"), core::ITF_RES_BYTE, core::Parameter::PARAM_READ_WRITE);
    core::Parameter a(QStringLiteral("a_time"), core::ITF_RES_WORD, core::Parameter::PARAM_READ_ONLY);
    QVector<core::Parameter*> set {&b, &a};
    RpcValue filled(new RpcObject);
    probe.initObjectFromParameterSet(filled.getObjectValue(), &set);
    EXPECT_EQ(filled.toJsonValue().toObject(),
        (QJsonObject {{"parameters",
            QJsonArray {QJsonObject {{"identifier", "b_level"}}, QJsonObject {{"identifier", "a_time"}}}}}));
    QVector<core::Parameter*> none;
    RpcValue empty(new RpcObject);
    probe.initObjectFromParameterSet(empty.getObjectValue(), &none);
    EXPECT_EQ(empty.toJsonValue().toObject(), (QJsonObject {{"parameters", QJsonArray {}}}));
}
