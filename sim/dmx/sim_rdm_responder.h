#pragma once

#include "drivers/sim_driver_faults.h"
#include "sim_bus_model.h"

#include <QList>
#include <QString>

namespace tarvesk::sim {

// An RDM responder on a DMX line (ANSI E1.20): it takes part in discovery
// (DISC_UNIQUE_BRANCH over a UID range, DISC_MUTE and DISC_UN_MUTE), and
// answers GET of DEVICE_INFO, DEVICE_MODEL_DESCRIPTION, MANUFACTURER_LABEL,
// DEVICE_LABEL, SENSOR_DEFINITION and SENSOR_VALUE; any other PID gets a
// NACK (unknown PID). Several responders answering one discovery request
// collide on the line, as the box reports them.
class SimRdmResponder : public SimBusModel
{
public:
    struct Sensor
    {
        quint8 type = 0;   // 0 temperature, 1 voltage, 2 current
        quint8 unit = 1;   // 1 degrees Celsius, 2 volts DC, 10 watts
        quint8 prefix = 0; // 1 deci, 2 centi, ...
        qint16 value = 0;
        QString description;
    };
    struct Config
    {
        quint64 uid = 0x7E2B00000042ull; // manufacturer id (16 bits), device id (32 bits)
        quint16 deviceModelId = 1;
        quint16 productCategory = 0x0509;
        quint32 softwareVersion = 0x00010000;
        quint16 footprint = 1;
        quint16 startAddress = 1;
        QString modelDescription = QStringLiteral("Simulated LED driver");
        QString manufacturerLabel = QStringLiteral("Tarvesk");
        QString deviceLabel;
        QList<Sensor> sensors;
        SimDriverFaults faults;
    };

    SimRdmResponder();
    explicit SimRdmResponder(const Config& config);
    ~SimRdmResponder() override;

    quint64 uid() const { return _config.uid; }
    bool isMuted() const { return _muted; }
    void setSensorValue(int index, qint16 value);
    SimDriverFaults& faults() { return _config.faults; }

    Bus bus() const override { return Dmx; }
    QString modelName() const override { return QStringLiteral("rdm_responder"); }
    std::optional<QByteArray> dmxFrame(const QByteArray& frame) override;

private:
    std::optional<QByteArray> discovery(const QByteArray& frame, quint16 pid);
    QByteArray get(const QByteArray& frame, quint16 pid);
    QByteArray response(
        const QByteArray& request, quint8 responseType, quint8 commandClass, const QByteArray& data) const;
    QByteArray discoveryResponse() const;

    Config _config;
    bool _muted = false;
};

} // namespace tarvesk::sim
