#include "sim_driver_core.h"

#include "dali/sim_dali_gear.h"
#include "sim_driver_faults.h"

#include <QElapsedTimer>

namespace tarvesk::sim {

namespace {

// Command byte: bits 0-2 the command code, bit 3 normal (clear in a skip
// frame), bit 4 sub-command, bit 6 error, bit 7 direction.
constexpr quint8 CodeMask = 0x07;
constexpr quint8 SubCommand = 0x10;
constexpr quint8 ErrorBit = 0x40;
// Byte 4 of a bootloader frame: extended, read, write (0 is the DALI pass-through).
constexpr quint8 FirstBootloaderCommand = 0xFD;
constexpr quint8 DirectionBit = 0x80;
enum Code : quint8 { GUID = 0, WSNUM = 1, SPI = 3, READ = 5, WRITE = 6 };
constexpr quint8 BootLoaderClass = 0; // with the sub-command bit
constexpr quint8 FindClass = 5;       // with the sub-command bit

constexpr int VersionThreshold = 270;
constexpr quint16 OldProductId = 0x97, NewProductId = 0x3FF9;
constexpr quint16 OldOemId = 0x301, NewOemId = 0x3FF8;
constexpr quint16 FormFactorWord = 0x3FE3; // the form factor in the high byte
constexpr quint16 NordhuneWindowEnd = SimDriverCore::NordhuneRamBase + 2 * SimDriverCore::NordhuneChipOffset;

// SPI answer bytes: bit 0x02 of the last one says the module gave no answer.
constexpr quint8 NoModuleAnswer = 0x02;
constexpr quint8 UnioMask = 0xF0, UnioMark = 0x70;
enum Unio : quint8 {
    UNIO_READ = 0x03,
    UNIO_RDSR = 0x05,
    UNIO_WRITE = 0x6C,
    UNIO_ERAL = 0x6D,
    UNIO_WRDI = 0x91,
    UNIO_WREN = 0x96
};
enum Eeprom : quint8 { EE_READ8 = 0xE0, EE_READ16 = 0xE1, EE_WRITE8 = 0xE2, EE_WRITE16 = 0xE3 };

quint8 byteAt(const QByteArray& bytes, int i)
{
    return i < bytes.size() ? quint8(bytes.at(i)) : 0;
}

QByteArray silentModule()
{
    QByteArray answer(5, '\0');
    answer[4] = char(NoModuleAnswer);
    return answer;
}

} // namespace

void simWystrelChecksum(QByteArray& frame)
{
    if (frame.isEmpty())
        return;
    quint8 sum = 0;
    for (int i = 0; i < frame.size() - 1; ++i)
        sum = quint8(sum + quint8(frame.at(i)));
    frame[frame.size() - 1] = char(sum);
}

bool simWystrelChecksumValid(const QByteArray& frame)
{
    if (frame.size() < 2)
        return false;
    QByteArray copy = frame;
    simWystrelChecksum(copy);
    return copy == frame;
}

std::optional<QByteArray> simApplyFaults(SimDriverFaults& faults, std::optional<QByteArray> answer)
{
    if (!answer)
        return std::nullopt;
    if (SimDriverFaults::take(faults.silent))
        return std::nullopt;
    if (SimDriverFaults::take(faults.errorFlag)) {
        (*answer)[1] = char(quint8(answer->at(1)) | ErrorBit);
        simWystrelChecksum(*answer);
    }
    if (SimDriverFaults::take(faults.badChecksum))
        (*answer)[answer->size() - 1] = char(quint8(answer->back()) + 1);
    return answer;
}

QByteArray simWystrelAnswer(const QByteArray& command, quint8 b4, quint8 b5, quint8 b6, quint8 b7, bool error)
{
    QByteArray answer = command.left(4).leftJustified(4, '\0');
    answer[1] = char(quint8(answer.at(1)) ^ DirectionBit);
    if (error)
        answer[1] = char(quint8(answer.at(1)) | ErrorBit);
    for (quint8 b : {b4, b5, b6, b7, quint8(0)})
        answer.append(char(b));
    simWystrelChecksum(answer);
    return answer;
}

SimDriverCore::SimDriverCore(const SimDriverIdentity& identity)
    : _uid(identity.uid)
    , _nowMs([] {
        static QElapsedTimer steady = [] {
            QElapsedTimer timer;
            timer.start();
            return timer;
        }();
        return steady.elapsed();
    })
{
    const bool newLayout = identity.version >= VersionThreshold;
    _parameters.insert(0, identity.version);
    _parameters.insert(newLayout ? NewProductId : OldProductId, identity.productId);
    _parameters.insert(newLayout ? NewOemId : OldOemId, identity.oemId);
    _parameters.insert(FormFactorWord, quint16(identity.formFactor << 8));
}

SimDriverCore::~SimDriverCore() = default;

void SimDriverCore::enablePresmondeMemory()
{
    _presmonde = true;
    // A driver leaves the factory with an empty profile: zero words, not erased flash.
    for (int word = FirstProfileWord; word <= LastProfileWord; ++word) {
        if (_bootloader.word(word) == SimDriverBootloader::ErasedWord)
            _bootloader.setWord(word, 0);
    }
    for (quint16 number : {1, 10, 11, 12, 13, 52, 81, 105, 180, 181, 16358, 16361}) {
        if (!_parameters.contains(number))
            _parameters.insert(number, 0);
    }
}

std::optional<quint16> SimDriverCore::readPresmonde(quint16 number) const
{
    if (number >= FirstProfileWord && number <= LastProfileWord)
        return _bootloader.word(number);
    if (number == DumpStatusParameter)
        return _dumpStatus;
    if ((number & ~WideAccessFlag) == FlashTargetParameter)
        return _flashTarget;
    const int index = (number & ~WideAccessFlag) - BufferParameter;
    if (index < 0 || index >= BufferBytes)
        return std::nullopt;
    const quint16 low = quint8(_buffer.at(index));
    const bool wide = number & WideAccessFlag;
    return wide && index + 1 < BufferBytes ? quint16(low | quint8(_buffer.at(index + 1)) << 8) : low;
}

bool SimDriverCore::writePresmonde(quint16 number, quint16 value)
{
    if ((number & ~WideAccessFlag) == FlashTargetParameter) {
        _flashTarget = quint8(value);
        return true;
    }
    const int index = (number & ~WideAccessFlag) - BufferParameter;
    const bool wide = number & WideAccessFlag;
    if (index < 0 || index + (wide ? 1 : 0) >= BufferBytes)
        return false;
    _buffer[index] = char(value & 0xFF);
    if (wide)
        _buffer[index + 1] = char(value >> 8);
    return true;
}

void SimDriverCore::dumpBuffer()
{
    ++_dumps;
    // Region r lies at 0x3C00 + 16 * r; only the four profile rows take a dump.
    const int row = 0x3C00 + 16 * _flashTarget;
    if (_flashTarget < 10 || _flashTarget > 16 || _flashTarget % 2 != 0) {
        _dumpStatus = DumpRefused;
        return;
    }
    for (int i = 0; i < 45; i += 3) {
        const quint8 b0 = quint8(_buffer.at(i)), b1 = quint8(_buffer.at(i + 1)),
                     b2 = quint8(_buffer.at(i + 2));
        _bootloader.setWord(row + i / 3 * 2, quint16(b0 | (b2 & 0x0F) << 8));
        _bootloader.setWord(row + i / 3 * 2 + 1, quint16(b1 | (b2 & 0xF0) << 4));
    }
    _buffer.fill('\0');
    _dumpStatus = 0;
}

bool SimDriverCore::readParameter(quint16 number, quint16& value) const
{
    if (_presmonde) {
        if (const std::optional<quint16> presmonde = readPresmonde(number)) {
            value = *presmonde;
            return true;
        }
    }
    const auto it = _parameters.constFind(number);
    if (it != _parameters.constEnd()) {
        value = *it;
        return true;
    }
    if (number >= NordhuneRamBase && number < NordhuneWindowEnd) {
        value = 0;
        return true;
    }
    return false;
}

bool SimDriverCore::writeParameter(quint16 number, quint16 value)
{
    if (_presmonde && readPresmonde(number))
        return writePresmonde(number, value);
    quint16 unused = 0;
    if (!readParameter(number, unused))
        return false;
    _parameters.insert(number, value);
    return true;
}

QList<quint16> SimDriverCore::findList() const
{
    QList<quint16> numbers;
    for (auto it = _parameters.constBegin(); it != _parameters.constEnd() && it.key() < 256; ++it)
        numbers.append(it.key());
    return numbers;
}

quint8 SimDriverCore::nordhuneEeprom(int chip, int address) const
{
    return _nordhuneEeprom[chip == 2 ? 1 : 0].value(address, 0xFF);
}

void SimDriverCore::setNordhuneEeprom(int chip, int address, quint8 value)
{
    _nordhuneEeprom[chip == 2 ? 1 : 0].insert(address, value);
}

bool SimDriverCore::writeSpecial(quint16 value)
{
    _lastSpecial = value;
    if (value == PrimeUnlockCode) {
        _unlocked = true;
        ++_primeUnlocks;
        return true;
    }
    if (value == DumpBufferCode && _unlocked && _presmonde) {
        _unlocked = false;
        dumpBuffer();
        return true;
    }
    if (value == StartBootloaderCode && _unlocked) {
        _unlocked = false;
        ++_bootloaderStarts;
        enterBootloader();
        return false; // restarting into the bootloader: no answer
    }
    _unlocked = false;
    return true;
}

std::optional<QByteArray> SimDriverCore::daliPassThrough(const QByteArray& frame)
{
    if (byteAt(frame, 4) != 0)
        return std::nullopt; // a bootloader command: not modelled here
    std::optional<quint8> backward;
    if (_daliGear)
        backward = _daliGear->receive(frame.mid(5, 2));
    return simWystrelAnswer(frame, 0, backward.value_or(0), byteAt(frame, 6), backward ? 0x01 : 0x00);
}

void SimDriverCore::enterBootloader()
{
    _inBootloader = true;
    _lastBootloaderFrameMs = _nowMs();
}

void SimDriverCore::restart()
{
    _unlocked = false;
    enterBootloader();
}

bool SimDriverCore::inBootloader() const
{
    const int idle = _bootloader.idleTimeoutMs();
    return _inBootloader && (idle <= 0 || _nowMs() - _lastBootloaderFrameMs <= idle);
}

bool SimDriverCore::takeUnplugRequest()
{
    const bool requested = _unplugRequested;
    _unplugRequested = false;
    return requested;
}

std::optional<QByteArray> SimDriverCore::bootloaderFrame(const QByteArray& frame, SimDriverFaults* faults)
{
    _lastBootloaderFrameMs = _nowMs();
    const int rowsBefore = _bootloader.rowsWritten();
    bool startApplication = false;
    std::optional<QByteArray> answer = _bootloader.command(frame, faults, startApplication);
    if (startApplication) {
        _inBootloader = false;
        ++_applicationStarts;
    }
    if (faults && faults->unplugAfterRows > 0 && _bootloader.rowsWritten() > rowsBefore
        && --faults->unplugAfterRows == 0)
        _unplugRequested = true;
    return answer;
}

std::optional<QByteArray> SimDriverCore::wystrelCommand(const QByteArray& frame, SimDriverFaults* faults)
{
    _lastFrame = frame;
    ++_frameCount;
    if (frame.size() < 9)
        return std::nullopt;
    const quint8 command = byteAt(frame, 1);
    const quint8 code = command & CodeMask;
    const bool bootloaderCommand
        = (command & SubCommand) && code == BootLoaderClass && byteAt(frame, 4) >= FirstBootloaderCommand;
    if (_inBootloader && !inBootloader()) {
        // Idle too long: the bootloader started the application.
        _inBootloader = false;
        ++_applicationStarts;
    }
    if (_inBootloader)
        return bootloaderCommand ? bootloaderFrame(frame, faults) : std::nullopt;
    if (bootloaderCommand)
        return std::nullopt; // the application does not speak the bootloader's frames
    const quint16 number = quint16(byteAt(frame, 4) | byteAt(frame, 5) << 8);
    if (command & SubCommand) {
        if (code == BootLoaderClass)
            return daliPassThrough(frame);
        if (code == FindClass) {
            for (quint16 next : findList()) {
                if (next > number)
                    return simWystrelAnswer(
                        frame, quint8(next), 0, quint8(parameter(next) & 0xFF), quint8(parameter(next) >> 8));
            }
            return simWystrelAnswer(frame, 0, 0, 0, 0);
        }
        return std::nullopt;
    }
    switch (code) {
    case GUID:
        return simWystrelAnswer(
            frame, quint8(_uid >> 24), quint8(_uid >> 16), quint8(_uid >> 8), quint8(_uid));
    case WSNUM:
        _uid = quint32(byteAt(frame, 4)) << 24 | quint32(byteAt(frame, 5)) << 16
            | quint32(byteAt(frame, 6)) << 8 | byteAt(frame, 7);
        return simWystrelAnswer(
            frame, quint8(_uid >> 24), quint8(_uid >> 16), quint8(_uid >> 8), quint8(_uid));
    case SPI: {
        QByteArray answer = frame.left(3);
        answer.append(spiFrame(frame.mid(3, 5), byteAt(frame, 2) == 2 ? 2 : 1));
        answer[1] = char(command ^ DirectionBit);
        answer.append('\0');
        simWystrelChecksum(answer);
        return answer;
    }
    case READ: {
        quint16 value = 0;
        if (!readParameter(number, value))
            return simWystrelAnswer(frame, byteAt(frame, 4), byteAt(frame, 5), 0, 0, true);
        return simWystrelAnswer(
            frame, byteAt(frame, 4), byteAt(frame, 5), quint8(value & 0xFF), quint8(value >> 8));
    }
    case WRITE: {
        if (byteAt(frame, 4) == SpecialParameter) {
            // The special parameter takes its value big-endian in bytes 5 and 6.
            if (!writeSpecial(quint16(byteAt(frame, 5) << 8 | byteAt(frame, 6))))
                return std::nullopt;
            return simWystrelAnswer(
                frame, byteAt(frame, 4), byteAt(frame, 5), byteAt(frame, 6), byteAt(frame, 7));
        }
        const quint16 value = quint16(byteAt(frame, 6) | byteAt(frame, 7) << 8);
        const bool written = writeParameter(number, value);
        return simWystrelAnswer(
            frame, byteAt(frame, 4), byteAt(frame, 5), byteAt(frame, 6), byteAt(frame, 7), !written);
    }
    default:
        return std::nullopt;
    }
}

QByteArray SimDriverCore::spiFrame(const QByteArray& spi, int chip)
{
    const quint8 first = byteAt(spi, 0);
    if ((first & UnioMask) == UnioMark)
        return unioFrame(spi);
    const int address = byteAt(spi, 1) << 8 | byteAt(spi, 2);
    QByteArray answer(5, '\0');
    switch (first) {
    case EE_READ8:
    case EE_READ16: {
        // The chip leaves its answer in its answer register, bytes swapped.
        const quint16 low = nordhuneEeprom(chip, address);
        const quint16 value
            = first == EE_READ16 ? quint16(low | nordhuneEeprom(chip, address + 1) << 8) : low;
        const quint16 swapped = quint16(value << 8 | value >> 8);
        setParameter(quint16(NordhuneAnswerRegister + (chip == 2 ? NordhuneChipOffset : 0)), swapped);
        return answer;
    }
    case EE_WRITE16:
        setNordhuneEeprom(chip, address + 1, byteAt(spi, 4));
        Q_FALLTHROUGH();
    case EE_WRITE8:
        setNordhuneEeprom(chip, address, byteAt(spi, 3));
        return answer;
    default:
        return silentModule();
    }
}

// A UNI/O frame: byte 0 0x70 | write count << 2 | read count, byte 1 the
// instruction, then the address (high, low) and a data byte. Reads answer in
// the bytes the host takes: 1 byte in answer byte 3, 2 in bytes 1 and 3, 3 in 1 to 3.
QByteArray SimDriverCore::unioFrame(const QByteArray& spi)
{
    const int readCount = byteAt(spi, 0) & 0x03;
    const quint8 instruction = byteAt(spi, 1);
    const int address = byteAt(spi, 2) << 8 | byteAt(spi, 3);
    QByteArray answer(5, '\0');
    QByteArray read;
    switch (instruction) {
    case UNIO_READ:
        for (int i = 0; i < readCount; ++i)
            read.append(char(unioByte(address + i)));
        break;
    case UNIO_RDSR:
        read.append(char(_unioWriteEnabled ? 0x02 : 0x00));
        break;
    case UNIO_WREN:
        _unioWriteEnabled = true;
        break;
    case UNIO_WRDI:
        _unioWriteEnabled = false;
        break;
    case UNIO_WRITE:
        if (_unioWriteEnabled)
            setUnioByte(address, byteAt(spi, 4));
        _unioWriteEnabled = false;
        break;
    case UNIO_ERAL:
        if (_unioWriteEnabled)
            _unio.clear();
        _unioWriteEnabled = false;
        break;
    default:
        break;
    }
    if (read.size() == 1) {
        answer[3] = read.at(0);
    } else if (read.size() == 2) {
        answer[1] = read.at(0);
        answer[3] = read.at(1);
    } else if (read.size() == 3) {
        answer.replace(1, 3, read);
    }
    return answer;
}

} // namespace tarvesk::sim
