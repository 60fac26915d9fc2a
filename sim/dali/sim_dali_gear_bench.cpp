#include "sim_dali_gear_bench.h"

#include "sim_dali_bus.h"

#include <QJsonArray>
#include <QSet>

#include <optional>

namespace tarvesk::sim {

namespace {

std::optional<quint64> number(const QJsonValue& value, quint64 max)
{
    quint64 result = 0;
    bool ok = false;
    if (value.isDouble()) {
        const double d = value.toDouble();
        ok = d >= 0 && d <= double(max) && d == double(quint64(d));
        result = quint64(d);
    } else if (value.isString()) {
        result = value.toString().toULongLong(&ok, 0);
    }
    if (!ok || result > max)
        return std::nullopt;
    return result;
}

struct EntryReader
{
    const QJsonObject& entry;
    QString* error;
    bool failed = false;

    void fail(const QString& reason)
    {
        if (!failed && error)
            *error = reason;
        failed = true;
    }
    template <typename T> void read(const char* key, quint64 max, T& target)
    {
        if (failed || !entry.contains(QLatin1String(key)))
            return;
        const auto value = number(entry.value(QLatin1String(key)), max);
        if (!value)
            return fail(
                QStringLiteral("\"%1\" must be a number from 0 to %2").arg(QLatin1String(key)).arg(max));
        target = T(*value);
    }
    void readBool(const char* key, bool& target)
    {
        if (failed || !entry.contains(QLatin1String(key)))
            return;
        if (!entry.value(QLatin1String(key)).isBool())
            return fail(QStringLiteral("\"%1\" must be true or false").arg(QLatin1String(key)));
        target = entry.value(QLatin1String(key)).toBool();
    }
    QByteArray bytes(const QJsonValue& value, const QString& place, int maxCount)
    {
        const QJsonArray array = value.toArray();
        if (!value.isArray() || array.size() > maxCount) {
            fail(QStringLiteral("%1 must be a list of at most %2 bytes").arg(place).arg(maxCount));
            return {};
        }
        QByteArray result;
        for (const QJsonValue& item : array) {
            const auto byte = number(item, 0xFF);
            if (!byte) {
                fail(QStringLiteral("%1 must hold bytes from 0 to 255").arg(place));
                return {};
            }
            result.append(char(*byte));
        }
        return result;
    }
};

} // namespace

std::shared_ptr<SimBusModel> createDaliGearFromBench(const QJsonObject& entry, QString* error)
{
    static const QSet<QString> keys = {"model", "short_address", "random_seed", "random_address",
        "ignore_withdraw", "answer_late", "bus_supply", "device_type_6", "physical_minimum", "gtin",
        "firmware", "identification_number", "banks", "energy_step"};
    EntryReader reader {entry, error};
    for (auto it = entry.constBegin(); it != entry.constEnd(); ++it) {
        if (!keys.contains(it.key()))
            reader.fail(QStringLiteral("unknown key \"%1\"").arg(it.key()));
    }

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
    bool supply = true;
    reader.readBool("bus_supply", supply);
    reader.readBool("device_type_6", config.deviceType6);
    reader.read("physical_minimum", 254, config.physicalMinimum);
    reader.read("gtin", 0xFFFFFFFFFFFFull, config.identity.gtin);
    reader.read("identification_number", ~0ull, config.identity.identificationNumber);
    if (!reader.failed && entry.contains(QStringLiteral("firmware"))) {
        const QByteArray version = reader.bytes(entry.value(QStringLiteral("firmware")), "\"firmware\"", 2);
        if (!reader.failed && version.size() != 2)
            reader.fail(QStringLiteral("\"firmware\" must be [major, minor]"));
        if (!reader.failed) {
            config.identity.firmwareMajor = quint8(version[0]);
            config.identity.firmwareMinor = quint8(version[1]);
        }
    }
    if (config.physicalMinimum == 0)
        reader.fail(QStringLiteral("\"physical_minimum\" must be from 1 to 254"));

    auto gear = std::make_shared<SimDaliGear>(config);
    const QJsonValue banks = entry.value(QStringLiteral("banks"));
    if (!reader.failed && entry.contains(QStringLiteral("banks")) && !banks.isObject())
        reader.fail(QStringLiteral("\"banks\" must map bank numbers to byte lists"));
    const QJsonObject bankMap = banks.toObject();
    for (auto it = bankMap.constBegin(); it != bankMap.constEnd() && !reader.failed; ++it) {
        const auto bank = number(QJsonValue(it.key()), 0xFF);
        if (!bank || *bank == 0) {
            reader.fail(QStringLiteral("bank \"%1\" must be a number from 1 to 255").arg(it.key()));
            break;
        }
        // Locations run to 255; the data starts at location 3.
        const QByteArray data = reader.bytes(it.value(), QStringLiteral("bank %1").arg(it.key()), 253);
        if (!reader.failed)
            gear->memory().addBank(quint8(*bank), data,
                SimDaliMemoryBanks::d4iWritable(quint8(*bank), data.size()).value_or(std::vector<bool>()));
    }
    if (!reader.failed && entry.contains(QStringLiteral("energy_step"))) {
        quint64 step = 0;
        reader.read("energy_step", 0xFFFFFFFFFFFFull, step);
        // The active energy: 6 bytes at location 5 of bank 202.
        if (!reader.failed && !gear->memory().setAdvancingCounter(202, 5, 6, step))
            reader.fail(
                QStringLiteral("\"energy_step\" needs bank 202 with its active energy (locations 5 to 10)"));
    }
    if (reader.failed)
        return nullptr;
    auto bus = std::make_shared<SimDaliBus>();
    bus->addGear(gear);
    bus->setSupply(supply);
    return bus;
}

} // namespace tarvesk::sim
