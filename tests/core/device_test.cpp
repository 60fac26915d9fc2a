#include "core/core_errors.h"
#include "core/device_manager.h"
#include "core/group_filter.h"
#include "core/itf_error.h"
#include "core/network_interface.h"
#include "core/parameters/integer_raw_parameter.h"
#include "core/profile/profile_type.h"
#include "core/universe.h"
#include "fake_memory_interface.h"
#include "fake_product_database.h"
#include "log_capture.h"
#include "plain_device.h"

#include <QPointer>

#include <gtest/gtest.h>

using namespace tarvesk::core;
using tarvesk::test::FakeMemoryInterface;
using tarvesk::test::FakeProductDatabase;
using tarvesk::test::LogCapture;
using tarvesk::test::PlainDevice;

namespace {

// A DALI driver whose identity lives at fixed addresses of its "main" memory.
class IdentifiedDevice : public PlainDevice
{
public:
    using PlainDevice::PlainDevice;
    unsigned getVersionAddress() const override { return 0x10; }
    unsigned getSubversionAddress() const override { return 0x11; }
    unsigned getProductIdAddress() const override { return 0x12; }
    unsigned getOemIdAddress() const override { return 0x13; }
    unsigned getFormFactorAddress() const override { return 0x14; }
    // Made once, so that a test can fill the memory before initialisation.
    void initializeInterfaces() override
    {
        if (memory)
            return;
        memory = new FakeMemoryInterface(this, QStringLiteral("eeprom"));
        addRawParameterInterface(memory, true);
    }

    FakeMemoryInterface* memory = nullptr;
};

class DeviceTest : public ::testing::Test
{
protected:
    Universe universe {QStringLiteral("DALI"), new NetworkInterface(ITF_TYPE_DALI), nullptr};
};

// An action that answers a fixed status, or throws.
class FixedAction : public IParameterAction
{
public:
    FixedAction(std::string name, int status, bool throws = false)
        : _name(std::move(name))
        , _status(status)
        , _throws(throws)
    { }
    std::string getName() const override { return _name; }
    int execute(IParameter* parameter, QVariant value) override
    {
        ++calls;
        lastValue = value;
        if (_throws)
            throw ParameterError("memory bank locked");
        if (_status == 0 && !value.isValid())
            parameter->setValue(42, IParameter::UPDATE_NO);
        return _status;
    }
    int calls = 0;
    QVariant lastValue;

private:
    std::string _name;
    int _status;
    bool _throws;
};

Parameter* makeParameter(const QString& id, const QString& level = QStringLiteral("user_basic"),
    const QString& group = QStringLiteral("Output"))
{
    auto* parameter = new Parameter(id, ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
    parameter->setAccessLevel(level);
    parameter->setGroup(group);
    return parameter;
}

} // namespace

TEST(DeviceCapability, WireNames)
{
    const char* const expected[] = {"dmx512", "timeout_event", "dorvane_atomic_read",
        "dorvane_wystrel_passthrough", "vandrel_corvalt_dali", "wystrel_correct_checksum", "dorvane_master",
        "dali_answer", "factory", "oem", "user", "fix_dorvane_hangup", "dorvane", "dorvane1", "dorvane2",
        "connection", "firmware", "datastore", "store_firmware", "configurable_dali_settling_time",
        "bootloader_spam", "bootloader_spam_reliability_update", "bootloader_embedded_functions",
        "form_factor", "internal_dorvane_param_get_set", "correct_dorvane_master_state", "lightshape"};
    for (int value = 0; value < 27; ++value)
        EXPECT_EQ(Device::capabilityToString(Device::Capability(value)), QLatin1String(expected[value]))
            << value;
    EXPECT_EQ(Device::capabilityToString(Device::Capability(27)), QString());
    EXPECT_EQ(Device::capabilityToString(Device::Capability(-1)), QString());
}

TEST_F(DeviceTest, IdentityTextsAndUnsupportedRequests)
{
    PlainDevice device(&universe, QStringLiteral("Unknown device"));
    device.setId(7);
    EXPECT_EQ(device.getIdentificationString(), QByteArray("7 'Unknown device'"));
    EXPECT_EQ(device.getStateString(), QStringLiteral("Missing"));
    EXPECT_TRUE(device.deviceConnect());
    EXPECT_EQ(device.getStateString(), QStringLiteral("OK"));
    EXPECT_EQ(device.writeUniqueIdString(QStringLiteral("x")), ITF_ERR_UNSUPPORTED_FEATURE);
    EXPECT_EQ(device.setStatus(Device::STATUS_DALI_CONNECTED, 1), ITF_ERR_UNSUPPORTED_FEATURE);
    EXPECT_EQ(device.getPacketLog()->getMaximumLogLength(), 10000);
    EXPECT_EQ(device.getFormFactorString(), QString()); // no product record: no name, no crash
    try {
        device.getDaliInterface();
        FAIL() << "no exception";
    } catch (const DeviceError& e) {
        EXPECT_STREQ(e.what(), "Device 7 'Unknown device' does not have a DALI interface");
    }
    device.setId(0);
}

TEST_F(DeviceTest, AccessLevelsOfTheDeviceItself)
{
    PlainDevice device(&universe);
    const std::pair<const char*, bool> table[] = {{"user_basic", false}, {"user_detailed", true},
        {"oem", true}, {"dev", true}, {"", false}, {"Dev", false}, {"factory", false}};
    for (const auto& [level, supported] : table)
        EXPECT_EQ(device.isAccessLevelSupported(QString::fromLatin1(level)), supported) << level;
}

TEST_F(DeviceTest, ConnectionStatusParameterOnlyWithItsCapabilityAndItsReadsAndWrites)
{
    PlainDevice without(&universe);
    without.init();
    EXPECT_EQ(without.getParameterInterface(QStringLiteral("connection_status")), nullptr);

    PlainDevice device(&universe);
    device.addCapability(Device::CAP_ESTABLISH_CONNECTION);
    device.init();
    IParameter* status = device.getParameterInterface(QStringLiteral("connection_status"));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->getGroup(), QStringLiteral("Connection"));
    EXPECT_EQ(status->getParameterType(), PARAM_TYPE_ENUM);

    QVariant value;
    EXPECT_EQ(status->getValue(value, IParameter::UPDATE_YES), 0);
    EXPECT_EQ(value.toString(), QStringLiteral("disconnected"));
    // (written text, connected afterwards, what is read back)
    const std::tuple<const char*, bool, const char*> table[]
        = {{"connected", true, "connected"}, {"Connected", false, "disconnected"},
            {"connected", true, "connected"}, {"off", false, "disconnected"}};
    for (const auto& [written, connected, read] : table) {
        EXPECT_EQ(status->setValue(QString::fromLatin1(written), IParameter::UPDATE_YES), 0);
        EXPECT_EQ(device.isConnected(), connected) << written;
        EXPECT_EQ(status->getValue(value, IParameter::UPDATE_YES), 0);
        EXPECT_EQ(value.toString(), QLatin1String(read)) << written;
    }
}

TEST_F(DeviceTest, DuplicateParameterIsRefusedAndTheFirstKept)
{
    PlainDevice device(&universe);
    Parameter* first = makeParameter(QStringLiteral("fade_time"));
    std::unique_ptr<Parameter> second(makeParameter(QStringLiteral("fade_time")));
    EXPECT_TRUE(device.addParameter(first));
    LogCapture log;
    EXPECT_FALSE(device.addParameter(second.get()));
    EXPECT_EQ(device.getParameterInterface(QStringLiteral("fade_time")), first);
    EXPECT_EQ(log.count(QStringLiteral("Duplicate parameter \"fade_time\"")), 1);
    EXPECT_EQ(device.getParameterList().size(), 1u);
}

TEST_F(DeviceTest, NamedActionsCarryTheirStatusBothWays)
{
    struct Case
    {
        const char* registered; // empty: no action of that name
        int status;
        bool throws;
        int expected;
        const char* logged;
    };
    const Case table[] = {
        {"bank_rw", 0, false, 0, nullptr},
        {"bank_rw", ITF_ERR_NO_REPLY, false, ITF_ERR_NO_REPLY, nullptr},
        {"bank_rw", 0, true, ITF_ERR_TRANSFER, "Exception: memory bank locked"},
        {"", 0, false, ITF_ERR_UNSUPPORTED_PARAMETER, "Could not find action"},
    };
    for (const Case& c : table) {
        PlainDevice device(&universe);
        auto action = std::make_shared<FixedAction>(c.registered, c.status, c.throws);
        device.getActionRepository().addAction(action);
        ParameterData data;
        data.identifier = "bank_field";
        data.displayName = "Bank field";
        data.readAction = "bank_rw";
        data.writeAction = "bank_rw";
        auto* parameter = new Parameter(data);
        parameter->setActualValue(7);
        device.addParameter(parameter);

        LogCapture log;
        QVariant value;
        EXPECT_EQ(parameter->getValue(value, IParameter::UPDATE_YES), c.expected) << c.registered << c.status;
        EXPECT_EQ(parameter->setValue(9, IParameter::UPDATE_YES), c.expected) << c.registered << c.status;
        if (c.logged) {
            EXPECT_EQ(log.count(QLatin1String(c.logged)), 2) << c.logged;
        }
        if (c.expected != 0) {
            EXPECT_EQ(parameter->getActualValue(), QVariant(7)); // unchanged by failures
        }
        if (*c.registered) {
            EXPECT_EQ(action->lastValue, QVariant(9));
        }
    }
}

TEST_F(DeviceTest, AFieldReadThroughAnActionWithoutOneToWriteIsReadOnly)
{
    PlainDevice device(&universe);
    auto action = std::make_shared<FixedAction>("bank_read", 0, false);
    device.getActionRepository().addAction(action);
    ParameterData data;
    data.identifier = "bank_counter";
    data.readAction = "bank_read";
    auto* parameter = new Parameter(data);
    parameter->setActualValue(42);
    device.addParameter(parameter);
    EXPECT_EQ(parameter->setValue(0, IParameter::UPDATE_YES), ITF_ERR_UNSUPPORTED_PARAMETER);
    EXPECT_EQ(parameter->getActualValue(), QVariant(42)); // not passed off as written
    EXPECT_EQ(action->calls, 0);
}

TEST_F(DeviceTest, AFailedRawReadIsAFailureNotTheOldValue)
{
    PlainDevice device(&universe);
    auto* memory = new FakeMemoryInterface(&device, QStringLiteral("ram"));
    device.addRawParameterInterface(memory, false);
    auto* raw = new IntegerRawParameter(QStringLiteral("current"), 0x20, QStringLiteral("ram"), 0xFFFF);
    raw->setDeviceInterface(&device);
    device.addParameter(raw);
    memory->poke(0x20, 350);

    QVariant value;
    ASSERT_EQ(raw->getValue(value, IParameter::UPDATE_YES), 0);
    EXPECT_EQ(value.toUInt(), 350u);
    memory->poke(0x20, 500);
    memory->failReads(0x20, {ITF_ERR_TIMEOUT});
    value = QVariant();
    EXPECT_EQ(raw->getValue(value, IParameter::UPDATE_YES), ITF_ERR_TIMEOUT);
    EXPECT_FALSE(value.isValid());
    EXPECT_EQ(raw->setValue(400, IParameter::UPDATE_YES), 0);
    EXPECT_EQ(memory->peek(0x20), 400u);

    // A raw parameter whose interface the device lacks fails, it does not throw.
    auto* orphan = new IntegerRawParameter(QStringLiteral("orphan"), 0x30, QStringLiteral("flash"), 0xFF);
    orphan->setDeviceInterface(&device);
    device.addParameter(orphan);
    EXPECT_NE(orphan->getValue(value, IParameter::UPDATE_YES), 0);
    EXPECT_NE(orphan->setValue(1, IParameter::UPDATE_YES), 0);
}

TEST_F(DeviceTest, RawInterfacesByIdentifierAndMain)
{
    PlainDevice device(&universe);
    auto* eeprom = new FakeMemoryInterface(&device, QStringLiteral("eeprom"));
    device.addRawParameterInterface(eeprom, false);
    EXPECT_EQ(device.getRawParameterInterface(QStringLiteral("main")), nullptr);
    EXPECT_EQ(device.getRawParameterInterface(QStringLiteral("eeprom")), eeprom);

    auto* upper = new FakeMemoryInterface(&device, QStringLiteral("Main"));
    device.addRawParameterInterface(upper, false);
    EXPECT_EQ(device.getRawParameterInterface(QStringLiteral("Main")), upper);
    EXPECT_EQ(device.getRawParameterInterface(QStringLiteral("main")), nullptr);

    device.addRawParameterInterface(eeprom, true);
    EXPECT_EQ(device.getRawParameterInterface(QStringLiteral("main")), eeprom);
    // A replacement of the same identifier takes the old one's place, also as main.
    QPointer<FakeMemoryInterface> old(eeprom);
    auto* replacement = new FakeMemoryInterface(&device, QStringLiteral("eeprom"));
    device.addRawParameterInterface(replacement, false);
    EXPECT_FALSE(old);
    EXPECT_EQ(device.getRawParameterInterface(QStringLiteral("main")), replacement);
}

TEST_F(DeviceTest, AccessibleParametersByLevelGroupAndReadStatus)
{
    // Identifiers sort a < b < c < d < e; the reads answer per identifier.
    struct Fixture
    {
        PlainDevice device;
        QMap<QString, int> readStatus;
        explicit Fixture(Universe* universe)
            : device(universe)
        {
            for (const char* id : {"a", "b", "c", "d", "e"}) {
                ParameterData data;
                data.identifier = id;
                data.accessLevel = "user_basic";
                data.group = "Output";
                data.readAction = "probe";
                device.addParameter(new Parameter(data));
            }
        }
    };
    class ProbeAction : public IParameterAction
    {
    public:
        explicit ProbeAction(QMap<QString, int>* statuses)
            : _statuses(statuses)
        { }
        std::string getName() const override { return "probe"; }
        int execute(IParameter* parameter, QVariant) override
        {
            return _statuses->value(parameter->getIdentifier());
        }

    private:
        QMap<QString, int>* _statuses;
    };
    auto ids = [](const std::vector<IParameter*>& list) {
        QStringList out;
        for (IParameter* p : list)
            out << p->getIdentifier();
        return out.join(QLatin1Char(','));
    };

    Fixture f(&universe);
    f.device.getActionRepository().addAction(std::make_shared<ProbeAction>(&f.readStatus));
    GroupFilter all;
    all.setOperation(GroupFilter::OPERATION_NOT_IN);

    // (status of c, status of e, listed, result): -3 stops the walk; any other
    // failure leaves the parameter out, and the first failure is the result.
    const std::tuple<int, int, const char*, int> table[] = {
        {0, 0, "a,b,c,d,e", 0},
        {ITF_ERR_NO_DEVICE, 0, "a,b", ITF_ERR_NO_DEVICE},
        {ITF_ERR_TIMEOUT, 0, "a,b,d,e", ITF_ERR_TIMEOUT},
        {ITF_ERR_TIMEOUT, ITF_ERR_NO_REPLY, "a,b,d", ITF_ERR_TIMEOUT},
    };
    for (const auto& [c, e, listed, result] : table) {
        f.readStatus = {{QStringLiteral("c"), c}, {QStringLiteral("e"), e}};
        std::vector<IParameter*> out;
        EXPECT_EQ(f.device.getAccessibleParameterList(QStringLiteral("user_basic"), true, out, &all), result);
        EXPECT_EQ(ids(out), QLatin1String(listed));
        EXPECT_TRUE(f.device.getDeviceMutex()->tryLock());
        f.device.getDeviceMutex()->unlock();
    }

    // Level, enabled flag and group filter; without update no read happens.
    f.readStatus = {{QStringLiteral("a"), ITF_ERR_TIMEOUT}};
    qobject_cast<Parameter*>(f.device.getParameterInterface(QStringLiteral("b")))
        ->setAccessLevel(QStringLiteral("oem"));
    qobject_cast<Parameter*>(f.device.getParameterInterface(QStringLiteral("c")))->setEnabled(false);
    qobject_cast<Parameter*>(f.device.getParameterInterface(QStringLiteral("d")))
        ->setGroup(QStringLiteral("D4i"));
    GroupFilter noD4i;
    noD4i.setGroups({"D4i"});
    noD4i.setOperation(GroupFilter::OPERATION_NOT_IN);
    std::vector<IParameter*> out;
    EXPECT_EQ(f.device.getAccessibleParameterList(QStringLiteral("user_basic"), false, out, &noD4i), 0);
    EXPECT_EQ(ids(out), QStringLiteral("a,e"));
    out.clear();
    EXPECT_EQ(f.device.getAccessibleParameterList(QStringLiteral("oem"), false, out, nullptr), 0);
    EXPECT_EQ(ids(out), QStringLiteral("a,b,d,e"));
}

TEST_F(DeviceTest, ProfileTypeParametersAreCopiedWithoutLightShapeUnlessCapable)
{
    FakeProductDatabase database;
    auto* lightShape = makeParameter(
        QStringLiteral("light_shaping_enable"), QStringLiteral("oem"), QStringLiteral("LightShape"));
    auto* raw = new IntegerRawParameter(QStringLiteral("current"), 4, QStringLiteral("main"), 0xFFFF);
    ProfileType* type = database.addProfileType(
        QStringLiteral("000102_P_DALI"), {makeParameter(QStringLiteral("fade_time")), lightShape, raw});

    PlainDevice plain(&universe);
    plain.addParameter(makeParameter(QStringLiteral("fade_time"))); // already there: the copy is dropped
    plain.setProfileType(type);
    EXPECT_EQ(plain.getProfileType(), type);
    EXPECT_EQ(plain.getParameterList().size(), 2u);
    EXPECT_EQ(plain.getParameterInterface(QStringLiteral("light_shaping_enable")), nullptr);
    auto* copy = qobject_cast<RawParameter*>(plain.getParameterInterface(QStringLiteral("current")));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, raw);
    EXPECT_EQ(copy->getDeviceInterface(), static_cast<IDevice*>(&plain));

    PlainDevice capable(&universe);
    capable.addCapability(Device::CAP_LIGHTSHAPE);
    capable.setProfileType(type);
    EXPECT_EQ(capable.getParameterList().size(), 3u);

    PlainDevice none(&universe);
    none.setProfileType(nullptr);
    EXPECT_TRUE(none.getParameterList().empty());
}

TEST_F(DeviceTest, ProductIdentifiersInOrderWithVersionRetries)
{
    struct Case
    {
        const char* name;
        QList<int> versionFailures;
        unsigned versionWord;
        QList<int> subversionFailures;
        bool formFactor;
        int status;
        unsigned version;
        int versionReads;
        const char* tail; // the accesses after the version reads
    };
    const Case table[] = {
        {"plain", {}, 3, {}, false, 0, 3, 1, "R0 11,R0 12,R1 13"},
        {"four no-replies", {-11, -11, -11, -11}, 3, {}, false, 0, 3, 5, "R0 11,R0 12,R1 13"},
        {"five no-replies", {-11, -11, -11, -11, -11}, 3, {}, false, 0, 0, 5, "R0 11,R0 12,R1 13"},
        {"other failure is not repeated", {-6}, 3, {}, false, 0, 0, 1, "R0 11,R0 12,R1 13"},
        {"too high", {}, 12345, {}, false, 0, 57, 1, "R0 11,R0 12,R1 13"},
        {"subversion fails", {}, 3, {-6}, false, -6, 3, 1, "R0 11"},
        {"form factor", {}, 3, {}, true, 0, 3, 1, "R0 11,R0 12,R1 13,R1 14"},
    };
    for (const Case& c : table) {
        IdentifiedDevice device(&universe);
        device.initializeInterfaces();
        if (c.formFactor)
            device.addCapability(Device::CAP_VD_FORMFACTOR);
        FakeMemoryInterface* memory = device.memory;
        memory->poke(0x10, c.versionWord);
        memory->poke(0x11, 7);
        memory->poke(0x12, 0x1A2);
        memory->poke(0x13, 0x305);
        memory->poke(0x14, 0x0912);
        memory->failReads(0x10, c.versionFailures);
        memory->failReads(0x11, c.subversionFailures);

        LogCapture log;
        EXPECT_EQ(device.readProductIdentifiers(), c.status) << c.name;
        QStringList expected;
        for (int i = 0; i < c.versionReads; ++i)
            expected << QStringLiteral("R1 10");
        expected << QString::fromLatin1(c.tail).split(QLatin1Char(','));
        EXPECT_EQ(memory->journal(), expected) << c.name;
        EXPECT_EQ(device.getVersion(), c.version) << c.name;
        EXPECT_EQ(log.count(QStringLiteral("Version is too damn high")), c.versionWord >= 10001 ? 1 : 0);
        if (c.status == 0) {
            EXPECT_EQ(device.getSubversion(), 7u);
            EXPECT_EQ(device.getProductId(), 0xA2u);
            EXPECT_EQ(device.getOemId(), 0x05u);
            EXPECT_EQ(device.getFormFactor(), c.formFactor ? 0x09u : 0u);
        }
    }
    PlainDevice noMain(&universe);
    EXPECT_EQ(noMain.readProductIdentifiers(), ITF_ERR_UNSUPPORTED_FEATURE);
}

TEST_F(DeviceTest, InitializeDeviceInfoLooksUpTheProductAndItsProfileType)
{
    FakeProductDatabase database;
    database.loadOems(R"({"oem": [{"oem_id": 5, "name": "Lumenfab", "rdm_id": 1}]})");
    database.loadProducts(
        R"({"products": [{"oem_id": 5, "product_id": 162, "device_class": 0, "name": "Driver 40",
        "min_version": 1, "interface_type": ["DALI"],
        "form_factors": [{"datastore_value": 9, "name": "linear"}]}]})");
    database.addProfileType(
        QStringLiteral("0005a2_Driver 40_DALI"), {makeParameter(QStringLiteral("fade_time"))});

    IdentifiedDevice device(&universe);
    device.addCapability(Device::CAP_VD_FORMFACTOR);
    device.initializeInterfaces();
    device.memory->poke(0x10, 3);
    device.memory->poke(0x11, 7);
    device.memory->poke(0x12, 0xA2);
    device.memory->poke(0x13, 0x05);
    device.memory->poke(0x14, 0x0900);
    EXPECT_EQ(device.initializeDeviceInfo(&database), 0);
    EXPECT_EQ(device.getName(), QStringLiteral("Driver 40"));
    EXPECT_EQ(device.getManufacturerString(), QStringLiteral("Lumenfab"));
    EXPECT_EQ(device.getRevisionString(), QStringLiteral("3.7"));
    EXPECT_EQ(device.getFormFactorString(), QStringLiteral("linear"));
    ASSERT_NE(device.getDeviceInfoRecord(), nullptr);
    // The DALI device asks for the DALI profile type of its product.
    EXPECT_EQ(database.profileTypeQueries(), QStringList {QStringLiteral("0005a2_Driver 40_DALI")});
    EXPECT_NE(device.getParameterInterface(QStringLiteral("fade_time")), nullptr);
    EXPECT_NE(device.getActionRepository().getAction("script_read"), nullptr);
    EXPECT_NE(device.getActionRepository().getAction("script_write"), nullptr);

    IdentifiedDevice unknown(&universe);
    unknown.initializeInterfaces();
    unknown.memory->poke(0x12, 0x99);
    EXPECT_EQ(unknown.initializeDeviceInfo(&database), 0);
    EXPECT_EQ(unknown.getName(), QStringLiteral("Unknown device"));
    EXPECT_EQ(unknown.getDeviceInfoRecord(), nullptr);
    EXPECT_EQ(unknown.getProfileType(), nullptr);

    struct Silent : IdentifiedDevice
    {
        using IdentifiedDevice::IdentifiedDevice;
        void initializeInterfaces() override
        {
            IdentifiedDevice::initializeInterfaces();
            memory->failReads(0x11, {ITF_ERR_NO_REPLY});
        }
    } failing(&universe, QStringLiteral("unset"));
    LogCapture log;
    EXPECT_EQ(failing.initializeDeviceInfo(&database), ITF_ERR_NO_REPLY);
    EXPECT_EQ(log.count(QStringLiteral("Could not read device information")), 1);
    EXPECT_EQ(failing.getName(), QStringLiteral("unset"));
    EXPECT_EQ(failing.getDeviceInfoRecord(), nullptr);
}
