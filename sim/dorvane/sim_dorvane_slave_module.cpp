#include "sim_dorvane_slave_module.h"

namespace tarvesk::sim {

namespace {

constexpr quint8 Dv1ReadRam16 = 0x66;
constexpr quint8 Dv1WriteRam8 = 0x68;
// UNI/O frames start with 0x70 | write count << 2 | read count; DV2 host
// commands with 0x40 | the address' high part.
constexpr quint8 KindMask = 0xF0, UnioMark = 0x70, Dv2Mark = 0x40;
enum Unio : quint8 { UNIO_READ = 0x03, UNIO_WRITE = 0x6C, UNIO_ERAL = 0x6D, UNIO_WREN = 0x96 };
enum Dv2Command : int { DV2_QUERY = 0, DV2_READ = 1, DV2_WRITE = 2, DV2_STATUS = 3 };
// The EEPROM mailboxes in RAM.
constexpr int Dv1Value = 5, Dv1Command = 2, Dv1Address = 3, Dv1WriteCommand = 64;
constexpr int Dv2Command = 80, Dv2Address = 82, Dv2Data = 84;
constexpr quint8 Dv2ReadEeprom = 1, Dv2WriteEeprom = 3;

quint8 byteAt(const QByteArray& bytes, int i)
{
    return i < bytes.size() ? quint8(bytes.at(i)) : 0;
}

} // namespace

SimDorvaneSlaveModule::SimDorvaneSlaveModule(Generation generation, int index)
    : _generation(generation)
    , _index(index)
{ }

SimDorvaneSlaveModule::~SimDorvaneSlaveModule() = default;

void SimDorvaneSlaveModule::setRamWord(int address, quint16 value)
{
    _ram.insert(address, quint8(value >> 8));
    _ram.insert(address + 1, quint8(value & 0xFF));
}

void SimDorvaneSlaveModule::writeRam(int address, quint8 value)
{
    _ram.insert(address, value);
    if (_generation == Generation::Dv1 && address == Dv1Address && ram(Dv1Command) == Dv1WriteCommand)
        _eeprom.insert(value, ram(Dv1Value));
    if (_generation == Generation::Dv2 && address == Dv2Command) {
        if (value == Dv2ReadEeprom)
            _ram.insert(Dv2Data, eeprom(ram(Dv2Address)));
        else if (value == Dv2WriteEeprom)
            _eeprom.insert(ram(Dv2Address), ram(Dv2Data));
    }
}

std::optional<QByteArray> SimDorvaneSlaveModule::slaveSpiFrame(const QByteArray& spi, int)
{
    if (_silent)
        return std::nullopt;
    if ((byteAt(spi, 0) & KindMask) == UnioMark)
        return unioFrame(spi);
    if (_generation == Generation::Dv2)
        return (byteAt(spi, 0) & KindMask) == Dv2Mark ? dv2Frame(spi) : std::nullopt;
    return dv1Frame(spi);
}

std::optional<QByteArray> SimDorvaneSlaveModule::dv1Frame(const QByteArray& spi)
{
    QByteArray answer(5, '\0');
    const int address = byteAt(spi, 2);
    switch (byteAt(spi, 0)) {
    case Dv1ReadRam16:
        answer[1] = char(ram(address));
        answer[3] = char(ram(address + 1));
        return answer;
    case Dv1WriteRam8:
        writeRam(address, byteAt(spi, 3));
        return answer;
    default:
        return std::nullopt;
    }
}

// A host command: byte 0 bits 0-3 the address' high part, bit 6 set; byte 1
// bits 5-7 its low part, bits 3-4 the command, bits 0-2 the length less one;
// the register and the data follow.
std::optional<QByteArray> SimDorvaneSlaveModule::dv2Frame(const QByteArray& spi)
{
    const int address = (byteAt(spi, 0) & 0x0F) * 8 + (byteAt(spi, 1) >> 5);
    const int command = (byteAt(spi, 1) >> 3) & 3;
    const int count = (byteAt(spi, 1) & 7) + 1;
    QByteArray answer(5, '\0');
    if (command == DV2_STATUS)
        return answer; // every module takes the status command
    if (address != _index)
        return std::nullopt;
    const int reg = byteAt(spi, 2);
    switch (command) {
    case DV2_READ:
        for (int i = 0; i < qMin(count, 2); ++i)
            answer[i] = char(ram(reg + i));
        return answer;
    case DV2_WRITE:
        for (int i = 0; i < qMin(count, 2); ++i)
            writeRam(reg + i, byteAt(spi, 3 + i));
        return answer;
    default:
        return answer;
    }
}

std::optional<QByteArray> SimDorvaneSlaveModule::unioFrame(const QByteArray& spi)
{
    const int address = byteAt(spi, 2) << 8 | byteAt(spi, 3);
    QByteArray answer(5, '\0');
    switch (byteAt(spi, 1)) {
    case UNIO_READ:
        answer[1] = char(eeprom(address));
        answer[3] = char(eeprom(address + 1));
        break;
    case UNIO_WREN:
        _unioWriteEnabled = true;
        break;
    case UNIO_WRITE:
        if (_unioWriteEnabled)
            _eeprom.insert(address, byteAt(spi, 4));
        _unioWriteEnabled = false;
        break;
    case UNIO_ERAL:
        if (_unioWriteEnabled)
            _eeprom.clear();
        _unioWriteEnabled = false;
        break;
    default:
        break;
    }
    return answer;
}

} // namespace tarvesk::sim
