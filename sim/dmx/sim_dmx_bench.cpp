#include "sim_dmx_bench.h"

#include "drivers/sim_driver_bench.h"
#include "sim_bench_entry.h"
#include "sim_rdm_responder.h"
#include "sim_wystrel_driver.h"

#include <QJsonArray>

namespace tarvesk::sim {

namespace {

void readIdentity(SimBenchEntry& reader, SimDriverIdentity& identity)
{
    reader.read("uid", 0xFFFFFFFF, identity.uid);
    reader.read("version", 0xFFFF, identity.version);
    reader.read("product_id", 0xFFFF, identity.productId);
    reader.read("oem_id", 0xFFFF, identity.oemId);
}

} // namespace

std::shared_ptr<SimBusModel> createWystrelDriverFromBench(const QJsonObject& entry, QString* error)
{
    SimBenchEntry reader(entry, error);
    reader.onlyKeys({"uid", "version", "product_id", "oem_id", "skip_position", "local_id", "parameters",
        "unio_eeprom", "dali_short_address", "faults", "bootloader", "presmonde"});
    SimWystrelDriver::Config config;
    readIdentity(reader, config.identity);
    reader.read("skip_position", 0xFF, config.skipPosition);
    reader.read("local_id", 0xFFFF, config.localId);
    config.faults = reader.faults();
    auto driver = std::make_shared<SimWystrelDriver>(config);
    simFillDriverCore(reader, driver->core());
    return reader.failed() ? nullptr : driver;
}

std::shared_ptr<SimBusModel> createRdmResponderFromBench(const QJsonObject& entry, QString* error)
{
    SimBenchEntry reader(entry, error);
    reader.onlyKeys({"uid", "device_model_id", "software_version", "model_description", "manufacturer_label",
        "device_label", "sensors", "faults"});
    SimRdmResponder::Config config;
    reader.read("uid", 0xFFFFFFFFFFFEull, config.uid);
    reader.read("device_model_id", 0xFFFF, config.deviceModelId);
    reader.read("software_version", 0xFFFFFFFF, config.softwareVersion);
    reader.readText("model_description", config.modelDescription);
    reader.readText("manufacturer_label", config.manufacturerLabel);
    reader.readText("device_label", config.deviceLabel);
    config.faults = reader.faults();
    if (reader.has("sensors")) {
        const QJsonValue sensors = entry.value(QStringLiteral("sensors"));
        if (!sensors.isArray())
            reader.fail(QStringLiteral("\"sensors\" must be a list"));
        for (const QJsonValue& item : sensors.toArray()) {
            const QJsonObject object = item.toObject();
            SimBenchEntry sensorReader(object, error);
            sensorReader.onlyKeys({"type", "unit", "prefix", "value", "description"});
            SimRdmResponder::Sensor sensor;
            sensorReader.read("type", 0xFF, sensor.type);
            sensorReader.read("unit", 0xFF, sensor.unit);
            sensorReader.read("prefix", 0xFF, sensor.prefix);
            if (sensorReader.has("value")) {
                // E1.20 sensor values are signed 16-bit.
                const QJsonValue value = object.value(QStringLiteral("value"));
                const double number = value.toDouble();
                if (!value.isDouble() || number != double(qint64(number)) || number < -32768
                    || number > 32767)
                    sensorReader.fail(
                        QStringLiteral("\"value\" must be a whole number from -32768 to 32767"));
                else
                    sensor.value = qint16(number);
            }
            sensorReader.readText("description", sensor.description);
            if (!item.isObject() || sensorReader.failed()) {
                reader.fail(
                    error && !error->isEmpty() ? *error : QStringLiteral("a sensor must be an object"));
                break;
            }
            config.sensors.append(sensor);
        }
    }
    if (config.sensors.size() > 255)
        reader.fail(QStringLiteral("at most 255 sensors"));
    return reader.failed() ? nullptr : std::make_shared<SimRdmResponder>(config);
}

} // namespace tarvesk::sim
