#include "core/firmware.h"

#include "core/firmware_module.h"
#include "core/itf_error.h"
#include "core/parameters/datastore/data_store.h"
#include "log/logging_categories.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cstdlib>

namespace tarvesk::core {

namespace {

constexpr int kRowTextLength = 130;
constexpr int kFirstExportAddress = 512;
constexpr int kParamstoreStart = 0x3E00;
constexpr int kLastScanAddress = 0x3DFF;

void glogWarning(const QString& text)
{
    qCWarning(service::loggerGlog()).noquote().nospace() << GLOG_PREFIX << text;
}

void glogCritical(const QString& text)
{
    qCCritical(service::loggerGlog()).noquote().nospace() << GLOG_PREFIX << text;
}

void glogDebug(const QString& text)
{
    qCDebug(service::loggerGlog()).noquote().nospace() << text;
}

int swappedForm(int word)
{
    return ((word << 8) & 0xFFFF) | ((word >> 6) & 0xFC);
}

QString hexWord(int value)
{
    return QString::number(value, 16).rightJustified(4, QLatin1Char('0'));
}

int hexByte(const QString& text, int at)
{
    const int high = hexDigitValue(text.at(at));
    const int low = hexDigitValue(text.at(at + 1));
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

} // namespace

Firmware::Firmware()
    : _dataStore(std::make_unique<DataStore>(this, false))
{ }

Firmware::~Firmware()
{
    _dataStore.reset();
    _modules.clear();
}

int Firmware::getWord(int address, bool swapped) const
{
    const int word = address >= 0 && address < _words.size() ? _words.at(address) : -1;
    if (!swapped)
        return word;
    return swappedForm(word < 0 ? kErasedWord : word);
}

quint16 Firmware::getUnsignedWord(int address, bool swapped) const
{
    const int word = getWord(address, false);
    const int flash = word < 0 ? kErasedWord : word;
    return quint16(swapped ? swappedForm(flash) : flash);
}

int Firmware::getSignedWord(int address, bool swapped) const
{
    const int u = getUnsignedWord(address, swapped);
    if (swapped)
        return qint16(u);
    return (u & 0x2000) ? u - 0x4000 : u;
}

void Firmware::setWord(int address, int value)
{
    if (address < 0 || address >= kWordLimit) {
        glogWarning(QStringLiteral("Firmware word address %1 out of range, not written").arg(address));
        return;
    }
    if (address >= _words.size())
        _words.insert(_words.size(), address + 1 - _words.size(), -1);
    _words[address] = value == -1 ? -1 : (value & kErasedWord);
    _lowestWritten = std::min(_lowestWritten, address);
    _highestWritten = std::max(_highestWritten, address);
}

void Firmware::setSwappedWord(int address, int value)
{
    const unsigned v = unsigned(value); // negative values are 16-bit two's complement here
    setWord(address, int(((v >> 8) & 0xFF) | ((v << 6) & 0x3F00)));
}

void Firmware::importDataMap(const QVector<int>& words)
{
    _words = words.mid(0, kWordLimit);
    for (int& word : _words)
        word = word == -1 ? -1 : (word & kErasedWord);
    searchModules();
}

int Firmware::getFirstRow() const
{
    return _lowestWritten > _highestWritten ? 0 : _lowestWritten / kWordsPerRow;
}

int Firmware::getLastRow() const
{
    return _lowestWritten > _highestWritten ? 0 : _highestWritten / kWordsPerRow;
}

QString Firmware::getRowHexString(int row, bool readable) const
{
    const int start = row * kWordsPerRow;
    QString text = hexWord(start);
    text += readable ? QStringLiteral(" : ") : QString();
    for (int i = 0; i < kWordsPerRow; ++i) {
        const int word = getWord(start + i);
        if (readable)
            text += (word < 0 ? QStringLiteral("----") : hexWord(word)) + QLatin1Char(' ');
        else
            text += hexWord(word < 0 ? kErasedWord : word);
    }
    return text.toUpper();
}

int Firmware::setFirmwareRow(unsigned short address, const QString& text, bool swap)
{
    if (text.size() != kRowTextLength) {
        glogCritical(
            QStringLiteral("Firmware data string has not expected length of %1 characters, but has %2 (%3)")
                .arg(kRowTextLength, 10)
                .arg(text.size())
                .arg(text));
        return ITF_ERR_FW_HEX_LENGTH;
    }
    for (int i = 0; i < kWordsPerRow; ++i) {
        const int a = hexByte(text, 4 * i);
        const int b = hexByte(text, 4 * i + 2);
        if (a < 0 || b < 0) {
            glogCritical(QStringLiteral("Error while converting a dataWord out of a dataString"));
            return ITF_ERR_FW_HEX_CONVERSION;
        }
        setWord(address + i, swap ? (b << 8) | a : (a << 8) | b);
    }
    return ITF_OK;
}

bool Firmware::isRowEmpty(int row) const
{
    const int start = row * kWordsPerRow;
    for (int i = 0; i < kWordsPerRow; ++i) {
        if (getWord(start + i) != -1)
            return false;
    }
    return true;
}

bool Firmware::isRowEqual(int row, const Firmware* other) const
{
    if (!other)
        return false;
    const int start = row * kWordsPerRow;
    for (int i = 0; i < kWordsPerRow; ++i) {
        if (getUnsignedWord(start + i) != other->getUnsignedWord(start + i))
            return false;
    }
    return true;
}

bool Firmware::isPageEmpty(int page) const
{
    if (unsigned(page) >= unsigned(kProgramPages)) {
        glogWarning(QStringLiteral("Invalid page number: %1").arg(page, 10));
        return true;
    }
    const int start = page * kWordsPerPage;
    for (int i = 0; i < kWordsPerPage; ++i) {
        if (getWord(start + i) != -1)
            return false;
    }
    return true;
}

void Firmware::randomPageData(int page)
{
    if (page < 0 || page >= kWordLimit / kWordsPerPage) {
        glogWarning(QStringLiteral("Invalid page number: %1").arg(page, 10));
        return;
    }
    const int start = page * kWordsPerPage;
    for (int i = 0; i < kWordsPerPage; ++i)
        setWord(start + i, std::rand() % kErasedWord);
}

int Firmware::calcChecksum(int start, int end) const
{
    if (start >= end)
        return 0x4000;
    int sum = 0;
    for (int a = start; a < end; ++a)
        sum = (sum + getUnsignedWord(a)) % 0x4000;
    return 0x4000 - sum;
}

int Firmware::exportBlockString(QString& out, int start, int end) const
{
    if (start < kFirstExportAddress || end <= start)
        return ITF_ERR_FW_ADDRESS_RANGE;
    QString text;
    for (int a = start; a <= end; ++a) {
        const int index = a - start;
        if (index % kWordsPerRow == 0)
            text += hexWord(a);
        text += hexWord(getUnsignedWord(a));
        if (index % kWordsPerRow == kWordsPerRow - 1)
            text += QLatin1Char('\n');
    }
    out += text.toUpper();
    return ITF_OK;
}

int Firmware::exportModString(QString& out, int moduleId) const
{
    const FirmwareModule* module = getModuleById(moduleId);
    if (!module)
        return ITF_ERR_FW_MODULE_NOT_FOUND;
    return exportBlockString(out, module->getStartAddress(), module->getEndAddress());
}

void Firmware::storeWords(const QVector<FirmwareWord>& words)
{
    for (const FirmwareWord& word : words)
        setWord(word.address, word.value);
}

bool Firmware::importModString(
    const QString& text, QList<int>& addresses, int& firstAddress, FirmwareTextError* error)
{
    QVector<FirmwareWord> words;
    QList<int> lineAddresses;
    FirmwareTextError fault;
    if (!parseModuleText(text, words, lineAddresses, fault)) {
        glogWarning(QStringLiteral("Module text refused, %1").arg(fault.toString()));
        if (error)
            *error = fault;
        return false;
    }
    if (!lineAddresses.isEmpty())
        firstAddress = lineAddresses.first();
    addresses += lineAddresses;
    storeWords(words);
    searchModules();
    return true;
}

bool Firmware::importHexString(const QString& text, FirmwareTextError* error)
{
    QVector<FirmwareWord> words;
    FirmwareTextError fault;
    if (!parseIntelHex(text, words, fault)) {
        glogWarning(QStringLiteral("Intel HEX refused, %1").arg(fault.toString()));
        if (error)
            *error = fault;
        return false;
    }
    storeWords(words);
    _dataStore->convertMemoryMapToParameterValues();
    searchModules();
    return true;
}

QString Firmware::getPackedAsciiString(int start, int end) const
{
    const int countWord = getUnsignedWord(start);
    const int capacity = std::max(0, 2 * (end - start - 1));
    const QString location = hexWord(start);
    if (countWord == kErasedWord) {
        glogDebug(QStringLiteral("Undefined ASCII string at location 0x%1").arg(location));
        return QString();
    }
    int count = countWord & 0x7F;
    if (count > capacity) {
        glogCritical(
            QStringLiteral("ASCII string length is %1 too long at location 0x%2").arg(count).arg(location));
        count = capacity;
    }
    QString text;
    for (int i = 0; i < count; ++i) {
        const int w = getUnsignedWord(start + 1 + i / 2);
        const int c = (i % 2 == 0) ? (((w >> 1) & 0x40) | ((w >> 8) & 0x3F)) : (w & 0x7F);
        text += QChar(c);
    }
    return text;
}

int Firmware::setPackedAsciiString(int start, int end, const QString& text)
{
    if (end - start < 1)
        return ITF_ERR_FW_ADDRESS_RANGE;
    if (text.size() > 2 * (end - start - 1))
        return ITF_ERR_FW_HEX_CONVERSION;
    for (const QChar c : text) {
        if (c.unicode() > 0x7F)
            return ITF_ERR_FW_HEX_CONVERSION;
    }
    // An erased field stays erased until there is something to put in it.
    if (text.isEmpty() && getUnsignedWord(start) == kErasedWord)
        return ITF_OK;
    setWord(start, text.size() & 0x7F);
    for (int i = 0; i < text.size(); i += 2) {
        const int c1 = text.at(i).unicode();
        const int c2 = i + 1 < text.size() ? text.at(i + 1).unicode() : 0;
        setWord(start + 1 + i / 2, ((c1 & 0x40) << 1) | ((c1 & 0x3F) << 8) | (c2 & 0x7F));
    }
    return ITF_OK;
}

void Firmware::storeModule(FirmwareModule* module)
{
    _modules[module->getStartAddress()].reset(module);
}

void Firmware::searchModules()
{
    if (_words.size() > kFirstExportAddress && getWord(kFirstExportAddress) != -1
        && getWord(kFirstExportAddress) != kErasedWord)
        storeModule(new FirmwareModule(this, kFirstExportAddress));
    storeModule(new FirmwareModule(this, kParamstoreStart));
    for (int page = 4; page < kProgramPages; ++page) {
        int address = page * kWordsPerPage;
        while (address <= kLastScanAddress && address < _words.size()) {
            const int word = getWord(address);
            if (word == -1 || word == 0 || word == 0x7FF || word == kErasedWord)
                break;
            auto* module = new FirmwareModule(this, address);
            storeModule(module);
            address = module->getEndAddress() + 1;
        }
    }
}

void Firmware::addModule(FirmwareModule* module)
{
    if (!module)
        return;
    // A module added again is filed under its current start.
    releaseModule(module);
    const int newStart = module->getStartAddress();
    const int newEnd = module->getEndAddress();
    for (auto it = _modules.begin(); it != _modules.end();) {
        const FirmwareModule* old = it->second.get();
        // Ranges as the look-up sees them: start inclusive, last word exclusive.
        const bool overlaps = old->getStartAddress() < newEnd && newStart < old->getEndAddress();
        if (it->first == newStart || overlaps)
            it = _modules.erase(it);
        else
            ++it;
    }
    _modules[newStart].reset(module);
}

FirmwareModule* Firmware::releaseModule(FirmwareModule* module)
{
    for (auto it = _modules.begin(); it != _modules.end(); ++it) {
        if (it->second.get() == module) {
            FirmwareModule* released = it->second.release();
            _modules.erase(it);
            return released;
        }
    }
    return nullptr;
}

FirmwareModule* Firmware::getModuleByStartAddress(int address) const
{
    for (const auto& [start, module] : _modules) {
        if (module->getStartAddress() <= address && address < module->getEndAddress())
            return module.get();
    }
    return nullptr;
}

FirmwareModule* Firmware::getModuleById(int id) const
{
    for (const auto& [start, module] : _modules) {
        if (module->getModuleId() == id)
            return module.get();
    }
    return nullptr;
}

void Firmware::getModuleList(QList<FirmwareModule*>& list) const
{
    for (const auto& [start, module] : _modules)
        list.append(module.get());
    std::stable_sort(list.begin(), list.end(), moduleGreaterThan);
}

void Firmware::clearModules()
{
    _modules.clear();
}

void Firmware::debugPrintRowHeader() const
{
    QString header = QStringLiteral("Addr :");
    for (int i = 0; i < kWordsPerRow; ++i)
        header += QStringLiteral("   %1").arg(i, 2, 16, QLatin1Char('0')).toUpper();
    glogDebug(header);
    glogDebug(QString(166, QLatin1Char('-')));
}

void Firmware::debugPrintRow(int row) const
{
    if (!isRowEmpty(row))
        glogDebug(getRowHexString(row, true));
}

void Firmware::debugPrintPage(int page) const
{
    glogDebug(QStringLiteral("*** Page %1 ***").arg(page));
    if (isPageEmpty(page)) {
        glogDebug(QStringLiteral("<Empty>"));
        return;
    }
    for (int row = page * kWordsPerPage / kWordsPerRow; row < (page + 1) * kWordsPerPage / kWordsPerRow;
         ++row)
        debugPrintRow(row);
}

void Firmware::debugPrint()
{
    _dataStore->convertMemoryMapToParameterValues();
    searchModules();
    for (const auto& [start, module] : _modules)
        module->debugPrint();
    for (int page = 0; page < kProgramPages; ++page)
        debugPrintPage(page);
}

bool moduleGreaterThan(const FirmwareModule* a, const FirmwareModule* b)
{
    return a->getModuleId() > b->getModuleId();
}

} // namespace tarvesk::core
