#include "sim_dali_gear_bench.h"

#include "sim_bench_entry.h"
#include "sim_dali_bus.h"

namespace tarvesk::sim {

std::shared_ptr<SimBusModel> createDaliGearFromBench(const QJsonObject& entry, QString* error)
{
    SimBenchEntry reader(entry, error);
    reader.onlyKeys({"short_address", "random_seed", "random_address", "ignore_withdraw", "answer_late",
        "answer_after_ms", "bus_supply", "device_type_6", "physical_minimum", "gtin", "firmware",
        "identification_number", "banks", "energy_step"});

    SimDaliGearConfig config;
    reader.read("short_address", 63, config.shortAddress);
    reader.read("random_seed", 0xFFFFFFFF, config.randomSeed);
    if (entry.contains(QStringLiteral("random_address"))) {
        quint32 address = 0;
        reader.read("random_address", 0xFFFFFF, address);
        config.fixedRandomAddress = address;
    }
    reader.readBool("ignore_withdraw", config.ignoreWithdraw);
    reader.readBool("answer_late", config.answerLate);
    reader.read("answer_after_ms", 1000, config.answerAfterMs);
    bool supply = true;
    reader.readBool("bus_supply", supply);
    reader.readBool("device_type_6", config.deviceType6);
    reader.read("physical_minimum", 254, config.physicalMinimum);
    reader.read("gtin", 0xFFFFFFFFFFFFull, config.identity.gtin);
    reader.read("identification_number", ~0ull, config.identity.identificationNumber);
    if (!reader.failed() && entry.contains(QStringLiteral("firmware"))) {
        const QByteArray version = reader.bytes("firmware", 2);
        if (!reader.failed() && version.size() != 2)
            reader.fail(QStringLiteral("\"firmware\" must be [major, minor]"));
        if (!reader.failed()) {
            config.identity.firmwareMajor = quint8(version[0]);
            config.identity.firmwareMinor = quint8(version[1]);
        }
    }
    if (config.physicalMinimum == 0)
        reader.fail(QStringLiteral("\"physical_minimum\" must be from 1 to 254"));

    auto gear = std::make_shared<SimDaliGear>(config);
    const QJsonValue banks = entry.value(QStringLiteral("banks"));
    if (!reader.failed() && entry.contains(QStringLiteral("banks")) && !banks.isObject())
        reader.fail(QStringLiteral("\"banks\" must map bank numbers to byte lists"));
    const QJsonObject bankMap = banks.toObject();
    for (auto it = bankMap.constBegin(); it != bankMap.constEnd() && !reader.failed(); ++it) {
        const auto bank = simBenchNumber(QJsonValue(it.key()), 0xFF);
        if (!bank || *bank == 0) {
            reader.fail(QStringLiteral("bank \"%1\" must be a number from 1 to 255").arg(it.key()));
            break;
        }
        // Locations run to 255; the data starts at location 3.
        const QByteArray data = reader.bytesOf(it.value(), QStringLiteral("bank %1").arg(it.key()), 253);
        if (!reader.failed())
            gear->memory().addBank(quint8(*bank), data,
                SimDaliMemoryBanks::d4iWritable(quint8(*bank), data.size()).value_or(std::vector<bool>()));
    }
    if (!reader.failed() && entry.contains(QStringLiteral("energy_step"))) {
        quint64 step = 0;
        reader.read("energy_step", 0xFFFFFFFFFFFFull, step);
        // The active energy: 6 bytes at location 5 of bank 202.
        if (!reader.failed() && !gear->memory().setAdvancingCounter(202, 5, 6, step))
            reader.fail(
                QStringLiteral("\"energy_step\" needs bank 202 with its active energy (locations 5 to 10)"));
    }
    if (reader.failed())
        return nullptr;
    auto bus = std::make_shared<SimDaliBus>();
    bus->addGear(gear);
    bus->setSupply(supply);
    return bus;
}

} // namespace tarvesk::sim
