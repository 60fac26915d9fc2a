#include "sim_driver_bench.h"

#include "dali/sim_dali_gear.h"
#include "sim_bench_entry.h"
#include "sim_driver_core.h"

#include <QJsonArray>

namespace tarvesk::sim {

namespace {

void readModules(
    SimBenchEntry& reader, const QJsonObject& bootloader, SimBootloaderConfig& config, QString* error)
{
    const QJsonValue value = bootloader.value(QStringLiteral("modules"));
    if (!value.isArray()) {
        reader.fail(QStringLiteral("\"bootloader\": \"modules\" must be a list"));
        return;
    }
    for (const QJsonValue& item : value.toArray()) {
        const QJsonObject object = item.toObject();
        SimBenchEntry moduleReader(object, error);
        moduleReader.onlyKeys({"id", "version", "subversion", "size", "start"});
        SimFlashModule module;
        moduleReader.read("id", 2047, module.id);
        moduleReader.read("version", 255, module.version);
        moduleReader.read("subversion", 63, module.subversion);
        if (const auto size = moduleReader.number("size", 1, 8))
            module.size = int(*size);
        moduleReader.read("start", SimDriverBootloader::FlashWords - 256, module.start);
        if (!moduleReader.failed()
            && (module.start % 256 != 0
                || module.start + module.size * 256 > SimDriverBootloader::FlashWords))
            moduleReader.fail(QStringLiteral("a module must start on a slot of 256 words and end in flash"));
        if (!item.isObject() || moduleReader.failed()) {
            reader.fail(error && !error->isEmpty() ? *error : QStringLiteral("a module must be an object"));
            return;
        }
        config.modules.append(module);
    }
}

void readBootloader(SimBenchEntry& reader, SimDriverCore& core, QString* error)
{
    if (reader.failed() || !reader.has("bootloader"))
        return;
    const QJsonValue value = reader.entry().value(QStringLiteral("bootloader"));
    if (!value.isObject()) {
        reader.fail(QStringLiteral("\"bootloader\" must be an object"));
        return;
    }
    const QJsonObject object = value.toObject();
    SimBenchEntry bootloader(object, error);
    bootloader.onlyKeys({"device_id", "version", "core_end", "page_count", "system_type", "hardware_type",
        "idle_timeout_ms", "modules", "words", "in_bootloader"});
    SimBootloaderConfig config;
    bootloader.read("device_id", 0x3FFF, config.deviceId);
    bootloader.read("version", 0xFF, config.version);
    bootloader.read("core_end", SimDriverBootloader::FlashWords, config.coreEnd);
    if (const auto pages = bootloader.number("page_count", 1, 8))
        config.pageCount = quint8(*pages);
    bootloader.read("system_type", 0xFFF, config.systemType);
    bootloader.read("hardware_type", 0xFFF, config.hardwareType);
    bootloader.read("idle_timeout_ms", 3600000, config.idleTimeoutMs);
    const auto words = bootloader.numberMap("words", 0x803F, 0x3FFF);
    for (auto it = words.constBegin(); it != words.constEnd(); ++it) {
        if (it.key() >= SimDriverBootloader::FlashWords
            && it.key() < SimDriverBootloader::ConfigurationBase) {
            bootloader.fail(QStringLiteral("\"words\": %1 is neither program flash nor a configuration row")
                                .arg(it.key()));
            break;
        }
        config.words.insert(int(it.key()), quint16(it.value()));
    }
    if (bootloader.has("modules"))
        readModules(bootloader, object, config, error);
    bool inBootloader = false;
    bootloader.readBool("in_bootloader", inBootloader);
    if (bootloader.failed()) {
        reader.fail(error && !error->isEmpty() ? *error : QStringLiteral("\"bootloader\" cannot be used"));
        return;
    }
    core.setBootloader(config);
    if (inBootloader)
        core.restart();
}

} // namespace

void simFillDriverCore(SimBenchEntry& reader, SimDriverCore& core)
{
    const auto parameters = reader.numberMap("parameters", 0xFFFF, 0xFFFF);
    for (auto it = parameters.constBegin(); it != parameters.constEnd(); ++it)
        core.setParameter(quint16(it.key()), quint16(it.value()));
    const QByteArray unio = reader.bytes("unio_eeprom", 0x10000);
    for (int i = 0; i < unio.size(); ++i)
        core.setUnioByte(i, quint8(unio.at(i)));
    if (const auto address = reader.number("dali_short_address", 0, 63)) {
        SimDaliGearConfig config;
        config.shortAddress = int(*address);
        core.setDaliGear(std::make_shared<SimDaliGear>(config));
    }
    readBootloader(reader, core, reader.errorText());
    bool presmonde = false;
    reader.readBool("presmonde", presmonde);
    if (presmonde)
        core.enablePresmondeMemory();
}

} // namespace tarvesk::sim
