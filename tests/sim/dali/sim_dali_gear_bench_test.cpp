#include "dali/sim_dali_bus.h"
#include "dali/sim_dali_gear_bench.h"
#include "sim_bench.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace tarvesk::sim;

namespace {

std::shared_ptr<SimBusModel> gearFrom(const char* json, QString* error)
{
    return createDaliGearFromBench(QJsonDocument::fromJson(json).object(), error);
}

TEST(SimDaliGearBench, BuildsGearFromItsEntry)
{
    QString error;
    auto model = gearFrom(R"({"model": "dali_gear", "short_address": 5, "gtin": "0x010203040506",
        "firmware": [3, 12], "random_address": "0x000100", "device_type_6": false,
        "banks": {"1": [7, 8]}})",
        &error);
    ASSERT_TRUE(model) << error.toStdString();
    auto* bus = dynamic_cast<SimDaliBus*>(model.get());
    ASSERT_TRUE(bus);
    SimDaliGear& gear = bus->gear(0);
    EXPECT_EQ(gear.shortAddress(), 5);
    EXPECT_EQ(gear.memory().read(0, 3), 1);
    EXPECT_EQ(gear.memory().read(0, 10), 12);
    EXPECT_EQ(gear.memory().read(1, 4), 8);
    EXPECT_EQ(model->daliFrame(QByteArray("\x0B\x99", 2)).value, 254); // no device type
}

TEST(SimDaliGearBench, LateGearAndABusWithoutSupply)
{
    QString error;
    auto late = gearFrom(R"({"model": "dali_gear", "short_address": 1, "answer_late": true})", &error);
    ASSERT_TRUE(late) << error.toStdString();
    EXPECT_TRUE(dynamic_cast<SimDaliBus&>(*late).gear(0).answersLate());
    EXPECT_EQ(late->daliFrame(QByteArray("\x03\x91", 2)).kind, SimDaliAnswer::Late);
    auto unpowered = gearFrom(R"({"model": "dali_gear", "bus_supply": false})", &error);
    ASSERT_TRUE(unpowered) << error.toStdString();
    EXPECT_FALSE(unpowered->hasDaliSupply());
    EXPECT_TRUE(gearFrom(R"({"model": "dali_gear"})", &error)->hasDaliSupply());
}

TEST(SimDaliGearBench, RefusesWhatItCannotBuild)
{
    const char* bad[] = {
        R"({"model": "dali_gear", "short_adress": 5})",
        R"({"model": "dali_gear", "short_address": 64})",
        R"({"model": "dali_gear", "random_address": "0x1000000"})",
        R"({"model": "dali_gear", "ignore_withdraw": 1})",
        R"({"model": "dali_gear", "answer_late": "yes"})",
        R"({"model": "dali_gear", "bus_supply": 0})",
        R"({"model": "dali_gear", "firmware": [1]})",
        R"({"model": "dali_gear", "banks": {"0": [1]}})",
        R"({"model": "dali_gear", "banks": {"1": [256]}})",
    };
    for (const char* json : bad) {
        QString error;
        EXPECT_FALSE(gearFrom(json, &error)) << json;
        EXPECT_FALSE(error.isEmpty()) << json;
    }
}

TEST(SimDaliGearBench, DefaultBenchCarriesGear)
{
    QString error;
    auto libUsb = SimBench::loadFile(qEnvironmentVariable("QM_SOURCE_DIR", QStringLiteral("."))
            + QStringLiteral("/sim/benches/default.json"),
        &error);
    ASSERT_TRUE(libUsb) << error.toStdString();
    EXPECT_EQ(libUsb->boxes()[0]->busModelCount(SimBusModel::Dali), 2);
}

} // namespace
