#include "sim_dali_memory_banks.h"

namespace tarvesk::sim {

namespace {

constexpr int FirstDataLocation = 3;
constexpr quint8 Version20 = 0x08; // version 2.0, as 6 bits major and 2 bits minor
constexpr quint8 NotImplemented = 0xFF;

void appendBigEndian(QByteArray& bytes, quint64 value, int count)
{
    for (int i = count - 1; i >= 0; --i)
        bytes.append(char(value >> (8 * i)));
}

} // namespace

SimDaliMemoryBanks::SimDaliMemoryBanks()
{
    rebuildBank0();
}

void SimDaliMemoryBanks::setIdentity(const Identity& identity)
{
    _identity = identity;
    rebuildBank0();
}

void SimDaliMemoryBanks::rebuildBank0()
{
    QByteArray bytes;
    bytes.append(char(0)); // last accessible location, set below
    bytes.append(char(0)); // reserved, not implemented
    quint8 lastBank = 0;
    for (auto it = _banks.constBegin(); it != _banks.constEnd(); ++it)
        lastBank = qMax(lastBank, it.key());
    bytes.append(char(lastBank));
    appendBigEndian(bytes, _identity.gtin, 6);
    bytes.append(char(_identity.firmwareMajor));
    bytes.append(char(_identity.firmwareMinor));
    appendBigEndian(bytes, _identity.identificationNumber, 8);
    bytes.append(char(_identity.hardwareMajor));
    bytes.append(char(_identity.hardwareMinor));
    bytes.append(char(Version20));      // IEC 62386-101 version
    bytes.append(char(Version20));      // IEC 62386-102 version
    bytes.append(char(NotImplemented)); // IEC 62386-103 version: no control device
    bytes.append(char(0));              // logical control device units
    bytes.append(char(1));              // logical control gear units
    bytes.append(char(0));              // index of this unit
    bytes[0] = char(bytes.size() - 1);

    Bank bank;
    bank.bytes = bytes;
    bank.initial = bytes;
    bank.writable.assign(bytes.size(), false);
    bank.implemented.assign(bytes.size(), true);
    bank.implemented[1] = false;
    _banks.insert(0, bank);
}

void SimDaliMemoryBanks::addBank(quint8 number, const QByteArray& data, const std::vector<bool>& writable)
{
    if (number == 0)
        return; // bank 0 is made from the identity
    Bank bank;
    bank.bytes.append(char(FirstDataLocation - 1 + data.size()));
    bank.bytes.append(char(0)); // indicator byte
    bank.bytes.append(char(LockedAtPowerUp));
    bank.bytes.append(data);
    bank.initial = bank.bytes;
    bank.implemented.assign(bank.bytes.size(), true);
    bank.writable.assign(bank.bytes.size(), false);
    bank.writable[LockByteLocation] = true;
    for (int i = 0; i < data.size(); ++i)
        bank.writable[FirstDataLocation + i] = writable.empty() || (i < int(writable.size()) && writable[i]);
    _banks.insert(number, bank);
    rebuildBank0();
}

std::optional<std::vector<bool>> SimDaliMemoryBanks::d4iWritable(quint8 number, int dataSize)
{
    // Locations that take writes, as [first, last] ranges; location 3 (the
    // bank's version) never does.
    std::vector<std::pair<int, int>> ranges;
    switch (number) {
    case 201: // the bus power supply's status
        ranges = {{6, 6}};
        break;
    case 202: // energy, power and diagnostics are the gear's own
    case 203:
    case 204:
    case 205:
        break;
    case 206: // the resettable start counter and on time
        ranges = {{4, 6}, {10, 13}};
        break;
    case 207: // luminaire maintenance data
        ranges = {{4, 7}};
        break;
    default:
        return std::nullopt;
    }
    std::vector<bool> writable(dataSize, false);
    for (const auto& [first, last] : ranges) {
        for (int location = first; location <= last; ++location) {
            if (location - FirstDataLocation < dataSize)
                writable[location - FirstDataLocation] = true;
        }
    }
    return writable;
}

bool SimDaliMemoryBanks::setAdvancingCounter(quint8 bank, quint8 location, quint8 length, quint64 step)
{
    const auto it = _banks.find(bank);
    if (it == _banks.end() || length == 0 || length > 8 || location < FirstDataLocation
        || location + length > it->bytes.size())
        return false;
    it->counterLocation = location;
    it->counterLength = length;
    it->counterStep = step;
    return true;
}

void SimDaliMemoryBanks::advance(Bank& bank)
{
    if (bank.counterLength == 0)
        return;
    quint64 value = 0;
    for (int i = 0; i < bank.counterLength; ++i)
        value = (value << 8) | quint8(bank.bytes.at(bank.counterLocation + i));
    value += bank.counterStep;
    for (int i = bank.counterLength - 1; i >= 0; --i, value >>= 8)
        bank.bytes[bank.counterLocation + i] = char(value & 0xFF);
}

std::optional<quint8> SimDaliMemoryBanks::read(quint8 bank, quint8 location)
{
    const auto it = _banks.find(bank);
    if (it == _banks.end() || location >= it->bytes.size() || !it->implemented[location])
        return std::nullopt;
    const bool fromLatch = !it->latched.isEmpty() && location >= FirstDataLocation;
    const quint8 value = quint8((fromLatch ? it->latched : it->bytes).at(location));
    advance(*it);
    return value;
}

std::optional<quint8> SimDaliMemoryBanks::write(quint8 bank, quint8 location, quint8 value)
{
    const auto it = _banks.find(bank);
    if (it == _banks.end() || location >= it->bytes.size() || !it->writable[location])
        return std::nullopt;
    const bool unlocked = quint8(it->bytes.at(LockByteLocation)) == Unlocked;
    if (location != LockByteLocation && !unlocked)
        return std::nullopt;
    it->bytes[location] = char(value);
    if (location == LockByteLocation && latches(bank))
        it->latched = value == Latched ? it->bytes : QByteArray();
    return value;
}

void SimDaliMemoryBanks::reset(quint8 bank)
{
    for (auto it = _banks.begin(); it != _banks.end(); ++it) {
        if (bank != 0 && it.key() != bank)
            continue;
        for (int i = FirstDataLocation; i < it->bytes.size(); ++i) {
            if (it->writable[i])
                it->bytes[i] = it->initial[i];
        }
    }
}

void SimDaliMemoryBanks::powerUp()
{
    for (auto it = _banks.begin(); it != _banks.end(); ++it) {
        if (it.key() != 0)
            it->bytes[LockByteLocation] = char(LockedAtPowerUp);
        it->latched.clear();
    }
}

} // namespace tarvesk::sim
