#include "../../../interfaces/scripted_dali_interface.h"
#include "core/core_errors.h"
#include "core/itf_error.h"
#include "core/network_interface.h"
#include "core/parameters/builtin_parameter_table.h"
#include "core/parameters/datastore/core_version_string_parameter.h"
#include "core/parameters/parameter_factory.h"
#include "core/parameters/raw_parameter.h"
#include "core/universe.h"
#include "fake_memory_interface.h"
#include "interfaces/idali_to_dali_interface_bridge.h"
#include "log_capture.h"
#include "plain_device.h"
#include "qt_printers.h"
#include "service/string_exception.h"

#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

using namespace tarvesk;
using namespace tarvesk::core;
using test::FakeMemoryInterface;
using test::LogCapture;

namespace {

// A Presmonde driver: its memory behind the raw interface "presmonde", and
// optionally a DALI side.
class DriverDevice : public test::PlainDevice
{
public:
    using PlainDevice::PlainDevice;
    std::shared_ptr<itf::IDali> getDaliInterface() override
    {
        if (!dali)
            return Device::getDaliInterface();
        return std::make_shared<itf::IDaliToDaliInterfaceBridge>(dali.get());
    }
    std::unique_ptr<test::ScriptedDaliInterface> dali;
};

class BuiltinParameterTest : public ::testing::Test
{
protected:
    void SetUp() override { device.addRawParameterInterface(memory, false); }

    Parameter* add(const char* identifier)
    {
        auto* p = dynamic_cast<Parameter*>(ParameterFactory().create(QString::fromLatin1(identifier)));
        if (auto* raw = qobject_cast<RawParameter*>(p))
            raw->setDeviceInterface(&device);
        device.addParameter(p);
        return p;
    }
    // The status of a client's read; the value read, or invalid.
    int read(const char* identifier, QVariant& value)
    {
        value = QVariant();
        return device.getParameterInterface(QString::fromLatin1(identifier))
            ->getValue(value, IParameter::UPDATE_YES);
    }
    QVariant read(const char* identifier)
    {
        QVariant value;
        return read(identifier, value) == 0 ? value : QVariant();
    }
    int write(const char* identifier, const QVariant& value)
    {
        return device.getParameterInterface(QString::fromLatin1(identifier))
            ->setValue(value, IParameter::UPDATE_YES);
    }
    void enableDali() { device.dali = std::make_unique<test::ScriptedDaliInterface>(); }

    Universe universe {QStringLiteral("DMX"), new NetworkInterface(ITF_TYPE_DMX), nullptr};
    DriverDevice device {&universe};
    FakeMemoryInterface* memory = new FakeMemoryInterface(&device, QStringLiteral("presmonde"));
};

const char* const kRule20_34[] = {"extra_startup_delay", "startup_force_480ms_fade"};
const char* const kRule21_3[] = {"startup_behaviour", "dmx_failure_behaviour", "scene_1_output_1",
    "scene_1_output_2", "scene_1_output_3", "scene_1_output_4", "scene_2_output_1", "scene_2_output_2",
    "scene_2_output_3", "scene_2_output_4"};

} // namespace

TEST(BuiltinParameters, FactoryMakesEachClassAndCopiesKeepIt)
{
    for (const BuiltinParameter& entry : builtinParameters()) {
        std::unique_ptr<IParameter> made(ParameterFactory().create(QString::fromLatin1(entry.identifier)));
        ASSERT_TRUE(made) << entry.identifier;
        std::unique_ptr<IParameter> copy(made->clone());
        EXPECT_EQ(typeid(*copy), typeid(*made)) << entry.identifier;
        EXPECT_EQ(copy->getIdentifier(), QString::fromLatin1(entry.identifier));
        const auto* raw = qobject_cast<RawParameter*>(made.get());
        ASSERT_TRUE(raw) << entry.identifier;
        EXPECT_EQ(raw->getRawInterfaceIdentifier(), QStringLiteral("presmonde"));
        // The class name of the table is the class the factory makes.
        EXPECT_NE(QString::fromLatin1(typeid(*made).name()).indexOf(QLatin1String(entry.className)), -1)
            << entry.identifier;
    }
}

// Words 0x1510 .. 0x0315: bits 0-7 the major number, 8-13 the minor one.
TEST_F(BuiltinParameterTest, CoreVersionGates)
{
    add("core_version_string");
    for (const char* id : kRule20_34)
        add(id);
    for (const char* id : kRule21_3)
        add(id);
    const struct
    {
        unsigned word;
        const char* text;
        bool rule20_34, rule21_3;
    } rows[]
        = {{0x1510, "16.21", true, false}, {0x1410, "16.20", false, false}, {0x2214, "20.34", true, false},
            {0x2114, "20.33", false, false}, {0x0015, "21.0", true, false}, {0x0315, "21.3", true, true},
            {0xC315, "21.3", true, true}, {0x0016, "22.0", true, true}, {0x0215, "21.2", true, false}};
    for (const auto& row : rows) {
        memory->poke(CoreVersionStringParameter::Address, row.word);
        memory->poke(1, 0x15);
        memory->poke(10, 0x0101);
        EXPECT_EQ(read("core_version_string"), QString::fromLatin1(row.text));
        for (const char* id : kRule20_34) {
            memory->clearJournal();
            QVariant value;
            EXPECT_EQ(read(id, value), row.rule20_34 ? 0 : ITF_ERR_UNSUPPORTED_FEATURE)
                << id << " " << row.text;
            // A core too old is not asked for the value.
            EXPECT_EQ(memory->journal().contains("R0 1"), row.rule20_34) << id << " " << row.text;
        }
        for (const char* id : kRule21_3)
            EXPECT_EQ(read(id).isValid(), row.rule21_3) << id << " " << row.text;
    }
    LogCapture log;
    read("scene_1_output_1");
    read("scene_2_output_4");
    read("extra_startup_delay");
    EXPECT_EQ(
        log.count(
            "scene_1_output_1 parameter not suppported for core version 21.2 - core version must be >= 21.3"),
        1);
    EXPECT_EQ(
        log.count(
            "scene_2_output_4 parameter not supported for core version 21.2 - core version must be >= 21.3"),
        1);
    EXPECT_EQ(log.count("core version must be >= 20.34 or 16.21"), 0);

    // The version word is never written, whatever a client or a profile sends.
    memory->clearJournal();
    EXPECT_EQ(write("core_version_string", 1), ITF_ERR_UNSUPPORTED_PARAMETER);
    EXPECT_TRUE(memory->journal().isEmpty());
    EXPECT_EQ(read("core_version_string"), "21.2");
}

TEST_F(BuiltinParameterTest, UnreadableCoreVersion)
{
    for (const char* id : kRule21_3)
        add(id);
    // Without the version parameter the driver is read without a check.
    memory->poke(12, 0x0102);
    EXPECT_EQ(read("scene_2_output_2"), 1);

    add("core_version_string");
    memory->failReads(
        CoreVersionStringParameter::Address, {ITF_ERR_TIMEOUT, ITF_ERR_TIMEOUT, ITF_ERR_TIMEOUT});
    QVariant value;
    EXPECT_EQ(read("core_version_string", value), ITF_ERR_TIMEOUT);
    EXPECT_FALSE(value.isValid());
    try {
        read("scene_1_output_1");
        ADD_FAILURE() << "no exception";
    } catch (const StringException& e) {
        EXPECT_TRUE(e.message().startsWith("Invalid type, A string/double type is expected"))
            << e.message().toStdString();
    }
    LogCapture log;
    EXPECT_EQ(read("scene_2_output_4", value), ITF_ERR_UNSUPPORTED_FEATURE);
    EXPECT_EQ(log.count("Error getting raw value for parameter scene_2_output_4: Invalid type"), 1);

    auto* version
        = dynamic_cast<CoreVersionStringParameter*>(device.getParameterInterface("core_version_string"));
    memory->poke(CoreVersionStringParameter::Address, 0x2214);
    EXPECT_EQ(version->major(), "20");
    EXPECT_EQ(version->minor(), "34");
    EXPECT_THROW(version->versionInfoAt(2), StringException);
}

TEST_F(BuiltinParameterTest, ConfigurationByteFields)
{
    for (const char* id : {"core_version_string", "extra_startup_delay", "startup_force_480ms_fade",
             "startup_behaviour", "dmx_failure_behaviour"})
        add(id);
    memory->poke(CoreVersionStringParameter::Address, 0x0315);
    memory->poke(1, 0x95);
    EXPECT_EQ(read("extra_startup_delay"), 5u);
    EXPECT_EQ(dynamic_cast<Parameter*>(device.getParameterInterface("extra_startup_delay"))->getScaledValue(),
        250.0);
    EXPECT_EQ(read("startup_force_480ms_fade"), true);
    EXPECT_EQ(read("startup_behaviour"), "Goto Scene 1");
    EXPECT_EQ(read("dmx_failure_behaviour"), "Goto Scene 2");

    // Each write changes its own bits only.
    memory->poke(1, 0x15);
    EXPECT_EQ(write("dmx_failure_behaviour", "Goto Scene 2"), 0);
    EXPECT_EQ(memory->peek(1), 0x95u);
    EXPECT_EQ(write("extra_startup_delay", 12), 0);
    EXPECT_EQ(memory->peek(1), 0x9Cu);
    EXPECT_EQ(write("startup_behaviour", "Goto Scene 2"), 0);
    EXPECT_EQ(memory->peek(1), 0xACu);
    EXPECT_EQ(write("startup_force_480ms_fade", true), 0);
    EXPECT_EQ(memory->peek(1), 0xBCu);

    // A field without a name reads as a failure and is not rewritten.
    memory->poke(1, 0xC0);
    memory->clearJournal();
    QVariant value;
    EXPECT_EQ(read("dmx_failure_behaviour", value), ITF_ERR_INVALID_PARAM);
    EXPECT_EQ(read("startup_behaviour", value), ITF_ERR_INVALID_PARAM);
    for (const QString& line : memory->journal())
        EXPECT_TRUE(line.startsWith('R')) << line.toStdString();
}

TEST_F(BuiltinParameterTest, SceneOutputsOwnOneByteEach)
{
    add("core_version_string");
    memory->poke(CoreVersionStringParameter::Address, 0x0315);
    const struct
    {
        const char* id;
        int address;
        bool high;
    } rows[] = {{"scene_1_output_1", 10, false}, {"scene_1_output_2", 10, true},
        {"scene_1_output_3", 11, false}, {"scene_1_output_4", 11, true}, {"scene_2_output_1", 12, false},
        {"scene_2_output_2", 12, true}, {"scene_2_output_3", 13, false}, {"scene_2_output_4", 13, true}};
    for (const auto& row : rows) {
        add(row.id);
        memory->poke(row.address, 0x3C80);
        EXPECT_EQ(read(row.id), row.high ? 0x3C : 0x80) << row.id;
        EXPECT_EQ(write(row.id, 255), 0);
        EXPECT_EQ(memory->peek(row.address), row.high ? 0xFF80u : 0x3CFFu) << row.id;
        EXPECT_EQ(write(row.id, 0), 0);
        EXPECT_EQ(memory->peek(row.address), row.high ? 0x0080u : 0x3C00u) << row.id;
        // A level beyond a byte would change the neighbour: refused unwritten.
        memory->clearJournal();
        for (const QVariant& bad : {QVariant(256), QVariant(-1), QVariant("x")})
            EXPECT_EQ(write(row.id, bad), ITF_ERR_INVALID_PARAM) << row.id;
        EXPECT_TRUE(memory->journal().isEmpty());
    }
    memory->failReads(10, {ITF_ERR_TIMEOUT});
    EXPECT_EQ(write("scene_1_output_1", 7), ITF_ERR_TIMEOUT);
    EXPECT_EQ(memory->peek(10), 0x0080u);

    auto* current = add("cumulative_current");
    add("equal_output");
    EXPECT_TRUE(current->isReadOnly());
    EXPECT_TRUE(dynamic_cast<Parameter*>(device.getParameterInterface("equal_output"))->isReadOnly());
    memory->clearJournal();
    current->setValue(1200, IParameter::UPDATE_NO);
    EXPECT_EQ(read("cumulative_current"), 1200);
    EXPECT_TRUE(memory->journal().isEmpty());
}

TEST_F(BuiltinParameterTest, LightShapeActiveSwitch)
{
    add("light_shaping_active");
    const struct
    {
        unsigned driveType;
        bool writesFlag;
    } rows[] = {{0, true}, {1, true}, {2, false}};
    for (const auto& row : rows) {
        memory->poke(52, row.driveType);
        memory->poke(105, 0x7B);
        memory->poke(81, 9);
        memory->clearJournal();
        EXPECT_EQ(write("light_shaping_active", true), 0);
        // Bits 3 to 6 cleared, 2 and 7 set, 0 and 1 kept.
        EXPECT_EQ(memory->peek(105), 0x87u);
        EXPECT_EQ(memory->peek(81), row.writesFlag ? 1u : 9u);
        EXPECT_EQ(memory->journal().contains("W0 51=1"), row.writesFlag);
    }
    // A drive type that cannot be read fails the write: nothing is written.
    memory->failReads(52, {ITF_ERR_NO_REPLY});
    memory->clearJournal();
    EXPECT_EQ(write("light_shaping_active", false), ITF_ERR_NO_REPLY);
    EXPECT_EQ(memory->journal(), QStringList {"R0 34"});

    // Read on a driver without the enable bit: the stored true is switched off there.
    memory->poke(52, 2);
    memory->poke(16358, 0);
    EXPECT_EQ(read("light_shaping_active"), false);
    EXPECT_EQ(memory->peek(105), 0x07u);
    EXPECT_EQ(device.getParameterInterface("light_shaping_active")->getAccessLevel(), "dev");
    memory->poke(16358, 0x20);
    memory->poke(105, 0x80);
    EXPECT_EQ(read("light_shaping_active"), true);
    EXPECT_EQ(device.getParameterInterface("light_shaping_active")->getAccessLevel(), "user_basic");
}

TEST_F(BuiltinParameterTest, LightShapeInputsFollowTheEnableBit)
{
    const char* const inputs[] = {"light_shaping_cct_min", "light_shaping_cct_max",
        "light_shaping_flux_output_1", "light_shaping_flux_output_2", "light_shaping_cct_output_1",
        "light_shaping_cct_output_2", "light_shaping_flux_optimization_method", "light_shaping_maximum_flux",
        "light_shaping_forward_voltage_1", "light_shaping_forward_voltage_2",
        "light_shaping_control_strategy"};
    for (const char* id : inputs)
        add(id);
    memory->poke(180, 333);
    memory->poke(181, 200);
    for (unsigned enable : {0x20u, 0x00u}) {
        memory->poke(16358, enable);
        for (const char* id : inputs) {
            read(id);
            auto* p = dynamic_cast<Parameter*>(device.getParameterInterface(id));
            EXPECT_TRUE(p->isHidden()) << id;
            EXPECT_EQ(p->getAccessLevel(), enable ? "user_basic" : "dev") << id;
        }
    }
    memory->poke(16358, 0x20);
    memory->failReads(16358, {ITF_ERR_TIMEOUT});
    LogCapture log;
    read("light_shaping_flux_output_1");
    EXPECT_EQ(device.getParameterInterface("light_shaping_flux_output_1")->getAccessLevel(), "dev");
    EXPECT_EQ(
        log.count("LightShapeLuminousFluxCs1Parameter::setParameterDependencies: Error reading parameter"),
        1);

    // Kelvin for clients, mirek in the driver.
    EXPECT_EQ(read("light_shaping_cct_min"), 3000);
    EXPECT_EQ(read("light_shaping_cct_max"), 5000);
    EXPECT_EQ(write("light_shaping_cct_min", 2700), 0);
    EXPECT_EQ(memory->peek(180), 370u);
    for (unsigned mirek : {0u, 100u, 65535u, 1000u}) {
        memory->poke(180, mirek);
        EXPECT_EQ(read("light_shaping_cct_min"), mirek == 100 || mirek == 0 ? 7500 : 1667) << mirek;
    }
}

TEST_F(BuiltinParameterTest, ControlStrategyFollowsTheDriver)
{
    add("light_shaping_control_strategy");
    Parameter* dt8 = add("light_shaping_dt8");
    const struct
    {
        unsigned driveType;
        bool dt8;
        const char* option;
    } rows[] = {{2, false, "Tunable White"}, {3, true, "Tunable White"}, {1, false, "Warm Dimming"},
        {0, true, "Tunable White"}};
    for (const auto& row : rows) {
        memory->poke(52, row.driveType);
        dt8->setValue(row.dt8, IParameter::UPDATE_NO);
        EXPECT_EQ(read("light_shaping_control_strategy"), row.option);
        EXPECT_EQ(dynamic_cast<Parameter*>(device.getParameterInterface("light_shaping_control_strategy"))
                      ->getEnumOptions(),
            QStringList {row.option});
    }
}

TEST_F(BuiltinParameterTest, CctBalanceCurveOverDali)
{
    add("light_shaping_cct_balance_curve");
    enableDali();
    auto& dali = *device.dali;
    memory->poke(52, 2);
    memory->poke(105, 0x80);
    EXPECT_EQ(write("light_shaping_cct_balance_curve", "Linear"), 0);
    EXPECT_EQ(dali.journal(), (QStringList {"A3 01", "C1 06", "83 E3 x2"}));
    dali.sent.clear();
    EXPECT_EQ(write("light_shaping_cct_balance_curve", "Logarithmic"), 0);
    EXPECT_EQ(dali.journal(), (QStringList {"A3 00", "C1 06", "83 E3 x2"}));
    EXPECT_EQ(memory->peek(105), 0x80u); // the byte only names the setting's place

    // One channel, or lightshape not running: refused without a frame.
    dali.sent.clear();
    for (auto [driveType, control] : {std::pair {1u, 0x80u}, std::pair {2u, 0x00u}}) {
        memory->poke(52, driveType);
        memory->poke(105, control);
        EXPECT_EQ(write("light_shaping_cct_balance_curve", "Linear"), ITF_ERR_UNSUPPORTED_PARAMETER);
    }
    EXPECT_TRUE(dali.sent.empty());

    memory->poke(52, 2);
    dali.answerQueries({test::ScriptedDaliInterface::Outcome::answer(1)});
    EXPECT_EQ(read("light_shaping_cct_balance_curve"), "Linear");
    EXPECT_EQ(dali.journal(), (QStringList {"C1 06", "83 EE ?"}));

    // An answer that may be another master's: asked again, from ENABLE DEVICE TYPE on.
    dali.sent.clear();
    dali.answerQueries({test::ScriptedDaliInterface::Outcome::failure(ITF_ERR_PACKET_NOT_ANSWER),
        test::ScriptedDaliInterface::Outcome::answer(0)});
    EXPECT_EQ(read("light_shaping_cct_balance_curve"), "Logarithmic");
    EXPECT_EQ(dali.journal(), (QStringList {"C1 06", "83 EE ?", "C1 06", "83 EE ?"}));

    // Three attempts, then no value.
    dali.sent.clear();
    dali.answerQueries({test::ScriptedDaliInterface::Outcome::silence(),
        test::ScriptedDaliInterface::Outcome::answer(2), test::ScriptedDaliInterface::Outcome::silence()});
    LogCapture log;
    QVariant value;
    EXPECT_NE(read("light_shaping_cct_balance_curve", value), 0);
    EXPECT_FALSE(value.isValid());
    EXPECT_EQ(dali.journal().size(), 6);
    EXPECT_EQ(
        log.count("Failure to get parameter light_shaping_cct_balance_curve on retry 3: Invalid answer"), 1);
    EXPECT_EQ(log.count("on retry 2: Invalid dimming curve value 2"), 1);
    EXPECT_EQ(log.count("on retry 1: Invalid answer for dimming curve query"), 1);

    // A single-channel driver is no failure of the bus but of the parameter.
    memory->poke(52, 1);
    EXPECT_EQ(read("light_shaping_cct_balance_curve", value), ITF_ERR_UNSUPPORTED_MODULE);

    // Without a DALI port: refused and no value, never a call into nothing.
    device.dali.reset();
    memory->poke(52, 2);
    memory->poke(105, 0x80);
    EXPECT_EQ(write("light_shaping_cct_balance_curve", "Linear"), ITF_ERR_UNSUPPORTED_PARAMETER);
    EXPECT_NE(read("light_shaping_cct_balance_curve", value), 0);
    EXPECT_FALSE(value.isValid());
}

namespace {

// The 129-point warm-dimming profile of the colour library: 277 bytes.
const QList<int> kProfile129 = {32, 2, 168, 146, 25, 8, 128, 128, 8, 161, 24, 177, 184, 178, 11, 24, 65, 131,
    123, 117, 113, 109, 106, 103, 101, 98, 95, 93, 91, 89, 88, 86, 84, 82, 81, 79, 78, 76, 75, 73, 72, 71, 69,
    68, 67, 66, 65, 64, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 51, 50, 49, 48, 47, 46, 45, 45, 44,
    43, 42, 41, 41, 40, 39, 39, 38, 37, 36, 36, 35, 34, 33, 33, 32, 31, 31, 30, 30, 29, 28, 28, 27, 26, 26,
    25, 25, 24, 23, 23, 22, 22, 21, 20, 20, 19, 19, 18, 18, 17, 17, 16, 16, 15, 14, 14, 13, 13, 12, 12, 12,
    11, 11, 10, 10, 9, 9, 8, 8, 7, 7, 6, 6, 5, 5, 4, 4, 3, 3, 3, 2, 2, 1, 1, 1, 0, 65, 46, 58, 67, 75, 80, 86,
    90, 94, 98, 102, 106, 109, 113, 115, 118, 121, 124, 126, 129, 131, 133, 135, 138, 140, 142, 144, 146, 148,
    150, 152, 153, 155, 157, 159, 160, 162, 163, 165, 167, 168, 170, 171, 173, 174, 176, 177, 178, 180, 181,
    182, 184, 185, 186, 187, 189, 190, 191, 192, 193, 195, 196, 197, 198, 199, 201, 202, 202, 204, 205, 206,
    207, 208, 209, 210, 211, 212, 213, 214, 215, 216, 217, 218, 218, 220, 220, 221, 222, 223, 224, 225, 226,
    227, 227, 228, 229, 230, 231, 232, 233, 234, 234, 235, 236, 236, 237, 238, 239, 240, 240, 241, 242, 243,
    244, 244, 245, 246, 246, 247, 248, 249, 249, 250, 251, 251, 252, 253, 254, 254, 255, 255};

QString jsonOf(const QList<int>& bytes)
{
    QStringList numbers;
    for (int b : bytes)
        numbers << QString::number(b);
    return QLatin1Char('[') + numbers.join(QLatin1Char(',')) + QLatin1Char(']');
}

} // namespace

TEST_F(BuiltinParameterTest, LightShapeSettingsWritesOnlyProfilesOfBytes)
{
    Parameter* settings = add("light_shaping_settings");
    const QVariant initial = settings->getActualValue();
    EXPECT_EQ(initial.toString().count(QLatin1Char(',')), 34);
    EXPECT_EQ(kProfile129.size(), 277);
    memory->poke(105, 0x80);

    // Refused before the driver is asked: nothing written, the value kept.
    const QVariant refused[] = {QStringLiteral("not json"), QStringLiteral("[1,256]"),
        QStringLiteral("[1.5]"), QStringLiteral("[-1]"), QStringLiteral("[\"1\"]"),
        QStringLiteral("{\"a\":7}"), QStringLiteral("[1,]"), QStringLiteral("5"), QVariant(5),
        QVariant(QVariantList {1, QStringLiteral("x")}), QVariant(QVariantMap {{"1", 6}})};
    for (const QVariant& value : refused) {
        EXPECT_EQ(write("light_shaping_settings", value), ITF_ERR_INVALID_PARAM)
            << value.toString().toStdString();
        EXPECT_TRUE(memory->journal().isEmpty()) << value.toString().toStdString();
        EXPECT_EQ(settings->getActualValue(), initial);
    }
    EXPECT_EQ(write("light_shaping_settings", jsonOf(kProfile129)), ITF_ERR_INVALID_PARAM);
    EXPECT_TRUE(memory->journal().isEmpty());
    EXPECT_EQ(settings->getActualValue(), initial);

    // The same bytes, however they are given.
    const QVariant accepted[] = {QStringLiteral("[1,2,3]"), QVariant(QVariantList {1, 2, 3}),
        QStringLiteral("{\"0\":1,\"1\":2,\"2\":3}"), QVariant(QVariantMap {{"0", 1}, {"1", 2}, {"2", 3}})};
    for (const QVariant& value : accepted) {
        memory->clearJournal();
        EXPECT_EQ(write("light_shaping_settings", value), 0);
        EXPECT_EQ(memory->journal(),
            (QStringList {
                "R0 69", "W0 4740=10", "W1 4741=201", "W0 4743=3", "W0 fe=c3", "W0 fe=b7", "R0 1eb8"}));
        EXPECT_EQ(settings->getActualValue(), value);
    }
    EXPECT_EQ(settings->getAddress(), 15520);

    // A failed transfer: -3 when no device answered, else -1; the value stays.
    memory->failWrites(254, {ITF_ERR_NO_DEVICE});
    EXPECT_EQ(write("light_shaping_settings", "[9]"), ITF_ERR_NO_DEVICE);
    memory->poke(7864, 4);
    EXPECT_EQ(write("light_shaping_settings", "[9]"), ITF_ERR_TRANSFER);
    EXPECT_EQ(settings->getActualValue(), accepted[3]);

    // Lightshape not running: skipped, not written, reported as done.
    memory->poke(105, 0);
    memory->clearJournal();
    LogCapture log;
    EXPECT_EQ(write("light_shaping_settings", "[7]"), 0);
    EXPECT_EQ(memory->journal(), QStringList {"R0 69"});
    EXPECT_EQ(log.count("LX Profile not written as light shape is not active for this driver"), 1);
}

TEST_F(BuiltinParameterTest, LightShapeSettingsReadsTheRowsBack)
{
    add("light_shaping_settings");
    memory->poke(16358, 0x20);
    EXPECT_EQ(read("light_shaping_settings"), "[]");
    memory->poke(0x3D00, 0x305); // bytes 5, 0, 3
    EXPECT_EQ(read("light_shaping_settings"), "[5,0,3]");
    auto* settings = dynamic_cast<Parameter*>(device.getParameterInterface("light_shaping_settings"));
    EXPECT_TRUE(settings->isHidden());
    EXPECT_EQ(settings->getAccessLevel(), "user_basic");
    memory->failReads(0x3CE0, {ITF_ERR_TIMEOUT});
    QVariant value;
    EXPECT_EQ(read("light_shaping_settings", value), ITF_ERR_TRANSFER);
    EXPECT_FALSE(value.isValid());

    // A device without the driver's memory.
    test::PlainDevice bare(&universe);
    std::unique_ptr<IParameter> orphan(ParameterFactory().create("light_shaping_settings"));
    qobject_cast<RawParameter*>(orphan.get())->setDeviceInterface(&bare);
    EXPECT_EQ(orphan->getValue(value, IParameter::UPDATE_YES), ITF_ERR_UNSUPPORTED_MODULE);
}
