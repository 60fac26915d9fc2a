#include "sim_dorvane_controller.h"

#include "drivers/sim_driver_core.h"
#include "protocol/usb/vandrel_commands.h"

namespace tarvesk::sim {

namespace {

namespace vandrel = proto::vandrel;

constexpr quint8 StartCode = 0xD0;
constexpr quint8 SubCommand = 0x10;
constexpr quint8 ErrorBit = 0x40;
constexpr quint8 DirectionBit = 0x80;
enum Code : quint8 { SPI = 3, READ = 5, WRITE = 6 };
constexpr quint8 MemoryMarker = 8;
constexpr quint8 EepromBit = 0x80;
constexpr int MemoryFrameSize = 9;
constexpr quint16 ModeBits = 0x45;
constexpr quint8 NoModuleAnswer = 0x02;
constexpr quint8 TakeValue = 0x58;
constexpr quint8 ReadAddress = 0x59;
constexpr quint8 WriteSpecial = 0x5B;
constexpr quint8 BridgeControl = 0x0B;

quint8 byteAt(const QByteArray& bytes, int i)
{
    return i < bytes.size() ? quint8(bytes.at(i)) : 0;
}

SimBusModel* driverOf(const std::vector<std::shared_ptr<SimBusModel>>& models)
{
    for (const auto& model : models) {
        if (model->isDorvaneDriver())
            return model.get();
    }
    return nullptr;
}

QByteArray bytesOf(std::initializer_list<quint8> values)
{
    QByteArray bytes;
    for (quint8 b : values)
        bytes.append(char(b));
    return bytes;
}

} // namespace

SimDorvaneController::SimDorvaneController(bool swappedWords)
    : _swappedWords(swappedWords)
{ }

SimDorvaneController::Mode SimDorvaneController::modeFromRam() const
{
    switch (ramWord(ConfigAddress) & ModeBits) {
    case 0x04:
        return Mode::Dv1Device;
    case 0x05:
        return Mode::Dv1Host;
    case 0x40:
        return Mode::Dv2Device;
    case 0x41:
        return Mode::Dv2Host;
    default:
        return Mode::Off;
    }
}

SimDorvaneController::Mode SimDorvaneController::modeFromNumber(int number)
{
    switch (number) {
    case 1:
        return Mode::Dv1Host;
    case 2:
        return Mode::Dv1Device;
    case 3:
        return Mode::Dv2Host;
    case 4:
        return Mode::Dv2Device;
    case 5:
        return Mode::Dv2Log;
    default:
        return Mode::Off;
    }
}

// A request that could not be carried: the command with the error bit, still
// going the request's way, and the code in byte 6.
QByteArray SimDorvaneController::failure(const QByteArray& frame, quint8 code)
{
    QByteArray answer = frame.left(4).leftJustified(4, '\0');
    answer[1] = char(byteAt(frame, 1) | ErrorBit);
    answer.append(bytesOf({0, 0, code, 0, 0}));
    simWystrelChecksum(answer);
    return answer;
}

QByteArray SimDorvaneController::frame(
    const QByteArray& frame, Mode mode, const std::vector<std::shared_ptr<SimBusModel>>& models)
{
    if (byteAt(frame, 0) != StartCode)
        return failure(frame, vandrel::VDERR_STARTCODE);
    if (frame.size() < 6 || !simWystrelChecksumValid(frame))
        return failure(frame, vandrel::VDERR_CHECKSUM);
    const quint8 command = byteAt(frame, 1);
    const quint8 code = command & 0x07;
    if (code == SPI && !(command & SubCommand))
        return spiFrame(frame, mode, models);
    if (code != READ && code != WRITE)
        return failure(frame, vandrel::VDERR_UNSUPP_CMD);
    if (!(command & SubCommand) && frame.size() == MemoryFrameSize && byteAt(frame, 5) == MemoryMarker)
        return memoryAccess(frame);
    return dorvaneRequest(frame, mode, models);
}

QByteArray SimDorvaneController::memoryAccess(const QByteArray& frame)
{
    const quint8 b4 = byteAt(frame, 4);
    const int word = b4 & ~EepromBit;
    QMap<int, quint16>& memory = (b4 & EepromBit) ? _eeprom : _ram;
    if (word >= MemoryWords)
        return simWystrelAnswer(frame, b4, MemoryMarker, vandrel::VDERR_APPLPARAM_RANGE, 0, true);
    if ((byteAt(frame, 1) & 0x07) == WRITE) {
        memory.insert(word, quint16(byteAt(frame, 6) | byteAt(frame, 7) << 8));
        return simWystrelAnswer(frame, b4, MemoryMarker, byteAt(frame, 6), byteAt(frame, 7));
    }
    const quint16 value = memory.value(word, 0);
    const quint8 low = quint8(value & 0xFF);
    const quint8 high = quint8(value >> 8);
    return _swappedWords ? simWystrelAnswer(frame, b4, MemoryMarker, high, low)
                         : simWystrelAnswer(frame, b4, MemoryMarker, low, high);
}

QByteArray SimDorvaneController::dorvaneRequest(
    const QByteArray& frame, Mode mode, const std::vector<std::shared_ptr<SimBusModel>>& models)
{
    SimBusModel* driver = driverOf(models);
    if (!isDeviceMode(mode) || !driver)
        return failure(frame, vandrel::VDERR_SLAVE_NOTCONNECTED);
    const bool read = (byteAt(frame, 1) & 0x07) == READ;
    QByteArray request = frame.mid(4, frame.size() - 5);

    // In the Dorvane 2 device role the controller writes itself: the value to
    // the target in its memory, or the special value with the target as parameter.
    const quint8 first = byteAt(request, 0);
    if (mode == Mode::Dv2Device && byteAt(request, 1) == BridgeControl
        && (first == TakeValue || first == WriteSpecial)) {
        const quint16 target = ramWord(MailboxAddress);
        const quint16 value = quint16(byteAt(request, 2) | byteAt(request, 3) << 8);
        bool done = false;
        if (first == TakeValue) {
            done = driver->writeDorvaneParameter(target, value);
        } else {
            driver->dorvaneRequest(
                bytesOf({TakeValue, BridgeControl, byteAt(request, 2), byteAt(request, 3)}), false);
            done = driver->dorvaneRequest(bytesOf({WriteSpecial, BridgeControl, quint8(target), 0}), false)
                       .kind
                != SimDorvaneAnswer::None;
        }
        if (!done)
            return failure(frame, vandrel::VDERR_SLAVE_NO_REPLY_RECEIVED);
        return simWystrelAnswer(frame, first, BridgeControl, byteAt(request, 2), byteAt(request, 3));
    }

    const SimDorvaneAnswer answer = driver->dorvaneRequest(request, read);
    if (answer.kind == SimDorvaneAnswer::NotTaken)
        return failure(frame, vandrel::VDERR_SLAVE_CMD_NOTRETRIEVED);
    if (answer.kind == SimDorvaneAnswer::None)
        return failure(frame, vandrel::VDERR_SLAVE_NO_REPLY_RECEIVED);
    const QByteArray bytes = answer.bytes.leftJustified(4, '\0');
    // A value the host did not wait for stays here until the value request reads it.
    if (!read && first == ReadAddress) {
        const quint16 mailbox = quint16(quint8(bytes.at(3)) | quint8(bytes.at(2)) << 8);
        setRamWord(MailboxAddress, _swappedWords ? quint16(mailbox << 8 | mailbox >> 8) : mailbox);
    }
    QByteArray result = simWystrelAnswer(frame, quint8(bytes.at(0)), quint8(bytes.at(1)), quint8(bytes.at(2)),
        quint8(bytes.at(3)), answer.kind == SimDorvaneAnswer::ErrorFlag);
    if (answer.kind == SimDorvaneAnswer::ErrorFlag) {
        result[6] = char(vandrel::VDERR_DV2_ERROR);
        simWystrelChecksum(result);
    }
    if (answer.kind == SimDorvaneAnswer::BadChecksum)
        result[result.size() - 1] = char(quint8(result.back()) + 1);
    return result;
}

QByteArray SimDorvaneController::spiFrame(
    const QByteArray& frame, Mode mode, const std::vector<std::shared_ptr<SimBusModel>>& models)
{
    QByteArray moduleAnswer(5, '\0');
    moduleAnswer[4] = char(NoModuleAnswer);
    if (isHostMode(mode)) {
        const int chip = byteAt(frame, 2) == 2 ? 2 : 1;
        for (const auto& model : models) {
            if (std::optional<QByteArray> answer = model->slaveSpiFrame(frame.mid(3, 5), chip)) {
                moduleAnswer = answer->leftJustified(5, '\0', true);
                break;
            }
        }
    }
    QByteArray answer = frame.left(3);
    answer[1] = char(byteAt(frame, 1) ^ DirectionBit);
    answer.append(moduleAnswer);
    answer.append('\0');
    simWystrelChecksum(answer);
    return answer;
}

} // namespace tarvesk::sim
