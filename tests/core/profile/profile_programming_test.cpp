#include "core/core_errors.h"
#include "core/itf_error.h"
#include "gear_fixture.h"

#include <gtest/gtest.h>

#include <functional>

using namespace tarvesk::core;
using tarvesk::test::GearFixture;

namespace {

// The tree as "name = result" lines, two blanks per level. The children of
// "Final validation" follow the profile's hash order, so they are sorted.
QStringList render(const Step* step, int depth = 0)
{
    QStringList lines {
        QString(depth * 2, QLatin1Char(' ')) + step->getName() + QStringLiteral(" = ") + step->getResult()};
    QList<QStringList> blocks;
    for (const Step* child : step->children())
        blocks.append(render(child, depth + 1));
    if (step->getName() == QLatin1String("Final validation"))
        std::sort(blocks.begin(), blocks.end(),
            [](const QStringList& a, const QStringList& b) { return a.first() < b.first(); });
    for (const QStringList& block : blocks)
        lines << block;
    return lines;
}

} // namespace

TEST(ProfileProgramming, GoldenStepTreeOfAFullRun)
{
    GearFixture gear;
    ASSERT_EQ(gear.run(), 0);
    const QStringList expected = {
        "ProfileSet = not done",
        "  is lightshape active = no",
        "  Set parameters = ok",
        "    Priority 0 = ok",
        "      > Set dimming_curve [linear] = ok",
        "      < Get dimming_curve = [linear] ok",
        "    Priority 1 = ok",
        "      > Set minimum_level [10] = ok",
        "      < Get minimum_level = [10] ok",
        "        Verify minimum level = ok",
        "          < Get \"dimming_curve\" = [linear] ok",
        "    Priority 2 = ok",
        "      > Set ntc_throttling_temperature [90] = ok",
        "      < Get ntc_throttling_temperature = [90] ok",
        "    Priority 3 = ok",
        "      > Set fade_time [7] = ok",
        "      < Get fade_time = [7] ok",
        "    Priority 4 = ok",
        "      > Set power_on_level [200] = ok",
        "      < Get power_on_level = [200] ok",
        "  Reset DALI = ok",
        "    < Get 'dimming_curve' = [linear] ok",
        "    < Get 'minimum_level' = [10] ok",
        "    < Set \"dali_reset\" = ok",
        "    > Set 'dimming_curve' [linear] = ok",
        "    > Set 'minimum_level' [10] = ok",
        "  Post condition = ok",
        "    gear post check = ok",
        "  Final validation = ok",
        "    dimming_curve [linear] = ok",
        "      < Get 'dimming_curve' = [linear] ok",
        "    light_shaping_active [false] = skipped: not in profile",
        "    light_shaping_cct_balance_curve [0] = skipped: not in profile",
        "    light_shaping_settings [] = skipped: not in profile",
        "    ntc_throttling_temperature [90] = ok",
        "      < Get 'ntc_throttling_temperature' = [90] ok",
    };
    EXPECT_EQ(render(&gear.root).join(QLatin1Char('\n')).toStdString(),
        expected.join(QLatin1Char('\n')).toStdString());

    // The reset happens, then the gear is given time, then curve and level come back.
    const QStringList journal = gear.device->journal();
    const int reset = journal.indexOf(QStringLiteral("reset"));
    ASSERT_GE(reset, 0);
    EXPECT_EQ(journal.mid(reset - 1, 5),
        (QStringList {"set dali_factory_reset=1", "reset", "wait 300", "set dimming_curve=linear",
            "set minimum_level=10"}));
    EXPECT_TRUE(gear.device->getDeviceMutex()->tryLock());
    gear.device->getDeviceMutex()->unlock();
}

TEST(ProfileProgramming, FailureCases)
{
    struct Case
    {
        const char* name;
        QStringList omit; // device parameters the gear does not have
        std::function<void(GearFixture&)> setup;
        int status;
        QList<QPair<QString, QString>> steps; // path, result ("<no step>" for absent)
        QStringList notWritten;               // never written to the gear
    };
    using P = QPair<QString, QString>;
    const QString set = QStringLiteral("Set parameters/");
    const Case table[] = {
        {"pre fails", {}, [](GearFixture& g) { g.device->preStatus = ITF_ERR_BUSY; }, ITF_ERR_BUSY,
            {P("is lightshape active", "<no step>")}, {"dimming_curve"}},
        {"profile of another type with the same name", {},
            [](GearFixture& g) {
                auto* twin = g.database.addProfileType(QStringLiteral("twin"), {});
                twin->setName(g.type->getName());
                g.profile->setProfileType(twin);
            },
            ITF_ERR_INVALID_PARAM, {P("Set parameters", "error"), P(set + "Priority 0", "<no step>")},
            {"dimming_curve"}},
        {"write fails", {}, [](GearFixture& g) { g.device->failWrites("fade_time", {ITF_ERR_TIMEOUT}); },
            ITF_ERR_TIMEOUT,
            {P(set + "Priority 3/> Set fade_time [7]", "error: set failed"),
                P(set + "Priority 3", "error: set failed"), P("Set parameters", "error"),
                P("Reset DALI", "<no step>")},
            {"power_on_level"}},
        {"device refuses a parameter", {}, [](GearFixture& g) { g.device->forgetGear("fade_time"); }, 0,
            {P(set + "Priority 3/> Set fade_time [7]", "skipped: unsupported"),
                P(set + "Priority 3/< Get fade_time", "<no step>"), P("Final validation", "ok")},
            {}},
        {"device refuses a critical parameter", {},
            [](GearFixture& g) { g.device->forgetGear("dimming_curve"); }, ITF_ERR_UNSUPPORTED_PARAMETER,
            {P(set + "Priority 0/> Set dimming_curve [linear]", "error: unsupported"),
                P(set + "Priority 0", "error: set failed")},
            {"minimum_level"}},
        {"device lacks a parameter", {"fade_time"}, nullptr, 0,
            {P(set + "Priority 3/> Set fade_time [7]", "skipped: trying to set something not in device!"),
                P(set + "Priority 3", "ok")},
            {"fade_time"}},
        {"device lacks a critical parameter", {"ntc_throttling_temperature"}, nullptr, ITF_ERR_INVALID_PARAM,
            {P(set + "Priority 2/> Set ntc_throttling_temperature [90]",
                "error: trying to set something not in device!")},
            {"fade_time"}},
        {"value above the device's limit", {}, [](GearFixture& g) { g.want("minimum_level", 300); },
            ITF_ERR_INVALID_PARAM,
            {P(set + "Priority 1/> Set minimum_level [300]", "error: value 300 outside the limits 0 to 254"),
                P(set + "Priority 1", "error: invalid value")},
            {"minimum_level", "ntc_throttling_temperature"}},
        {"value below the device's limit", {}, [](GearFixture& g) { g.want("fade_time", -1); },
            ITF_ERR_INVALID_PARAM,
            {P(set + "Priority 3/> Set fade_time [-1]", "error: value -1 outside the limits 0 to 15")},
            {"fade_time"}},
        {"value that is not an option", {}, [](GearFixture& g) { g.want("dimming_curve", "sigmoid"); },
            ITF_ERR_INVALID_PARAM,
            {P(set + "Priority 0/> Set dimming_curve [sigmoid]", "error: value sigmoid is not an option")},
            {"dimming_curve"}},
        {"value that is not a number", {}, [](GearFixture& g) { g.want("fade_time", "fast"); },
            ITF_ERR_INVALID_PARAM,
            {P(set + "Priority 3/> Set fade_time [fast]", "error: value fast is not a number")},
            {"fade_time"}},
        {"read-only in the device", {}, [](GearFixture& g) { g.onDevice("fade_time")->setReadOnly(true); }, 0,
            {P(set + "Priority 3/> Set fade_time [7]", "skipped: read-only in device")}, {"fade_time"}},
        {"priority outside 0 to 4", {},
            [](GearFixture& g) {
                g.inProfile("power_on_level")->setPriorityLevel(5);
                g.inProfile("fade_time")->setPriorityLevel(unsigned(-1));
            },
            0,
            {P("Set parameters/Not written", "skipped: 2 parameters"),
                P(set + "Not written/> Set power_on_level [200]", "skipped: priority level 5 outside 0 to 4"),
                P(set + "Not written/> Set fade_time [7]", "skipped: priority level -1 outside 0 to 4")},
            {"power_on_level", "fade_time"}},
        {"critical read-back differs", {}, [](GearFixture& g) { g.device->setStuck("dimming_curve"); },
            ITF_ERR_TRANSFER,
            {P(set + "Priority 0/< Get dimming_curve", "error: readback failed"),
                P(set + "Priority 0", "error: readback failed")},
            {"minimum_level"}},
        {"critical read-back delivers no value", {},
            [](GearFixture& g) { g.device->failReads("ntc_throttling_temperature", {ITF_ERR_NO_REPLY}); },
            ITF_ERR_TRANSFER,
            {P(set + "Priority 2/< Get ntc_throttling_temperature", "error: readback failed")},
            {"fade_time"}},
        {"other read-back fails", {},
            [](GearFixture& g) { g.device->failReads("fade_time", {ITF_ERR_TIMEOUT}); }, 0,
            {P(set + "Priority 3/< Get fade_time", "[] error")}, {}},
        {"not dt8", {}, [](GearFixture& g) { g.onDevice("light_shaping_dt8")->setActualValue(false); }, 0,
            {P("Reset DALI", "skipped: not dt8"), P("Post condition", "ok")}, {"dali_factory_reset"}},
        {"no dt8 parameter", {"light_shaping_dt8"}, nullptr, 0, {P("Reset DALI", "skipped: not dt8")},
            {"dali_factory_reset"}},
        {"no reset parameter", {"dali_factory_reset"}, nullptr, 0, {P("Reset DALI", "skipped: no reset")},
            {}},
        {"reset fails", {},
            [](GearFixture& g) { g.device->failWrites("dali_factory_reset", {ITF_ERR_TIMEOUT}); },
            ITF_ERR_TIMEOUT,
            {P("Reset DALI", "error"), P("Reset DALI/< Set \"dali_reset\"", "error"),
                P("Reset DALI/> Set 'dimming_curve' [linear]", "<no step>"),
                P("Post condition", "<no step>")},
            {}},
        {"curve cannot be read before the reset", {},
            [](GearFixture& g) {
                g.device->failReads("dimming_curve", {0, 0, ITF_ERR_TIMEOUT});
            },
            ITF_ERR_TIMEOUT,
            {P("Reset DALI", "error: could not read the settings to restore"),
                P("Reset DALI/< Get 'dimming_curve'", "[] error"),
                P("Reset DALI/< Set \"dali_reset\"", "<no step>")},
            {"dali_factory_reset"}},
        {"restoring the curve fails", {},
            [](GearFixture& g) {
                g.device->failWrites("dimming_curve", {0, ITF_ERR_TIMEOUT});
            },
            ITF_ERR_TIMEOUT,
            {P("Reset DALI", "error"), P("Reset DALI/> Set 'dimming_curve' [linear]", "error"),
                P("Reset DALI/> Set 'minimum_level' [10]", "ok"), P("Post condition", "<no step>")},
            {}},
        {"post fails", {}, [](GearFixture& g) { g.device->postStatus = ITF_ERR_BUSY; }, ITF_ERR_BUSY,
            {P("Post condition", "error"), P("Final validation", "<no step>")}, {}},
        {"reset loses a critical value", {},
            [](GearFixture& g) {
                g.device->setResetValues({{QStringLiteral("ntc_throttling_temperature"), 85}});
            },
            ITF_ERR_TRANSFER,
            {P("Final validation", "error"), P("Final validation/ntc_throttling_temperature [90]", "error"),
                P("Final validation/ntc_throttling_temperature [90]/< Get 'ntc_throttling_temperature'",
                    "[85] ok")},
            {}},
        {"a failed non-critical final read counts even before a good one", {},
            [](GearFixture& g) {
                g.want("light_shaping_settings", "[1,2]");
                g.device->failReads("light_shaping_settings", {ITF_ERR_NO_REPLY});
            },
            ITF_ERR_NO_REPLY,
            {P("Final validation", "error"), P("Final validation/light_shaping_settings [[1,2]]", "not done"),
                P("Final validation/dimming_curve [linear]", "ok")},
            {}},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        GearFixture gear(c.omit);
        if (c.setup)
            c.setup(gear);
        EXPECT_EQ(gear.run(), c.status);
        for (const auto& [path, result] : c.steps)
            EXPECT_EQ(gear.resultOf(path).toStdString(), result.toStdString()) << path.toStdString();
        for (const QString& id : c.notWritten) {
            for (const QString& line : gear.device->journal())
                EXPECT_FALSE(line.startsWith(QStringLiteral("set %1=").arg(id))) << line.toStdString();
        }
        EXPECT_TRUE(gear.device->getDeviceMutex()->tryLock());
        gear.device->getDeviceMutex()->unlock();
    }
}

TEST(ProfileProgramming, MinimumLevelVerification)
{
    // (curve, wanted level, gear resolution, result, corrections made)
    const std::tuple<const char*, double, double, int, int> table[] = {
        {"linear", 10.2, 0.5, 0, 0},                  // read 10: within 0.3
        {"logarithmic", 10.4, 1, 0, 0},               // read 10: 4 % off, fine on a logarithmic curve
        {"linear", 10.4, 1, ITF_ERR_TRANSFER, 3},     // read 10: a linear curve wants it within 0.3
        {"logarithmic", 0.4, 1, ITF_ERR_TRANSFER, 3}, // read 0: no ratio to a zero level
        {"logarithmic", 0, 1, 0, 0},
    };
    for (const auto& [curve, wanted, resolution, status, corrections] : table) {
        SCOPED_TRACE(std::string(curve) + " " + std::to_string(wanted));
        GearFixture gear;
        gear.want("dimming_curve", QString::fromLatin1(curve));
        gear.want("minimum_level", wanted);
        gear.device->setMinimumLevelQuantum(resolution);
        EXPECT_EQ(gear.run(), status);
        const QString verify
            = QStringLiteral("Set parameters/Priority 1/< Get minimum_level/Verify minimum level");
        const QString set = QStringLiteral("< Set \"min level\" (verify step) [%1]").arg(wanted);
        EXPECT_EQ(gear.count(verify, set), corrections);
        EXPECT_EQ(gear.count(verify, QStringLiteral("> Get \"min level\" (verify step)")), corrections);
        EXPECT_EQ(gear.resultOf(verify).toStdString(),
            status == 0 ? std::string("ok") : std::string("error: Could not 'correct' min level"));
        if (status != 0) {
            EXPECT_EQ(
                gear.resultOf(QStringLiteral("Set parameters/Priority 1/< Get minimum_level")).toStdString(),
                "error: verify min level");
        }
    }

    // A read-back without a value is corrected once and then passes.
    GearFixture gear;
    gear.device->failReads("minimum_level", {ITF_ERR_NO_REPLY});
    EXPECT_EQ(gear.run(), 0);
    const QString verify
        = QStringLiteral("Set parameters/Priority 1/< Get minimum_level/Verify minimum level");
    EXPECT_EQ(gear.count(verify, QStringLiteral("< Set \"min level\" (verify step) [10]")), 1);
    EXPECT_EQ(gear.resultOf(verify + "/> Get \"min level\" (verify step)").toStdString(), "[10] ok");
    EXPECT_EQ(gear.resultOf(verify).toStdString(), "ok");
}

TEST(ProfileProgramming, StagesSwitchedByTheFlagsAndLightShapeParameters)
{
    GearFixture quiet;
    EXPECT_EQ(quiet.run(false, false), 0);
    EXPECT_EQ(quiet.count("Set parameters/Priority 0", "< Get dimming_curve"), 0);
    EXPECT_EQ(quiet.find("Final validation"), nullptr);

    GearFixture finalOnly;
    EXPECT_EQ(finalOnly.run(false, true), 0);
    EXPECT_EQ(finalOnly.count("Set parameters/Priority 0", "< Get dimming_curve"), 0);
    EXPECT_EQ(finalOnly.resultOf("Final validation").toStdString(), "ok");

    // Forward voltages are never written but their step is ok; the settings
    // are written but read back only in the final check, as a byte list that
    // may be longer than what was written.
    for (const auto& [stored, status] :
        {std::make_pair("[1,2,3,9]", 0), std::make_pair("[1,2]", int(ITF_ERR_TRANSFER))}) {
        GearFixture lx;
        lx.want("light_shaping_active", true);
        lx.want("light_shaping_default_forward_voltages", "[30,31]");
        lx.want("light_shaping_settings", "[1,2,3]");
        lx.device->setGear("light_shaping_settings", QString::fromLatin1(stored));
        lx.device->setStuck("light_shaping_settings");
        EXPECT_EQ(lx.run(), status) << stored;
        EXPECT_EQ(lx.resultOf("is lightshape active").toStdString(), "yes");
        EXPECT_EQ(
            lx.resultOf("Set parameters/Priority 4/> Set light_shaping_default_forward_voltages [[30,31]]")
                .toStdString(),
            "ok");
        EXPECT_EQ(lx.count("Set parameters/Priority 4", "< Get light_shaping_settings"), 0);
        EXPECT_EQ(lx.resultOf("Final validation/light_shaping_settings [[1,2,3]]").toStdString(),
            status == 0 ? "ok" : "error");
        for (const QString& line : lx.device->journal())
            EXPECT_FALSE(line.startsWith(QStringLiteral("set light_shaping_default_forward_voltages")));
    }
}

TEST(ProfileProgramming, TheDeviceMutexIsReleasedWhenACallbackThrows)
{
    GearFixture gear;
    gear.device->throwOnWrite("fade_time");
    EXPECT_THROW(gear.run(), DeviceError);
    EXPECT_TRUE(gear.device->getDeviceMutex()->tryLock());
    gear.device->getDeviceMutex()->unlock();
}

TEST(ProfileProgramming, LightShapeTextsToByteLists)
{
    GearFixture gear;
    const std::pair<const char*, QList<int>> table[] = {
        {R"({"0": 5, "2": 7})", {5, 0}},
        {R"({"1": 4, "0": 3, "2": 1.5})", {3, 4, 0}},
        {"[1, 2.0, 2.5, \"x\", 255]", {1, 2, 0, 0, 255}},
        {"[]", {}},
        {"17", {}},
        {"not json", {}},
        {"", {}},
        // Text the framework's parser would take, and leak on, is read as no bytes.
        {R"({"0": [1], "0": {"a": 2}})", {}},
        {R"([1, "\q"])", {}},
    };
    for (const auto& [text, bytes] : table)
        EXPECT_EQ(gear.device->bytesFromLightShapeProfileString(QString::fromLatin1(text)), bytes) << text;
}
