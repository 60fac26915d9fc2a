#pragma once

#include "sim_bus_model.h"

#include <QMap>

namespace tarvesk::sim {

// A logic module that the box's Dorvane controller reaches over SPI as its
// master. A first-generation (DV1) module answers RAM reads of 16 bits
// (0x66 0x15 address: the word big-endian in answer bytes 1 and 3) and RAM
// writes of 8 bits (0x68 0x13 address value), and keeps its EEPROM behind the
// RAM mailbox (RAM 5 the value, RAM 2 = 64, then RAM 3 the address) and on
// UNI/O. A second-generation (DV2) module answers the host commands addressed
// to its index (1..8): reads (the bytes from answer byte 0), writes, status;
// its EEPROM sits behind RAM 80 (1 read, 3 write), 82 (address) and 84 (data).
class SimDorvaneSlaveModule : public SimBusModel
{
public:
    enum class Generation { Dv1, Dv2 };

    SimDorvaneSlaveModule(Generation generation, int index);
    ~SimDorvaneSlaveModule() override;

    Generation generation() const { return _generation; }
    int index() const { return _index; }
    quint8 ram(int address) const { return _ram.value(address, 0); }
    void setRam(int address, quint8 value) { _ram.insert(address, value); }
    // A word stored big-endian at address and address + 1.
    void setRamWord(int address, quint16 value);
    quint8 eeprom(int address) const { return _eeprom.value(address, 0xFF); }
    void setEeprom(int address, quint8 value) { _eeprom.insert(address, value); }
    // Answers are left out (the controller then reports that no module answered).
    void setSilent(bool silent) { _silent = silent; }

    Bus bus() const override { return Dorvane; }
    QString modelName() const override
    {
        return _generation == Generation::Dv1 ? QStringLiteral("dv1_slave") : QStringLiteral("dv2_slave");
    }
    std::optional<QByteArray> slaveSpiFrame(const QByteArray& spi, int chip) override;

private:
    std::optional<QByteArray> dv1Frame(const QByteArray& spi);
    std::optional<QByteArray> dv2Frame(const QByteArray& spi);
    void writeRam(int address, quint8 value);
    std::optional<QByteArray> unioFrame(const QByteArray& spi);

    const Generation _generation;
    const int _index;
    QMap<int, quint8> _ram;
    QMap<int, quint8> _eeprom;
    bool _unioWriteEnabled = false;
    bool _silent = false;
};

} // namespace tarvesk::sim
