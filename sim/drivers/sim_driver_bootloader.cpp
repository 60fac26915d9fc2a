#include "sim_driver_bootloader.h"

#include "sim_driver_core.h"
#include "sim_driver_faults.h"

namespace tarvesk::sim {

namespace {

constexpr quint8 ReadRow = 0xFE;
constexpr quint8 WriteRow = 0xFF;
constexpr quint8 Extended = 0xFD;
constexpr quint8 DirectionBit = 0x80;
constexpr int WordsMask = 0x3FFF;
constexpr int SlotWords = 256;
constexpr int PageWords = 2048;
constexpr int HeaderSize = 7;
constexpr quint8 StatusTaken = 0, StatusRefused = 1;

quint8 byteAt(const QByteArray& bytes, int i)
{
    return i < bytes.size() ? quint8(bytes.at(i)) : 0;
}

} // namespace

SimDriverBootloader::SimDriverBootloader(const SimBootloaderConfig& config)
    : _config(config)
    , _flash(FlashWords, ErasedWord)
    , _configuration(ConfigurationWords, ErasedWord)
{
    for (const SimFlashModule& module : config.modules)
        placeModule(module);
    setWord(DeviceIdWord, config.deviceId);
    for (auto it = config.words.constBegin(); it != config.words.constEnd(); ++it)
        setWord(it.key(), it.value());
}

bool SimDriverBootloader::isFlash(int address) const
{
    return (address >= 0 && address < FlashWords)
        || (address >= ConfigurationBase && address < ConfigurationBase + ConfigurationWords);
}

quint16 SimDriverBootloader::word(int address) const
{
    if (address >= 0 && address < FlashWords)
        return _flash.at(address);
    if (address >= ConfigurationBase && address < ConfigurationBase + ConfigurationWords)
        return _configuration.at(address - ConfigurationBase);
    return ErasedWord;
}

void SimDriverBootloader::setWord(int address, quint16 value)
{
    if (address >= 0 && address < FlashWords)
        _flash[address] = value & WordsMask;
    else if (address >= ConfigurationBase && address < ConfigurationBase + ConfigurationWords)
        _configuration[address - ConfigurationBase] = value & WordsMask;
}

void SimDriverBootloader::placeModule(const SimFlashModule& module)
{
    const int words = module.size * SlotWords;
    const int start = module.start;
    setWord(start, quint16((module.id & 0xFF) | ((module.size - 1) & 7) << 8 | ((module.id >> 8) & 7) << 11));
    setWord(start + 1, quint16((module.version & 0xFF) | (module.subversion & 0x3F) << 8));
    int sum = word(start) + word(start + 1);
    for (int i = 2; i < words - 1; ++i) {
        const quint16 body = quint16((module.id * 131 + i * 7) & WordsMask);
        setWord(start + i, body);
        sum += body;
    }
    setWord(start + words - 1, quint16((0x4000 - (sum & WordsMask)) & WordsMask));
}

std::optional<QByteArray> SimDriverBootloader::command(
    const QByteArray& frame, SimDriverFaults* faults, bool& startApplication)
{
    startApplication = false;
    if (byteAt(frame, 3) != 0)
        return std::nullopt; // only the processor at device address 0 is modelled
    switch (byteAt(frame, 4)) {
    case ReadRow:
        return readRow(frame);
    case WriteRow:
        return writeRow(frame, faults);
    case Extended:
        return extended(frame, startApplication);
    default:
        return std::nullopt;
    }
}

std::optional<QByteArray> SimDriverBootloader::readRow(const QByteArray& frame) const
{
    const int address = byteAt(frame, 5) << 8 | (byteAt(frame, 6) & 0xE0);
    QByteArray answer = frame.left(HeaderSize);
    answer[1] = char(byteAt(frame, 1) ^ DirectionBit);
    answer.append(char(_config.version));
    for (int i = 0; i < RowWords; ++i) {
        const quint16 w = word(address + i);
        answer.append(char(w & 0xFF));
        answer.append(char(w >> 8));
    }
    answer.append('\0');
    answer.append('\0');
    simWystrelChecksum(answer);
    return answer;
}

std::optional<QByteArray> SimDriverBootloader::writeRow(const QByteArray& frame, SimDriverFaults* faults)
{
    if (faults && SimDriverFaults::take(faults->rowRefused))
        return std::nullopt;
    const int address = byteAt(frame, 5) << 8 | byteAt(frame, 6);
    const bool whole = frame.size() == HeaderSize + 2 * RowWords + 2 && address % RowWords == 0
        && isFlash(address) && isFlash(address + RowWords - 1);
    quint8 status = whole ? StatusTaken : StatusRefused;
    if (whole && !(faults && SimDriverFaults::take(faults->rowNotProgrammed))) {
        for (int i = 0; i < RowWords; ++i)
            setWord(address + i,
                quint16(byteAt(frame, HeaderSize + 2 * i) << 8 | byteAt(frame, HeaderSize + 2 * i + 1)));
        ++_rowsWritten;
    }
    return simWystrelAnswer(frame, WriteRow, byteAt(frame, 5), byteAt(frame, 6), status);
}

quint16 SimDriverBootloader::moduleSums(int pages) const
{
    for (int slot = CoreStart / SlotWords; slot < pages * (PageWords / SlotWords);) {
        const int start = slot * SlotWords;
        const quint16 header = word(start);
        if (header == ErasedWord) {
            ++slot;
            continue;
        }
        const int id = (header & 0xFF) | ((header >> 11) & 7) << 8;
        const int size = ((header >> 8) & 7) + 1;
        int sum = 0;
        for (int i = 0; i < size * SlotWords; ++i)
            sum += word(start + i);
        if (id != 0 && (sum & WordsMask) != 0)
            return quint16(sum & WordsMask);
        slot += size;
    }
    return 0;
}

std::optional<QByteArray> SimDriverBootloader::extended(const QByteArray& frame, bool& startApplication)
{
    const quint8 sub = byteAt(frame, 5);
    const quint8 value = byteAt(frame, 6);
    // The version bytes of the page information are the core module's, 0 without one.
    const quint16 core = word(CoreStart) == ErasedWord ? 0 : word(CoreStart + 1);
    switch (sub) {
    case 0x01:
        if (value == 0xFC)
            return simWystrelAnswer(frame, Extended, quint8(_config.pageCount - 1),
                quint8(_config.coreEnd >> 8), quint8(_config.coreEnd & 0xFF));
        if (value == 0xFE)
            return simWystrelAnswer(frame, Extended, quint8(_config.systemType & 0xFF),
                quint8(((_config.systemType >> 8) & 0x0F) | ((_config.hardwareType >> 8) & 0x0F) << 4),
                quint8(_config.hardwareType & 0xFF));
        if (value == 0xFF)
            startApplication = true;
        return std::nullopt;
    case 0x02:
        if (value & 0x20) {
            const int page = value & 0x0F;
            for (int i = 0; i < PageWords; ++i)
                setWord(page * PageWords + i, ErasedWord);
            return simWystrelAnswer(frame, Extended, 0, 0, 0);
        } else {
            const quint16 sum = moduleSums(value);
            return simWystrelAnswer(frame, Extended, quint8(sum >> 8), quint8(sum & 0xFF), 0);
        }
    case 0x03: {
        const quint16 header = word(value * SlotWords);
        return simWystrelAnswer(
            frame, Extended, quint8(header & 0xFF), quint8(header >> 8), quint8(core & 0xFF));
    }
    case 0x04: {
        const quint16 header = word(value * SlotWords + 1);
        return simWystrelAnswer(
            frame, Extended, quint8(header & 0xFF), quint8(header >> 8), quint8((core >> 8) & 0x3F));
    }
    default:
        return std::nullopt;
    }
}

} // namespace tarvesk::sim
