#include "sim_dorvane_bench.h"

#include "drivers/sim_driver_bench.h"
#include "sim_bench_entry.h"
#include "sim_dorvane_driver.h"
#include "sim_dorvane_slave_module.h"

namespace tarvesk::sim {

namespace {

std::shared_ptr<SimBusModel> driverFromBench(const QJsonObject& entry, QString* error, bool legacy)
{
    SimBenchEntry reader(entry, error);
    reader.onlyKeys({"version", "product_id", "oem_id", "subversion", "corvalt", "parameters",
        "dali_short_address", "dali_channels", "faults", "bootloader", "presmonde"});
    SimDorvaneDriver::Config config;
    config.legacy = legacy;
    reader.read("version", 0xFFFF, config.identity.version);
    reader.read("product_id", 0xFFFF, config.identity.productId);
    reader.read("oem_id", 0xFFFF, config.identity.oemId);
    reader.read("subversion", 0xFF, config.subversion);
    reader.readBool("corvalt", config.corvalt);
    for (const char channel : reader.bytes("dali_channels", 16)) {
        if (quint8(channel) > 15)
            reader.fail(QStringLiteral("\"dali_channels\" holds channels from 0 to 15"));
        config.daliChannels << quint8(channel);
    }
    config.faults = reader.faults();
    auto driver = std::make_shared<SimDorvaneDriver>(config);
    simFillDriverCore(reader, driver->core());
    return reader.failed() ? nullptr : driver;
}

std::shared_ptr<SimBusModel> slaveFromBench(
    const QJsonObject& entry, QString* error, SimDorvaneSlaveModule::Generation generation)
{
    SimBenchEntry reader(entry, error);
    reader.onlyKeys({"index", "ram", "eeprom"});
    int index = generation == SimDorvaneSlaveModule::Generation::Dv2 ? 1 : 0;
    if (const auto value = reader.number("index", 1, 8))
        index = int(*value);
    auto module = std::make_shared<SimDorvaneSlaveModule>(generation, index);
    const auto ram = reader.numberMap("ram", 0xFE, 0xFFFF);
    for (auto it = ram.constBegin(); it != ram.constEnd(); ++it)
        module->setRamWord(int(it.key()), quint16(it.value()));
    const QByteArray eeprom = reader.bytes("eeprom", 0x10000);
    for (int i = 0; i < eeprom.size(); ++i)
        module->setEeprom(i, quint8(eeprom.at(i)));
    return reader.failed() ? nullptr : module;
}

} // namespace

std::shared_ptr<SimBusModel> createDorvaneDriverFromBench(const QJsonObject& entry, QString* error)
{
    return driverFromBench(entry, error, false);
}

std::shared_ptr<SimBusModel> createDorvaneLegacyDriverFromBench(const QJsonObject& entry, QString* error)
{
    return driverFromBench(entry, error, true);
}

std::shared_ptr<SimBusModel> createDv1SlaveFromBench(const QJsonObject& entry, QString* error)
{
    return slaveFromBench(entry, error, SimDorvaneSlaveModule::Generation::Dv1);
}

std::shared_ptr<SimBusModel> createDv2SlaveFromBench(const QJsonObject& entry, QString* error)
{
    return slaveFromBench(entry, error, SimDorvaneSlaveModule::Generation::Dv2);
}

} // namespace tarvesk::sim
