#include "dali/sim_dali_bus.h"
#include "dali/sim_dali_gear_bench.h"
#include "sim_bench.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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

TEST(SimDaliGearBench, D4iBenchCarriesTwoD4iGear)
{
    const QString path = qEnvironmentVariable("QM_SOURCE_DIR", QStringLiteral(".")) + "/sim/benches/d4i.json";
    QString error;
    auto libUsb = SimBench::loadFile(path, &error);
    ASSERT_TRUE(libUsb) << error.toStdString();
    EXPECT_EQ(libUsb->boxes()[0]->busModelCount(SimBusModel::Dali), 2);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonArray entries
        = QJsonDocument::fromJson(file.readAll()).object()["boxes"].toArray()[0].toObject()["dali"].toArray();
    ASSERT_EQ(entries.size(), 2);
    auto first = createDaliGearFromBench(entries[0].toObject(), &error);
    auto second = createDaliGearFromBench(entries[1].toObject(), &error);
    ASSERT_TRUE(first && second) << error.toStdString();
    SimDaliMemoryBanks& full = dynamic_cast<SimDaliBus&>(*first).gear(0).memory();
    SimDaliMemoryBanks& plain = dynamic_cast<SimDaliBus&>(*second).gear(0).memory();
    EXPECT_EQ(full.read(0, 2), 207); // the last bank
    for (int bank : {1, 201, 202, 203, 204, 205, 206, 207})
        EXPECT_TRUE(full.hasBank(quint8(bank))) << bank;
    EXPECT_EQ(full.read(1, 0), 119);     // luminaire data up to location 119
    EXPECT_EQ(full.read(1, 16), 0xFE);   // identification number 2^64 - 2
    EXPECT_EQ(full.read(203, 10), 0xFE); // apparent energy "Unavailable"
    const auto energyLow = full.read(202, 10);
    EXPECT_NE(full.read(202, 10), energyLow); // the energy counts as it is read
    EXPECT_TRUE(plain.hasBank(1));
    EXPECT_FALSE(plain.hasBank(202));
}

} // namespace
