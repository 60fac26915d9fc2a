#pragma once

#include "sim_bus_model.h"
#include "sim_driver_bootloader.h"

#include <QByteArray>
#include <QMap>

#include <functional>
#include <memory>
#include <optional>

namespace tarvesk::sim {

class SimDaliGear;
struct SimDriverFaults;

// Who a simulated driver is.
struct SimDriverIdentity
{
    quint32 uid = 0x00A1B2C3;
    quint16 version = 276;
    quint16 productId = 20;
    quint16 oemId = 1;
    quint8 formFactor = 0;
};

// What a driver is inside, whichever bus reaches it: its identity, its
// parameter space (which the Wystrel frames of a DMX line, the Dorvane
// requests of a Dorvane port and the box parameter report all read and
// write), the RAM and EEPROM of its two Nordhune current-control chips, its
// UNI/O serial EEPROM and its DALI side. A value written one way reads back
// the other.
//
// Parameter space: the identity (version at 0; product and OEM id at 0x97 and
// 0x301 below version 270, at 0x3FF9 and 0x3FF8 from 270 on; the form factor
// in the high byte of 0x3FE3), whatever the
// bench adds, and the Nordhune RAM windows 0x4000 (chip 1) and 0x4200 (chip
// 2), 0x200 words each. A Nordhune EEPROM read leaves its answer word, bytes
// swapped, in 0x403E (chip 1) or 0x423E (chip 2).
//
// The driver runs its application or its bootloader. The application answers
// the prime unlock in special parameter 254; the start code after it restarts
// the driver into its bootloader, which answers only bootloader frames (see
// SimDriverBootloader) until it is told to start the application, or, with an
// idle time-out, until that long passed without a bootloader frame. A power
// cycle (restart) also starts in the bootloader, as a driver does after reset.
class SimDriverCore
{
public:
    static constexpr quint16 NordhuneRamBase = 0x4000;
    static constexpr quint16 NordhuneChipOffset = 0x200;
    static constexpr quint16 NordhuneAnswerRegister = 0x403E;
    static constexpr quint8 SpecialParameter = 0xFE;
    static constexpr quint16 PrimeUnlockCode = 0x00C3;
    static constexpr quint16 StartBootloaderCode = 0x00E6;
    static constexpr quint16 DumpBufferCode = 0x00B7;
    static constexpr quint16 FlashTargetParameter = 0x740;
    static constexpr quint16 BufferParameter = 0x741;
    static constexpr quint16 WideAccessFlag = 0x4000;
    static constexpr int BufferBytes = 48;
    static constexpr quint16 DumpStatusParameter = 7864;
    static constexpr quint16 FirstProfileWord = 0x3CA0;
    static constexpr quint16 LastProfileWord = 0x3D1F;
    static constexpr quint8 DumpRefused = 1;

    explicit SimDriverCore(const SimDriverIdentity& identity = SimDriverIdentity());
    ~SimDriverCore();

    quint32 uid() const { return _uid; }
    void setUid(quint32 uid) { _uid = uid; }

    // Adds the memory of a Presmonde driver (above); the parameters it names
    // that the driver does not hold yet start at 0.
    void enablePresmondeMemory();
    bool hasPresmondeMemory() const { return _presmonde; }
    int dumps() const { return _dumps; }

    bool readParameter(quint16 number, quint16& value) const;
    // False (nothing written) outside the parameter space.
    bool writeParameter(quint16 number, quint16 value);
    // Adds a parameter to the space or sets it.
    void setParameter(quint16 number, quint16 value) { _parameters.insert(number, value); }
    quint16 parameter(quint16 number) const { return _parameters.value(number, 0); }
    // Parameter numbers below 256 in order: the list a find-next walk goes through.
    QList<quint16> findList() const;

    quint8 nordhuneEeprom(int chip, int address) const;
    void setNordhuneEeprom(int chip, int address, quint8 value);
    quint8 unioByte(int address) const { return _unio.value(address, 0xFF); }
    void setUnioByte(int address, quint8 value) { _unio.insert(address, value); }

    void setDaliGear(std::shared_ptr<SimDaliGear> gear) { _daliGear = std::move(gear); }
    SimDaliGear* daliGear() const { return _daliGear.get(); }

    // Writes into special parameter 254: the prime unlock is acknowledged, the
    // start code after it counts a bootloader start (the driver then stays
    // silent: true is returned only for codes it answers).
    bool writeSpecial(quint16 value);
    int primeUnlocks() const { return _primeUnlocks; }
    int bootloaderStarts() const { return _bootloaderStarts; }
    quint16 lastSpecialValue() const { return _lastSpecial; }

    // One Wystrel command frame meant for this driver (checksum and addressing
    // already checked): the answer frame with its checksum, or nothing. The
    // faults are those of the bootloader's row writes.
    std::optional<QByteArray> wystrelCommand(const QByteArray& frame, SimDriverFaults* faults = nullptr);
    // The last Wystrel frame that reached this driver, as it came, and how many did.
    QByteArray lastFrame() const { return _lastFrame; }
    int frameCount() const { return _frameCount; }

    SimDriverBootloader& bootloader() { return _bootloader; }
    void setBootloader(const SimBootloaderConfig& config) { _bootloader = SimDriverBootloader(config); }
    bool inBootloader() const;
    // A power cycle: the driver starts in its bootloader.
    void restart();
    int applicationStarts() const { return _applicationStarts; }
    // The time the idle time-out is measured in (milliseconds, any origin);
    // a steady clock unless a test gives another.
    void setClock(std::function<qint64()> nowMs) { _nowMs = std::move(nowMs); }
    // True once after the row write that the unplug fault counts down to.
    bool takeUnplugRequest();
    // One 5-byte SPI frame for a Nordhune chip or the UNI/O EEPROM: the 5 answer
    // bytes (bit 0x02 of the last set when nothing answered).
    QByteArray spiFrame(const QByteArray& spi, int chip);

private:
    std::optional<QByteArray> daliPassThrough(const QByteArray& frame);
    std::optional<quint16> readPresmonde(quint16 number) const;
    bool writePresmonde(quint16 number, quint16 value);
    void dumpBuffer();
    std::optional<QByteArray> bootloaderFrame(const QByteArray& frame, SimDriverFaults* faults);
    void enterBootloader();
    QByteArray unioFrame(const QByteArray& spi);

    quint32 _uid;
    QMap<quint16, quint16> _parameters;
    QMap<int, quint8> _nordhuneEeprom[2];
    QMap<int, quint8> _unio;
    bool _unioWriteEnabled = false;
    std::shared_ptr<SimDaliGear> _daliGear;
    bool _unlocked = false;
    int _primeUnlocks = 0;
    int _bootloaderStarts = 0;
    quint16 _lastSpecial = 0;
    QByteArray _lastFrame;
    int _frameCount = 0;
    SimDriverBootloader _bootloader;
    bool _inBootloader = false;
    qint64 _lastBootloaderFrameMs = 0;
    int _applicationStarts = 0;
    bool _unplugRequested = false;
    std::function<qint64()> _nowMs;
    bool _presmonde = false;
    quint8 _flashTarget = 0;
    QByteArray _buffer = QByteArray(BufferBytes, '\0');
    quint8 _dumpStatus = 0;
    int _dumps = 0;
};

// Applies the answer faults of a driver to one answer frame: none when it stays
// silent, a corrupted checksum, or the error flag (checksum kept right).
std::optional<QByteArray> simApplyFaults(SimDriverFaults& faults, std::optional<QByteArray> answer);

// The answer frame to a Wystrel command: the command's first bytes with the
// direction bit turned, four data bytes and the checksum.
QByteArray simWystrelAnswer(
    const QByteArray& command, quint8 b4, quint8 b5, quint8 b6, quint8 b7, bool error = false);
// Sets the checksum of a Wystrel frame (the sum of every byte before the last).
void simWystrelChecksum(QByteArray& frame);
bool simWystrelChecksumValid(const QByteArray& frame);

} // namespace tarvesk::sim
