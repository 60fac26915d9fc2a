#pragma once

#include "protocol/dali/dali_command_table.h"

#include <QByteArray>
#include <QMap>

#include <optional>
#include <vector>

namespace tarvesk::sim {

// The memory banks of one control gear (IEC 62386-102). Every bank begins with
// the address of its last accessible location (location 0); bank 0 holds the
// gear's identity and is read-only; every other bank has an indicator byte
// (location 1) and a lock byte (location 2): the bank's other locations take
// writes only while the lock byte holds 0x55.
//
// The D4i banks follow their parts of IEC 62386: d4iWritable() gives which of
// their locations take writes, and the energy banks 202 to 204 latch: while
// their lock byte holds 0xAA, reads give the data as it was when the latch
// was set. A counter of a bank may advance at every read of that bank, as a
// metering gear's energy does, so that a value read byte by byte without the
// latch can tear.
class SimDaliMemoryBanks
{
public:
    static constexpr quint8 LockByteLocation = proto::DaliCommandTable::LockByteLocation;
    static constexpr quint8 Unlocked = proto::DaliCommandTable::UnlockValue;
    static constexpr quint8 LockedAtPowerUp = proto::DaliCommandTable::LockedValue;
    static constexpr quint8 Latched = proto::DaliCommandTable::LatchValue;

    // Identity fields of bank 0.
    struct Identity
    {
        quint64 gtin = 0x0012345678901ull; // 6 bytes, most significant first
        quint8 firmwareMajor = 1;
        quint8 firmwareMinor = 0;
        quint64 identificationNumber = 1; // 8 bytes
        quint8 hardwareMajor = 1;
        quint8 hardwareMinor = 0;
    };

    SimDaliMemoryBanks();

    void setIdentity(const Identity& identity);
    // A bank whose data starts at location 3; `writable` says which data bytes
    // take writes (all of them when empty). Replaces a bank of that number.
    void addBank(quint8 number, const QByteArray& data, const std::vector<bool>& writable = {});
    bool hasBank(quint8 number) const { return _banks.contains(number); }
    // Which data bytes (from location 3 on) of a D4i bank of that size take
    // writes; nothing for a bank that is not one of 201 to 207.
    static std::optional<std::vector<bool>> d4iWritable(quint8 number, int dataSize);
    // The big-endian number of `length` bytes at `location` grows by `step`
    // after every read of its bank. False when the bank lacks those locations.
    bool setAdvancingCounter(quint8 bank, quint8 location, quint8 length, quint64 step);

    // The content of an implemented location (as latched, while the bank is), or nothing.
    std::optional<quint8> read(quint8 bank, quint8 location);
    // Stores the value when the location takes it and returns what it holds then; nothing otherwise.
    std::optional<quint8> write(quint8 bank, quint8 location, quint8 value);
    // RESET MEMORY BANK: the writable locations of one bank (0: of all) get their first contents back.
    void reset(quint8 bank);
    // Mains power cycle: every bank locks again.
    void powerUp();

private:
    struct Bank
    {
        QByteArray bytes; // from location 0
        QByteArray initial;
        std::vector<bool> writable;
        std::vector<bool> implemented;
        QByteArray latched; // the bytes at the latch; empty while not latched
        quint8 counterLocation = 0;
        quint8 counterLength = 0; // 0: no advancing counter
        quint64 counterStep = 0;
    };

    static bool latches(quint8 number) { return number >= 202 && number <= 204; }
    static void advance(Bank& bank);

    void rebuildBank0();

    Identity _identity;
    QMap<quint8, Bank> _banks;
};

} // namespace tarvesk::sim
