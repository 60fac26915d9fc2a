#include "core/firmware_module.h"

#include "core/firmware.h"
#include "core/parameters/datastore/data_store.h"
#include "log/logging_categories.h"

#include <QDir>
#include <QLoggingCategory>
#include <QRegularExpression>

namespace tarvesk::core {

namespace {

constexpr int kWordsPerUnit = 256;
constexpr int kCoreStart = 512;
constexpr int kParamstoreStart = 0x3E00;
constexpr int kLastProgramWord = 0x3FFF;
constexpr int kHighestPage = 15;

struct ModuleKind
{
    int id;
    const char* name;
    int defaultStart;
};

// Two pairs of modules share a slot: 1 and 2 at 0x2800, 3 and 5 at 0x3000.
constexpr ModuleKind kModuleKinds[] = {
    {0, "Core", 0x0200},
    {1, "DALI basic", 0x2800},
    {2, "0-10V", 0x2800},
    {3, "Lightshape", 0x3000},
    {5, "Diagnostics", 0x3000},
    {32, "Ostrevanne Core", 0x02A0},
    {996, "Ostrevanne Bootloader", 0},
    {998, "Paramstore", 0x3E00},
    {999, "Bootloader", 0},
};

const ModuleKind* findKind(int id)
{
    for (const ModuleKind& kind : kModuleKinds) {
        if (kind.id == id)
            return &kind;
    }
    return nullptr;
}

QString hex4(int value)
{
    return QString::number(value, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

} // namespace

FirmwareModule::FirmwareModule(Firmware* image)
    : _image(image)
{ }

FirmwareModule::FirmwareModule(Firmware* image, int address)
    : _image(image)
{
    calcModuleData(address);
}

FirmwareModule::FirmwareModule(
    int id, int version, int subversion, int size, const QString& extension, int start)
{
    fromPageInfo(id, version, subversion, size, extension, start);
}

bool FirmwareModule::calcModuleData(int address)
{
    if (!_image)
        return false;
    _startAddress = address;
    if (address == kCoreStart || address == kParamstoreStart) {
        _endAddress = address == kCoreStart ? 0x1FFF : kLastProgramWord;
        _moduleId = address == kCoreStart ? 0 : 998;
        _size = 1;
        _version = 1;
        _subversion = 0;
        return true;
    }
    const int w0 = _image->getWord(address);
    const int w1 = _image->getWord(address + 1);
    _moduleId = (w0 & 0xFF) | ((w0 >> 3) & 0x1F00);
    _size = ((w0 >> 8) & 7) + 1;
    _version = w1 & 0xFF;
    _subversion = (w1 >> 8) & 0x3F;
    _endAddress = address + _size * kWordsPerUnit - 1;
    for (int i = 0; i < ENTRY_WORD_COUNT; ++i)
        _entryWords[i] = _image->getWord(address + 3 + i);
    _checksum = _image->calcChecksum(address, _endAddress);
    const int finalWord = _image->getUnsignedWord(_endAddress);
    if (finalWord == Firmware::kErasedWord) {
        _image->setWord(_endAddress, _checksum);
    } else if (finalWord == (_checksum & Firmware::kErasedWord)) {
        // A module file or a read-back carries its checksum already: nothing wrong.
        qCDebug(service::loggerGlog()).noquote().nospace()
            << QStringLiteral("Final word in module %1 holds its checksum").arg(_moduleId);
    } else {
        // A checksum the driver's bootloader would refuse.
        qCCritical(service::loggerGlog()).noquote().nospace()
            << GLOG_PREFIX << QStringLiteral("Final word in module %1 is not 0x3FFF").arg(_moduleId);
    }
    return true;
}

void FirmwareModule::fromPageInfo(
    int id, int version, int subversion, int size, const QString& extension, int start)
{
    _moduleId = id;
    _version = version;
    _subversion = subversion;
    _size = size;
    _comment.clear();
    _encryptionType = extension;
    _startAddress = start == -1 ? getModuleStartAddressById(id) : start;
    _endAddress = _startAddress + size * kWordsPerUnit - 1;
    _fileName = QStringLiteral("i%1v%2%3s%4.%5")
                    .arg(id, 3, 10, QLatin1Char('0'))
                    .arg(version, 3, 10, QLatin1Char('0'))
                    .arg(subversion, 2, 10, QLatin1Char('0'))
                    .arg(size, 3, 10, QLatin1Char('0'))
                    .arg(extension);
}

bool FirmwareModule::fromFileNameString(const QString& path)
{
    static const QRegularExpression pattern(
        QStringLiteral("i(?<ModuleId>\\d{3})v(?<Version>\\d{3})(?<Subversion>\\d{2})s(?<Size>\\d{3})"
                       "(p(?<ProcessorType>\\d{2}))?(?<Comment>\\w*).(?<Extension>\\w+)"));
    _fileName = path.split(QDir::separator()).last().toLower();
    const QRegularExpressionMatch match = pattern.match(_fileName);
    if (!match.hasMatch())
        return false;
    _moduleId = match.captured(QStringLiteral("ModuleId")).toInt();
    _version = match.captured(QStringLiteral("Version")).toInt();
    _subversion = match.captured(QStringLiteral("Subversion")).toInt();
    _size = match.captured(QStringLiteral("Size")).toInt();
    const QString processor = match.captured(QStringLiteral("ProcessorType"));
    if (!processor.isEmpty())
        _processorId = processor.toInt();
    else
        _processorId = _moduleId == 0 ? 4 : -1;
    _comment = match.captured(QStringLiteral("Comment"));
    _encryptionType = match.captured(QStringLiteral("Extension"));
    _startAddress = getModuleStartAddressById(_moduleId);
    _endAddress = _startAddress + _size * kWordsPerUnit - 1;
    return true;
}

void FirmwareModule::setEncryptionType(const QString& type)
{
    _encryptionType = type;
    if (!type.isEmpty())
        _fileName = _fileName.section(QLatin1Char('.'), 0, 0) + QLatin1Char('.') + type;
}

bool FirmwareModule::verifyChecksum() const
{
    if (_moduleId == 0 || _startAddress > _endAddress)
        return true;
    if (!_image)
        return false;
    int sum = 0;
    for (int a = _startAddress; a <= _endAddress; ++a)
        sum = (sum + _image->getUnsignedWord(a)) & 0x3FFF;
    return sum == 0;
}

bool FirmwareModule::moveToPage(int page)
{
    if (unsigned(page) > unsigned(kHighestPage) || !_image)
        return false;
    const int oldStart = _startAddress;
    const int oldEnd = _endAddress;
    Firmware copy;
    copy.importDataMap(_image->getFirmwareData());

    // While the image searches its modules this one must not be in its map:
    // the search replaces entries by start address and would delete it.
    FirmwareModule* released = _image->releaseModule(this);
    for (int a = oldStart; a <= kLastProgramWord; ++a)
        _image->setWord(a, -1);
    const int newStart = page * 2048;
    for (int a = oldStart; a < oldEnd; ++a)
        _image->setWord(newStart + (a - oldStart), copy.getWord(a));
    _image->searchModules();
    calcModuleData(newStart);
    if (released)
        _image->addModule(this);
    return true;
}

void FirmwareModule::debugPrint() const
{
    const auto line = [](const QString& text) { qCDebug(service::loggerGlog()).noquote().nospace() << text; };
    const auto hex = [](int value) { return QString::number(value, 16); };
    line(QStringLiteral("*** Module info ***"));
    line(QStringLiteral("Module Id: %1").arg(_moduleId));
    line(QStringLiteral("Module Version: %1.%2").arg(_version).arg(_subversion));
    line(
        QStringLiteral("Module size: %1 address range %2-%3").arg(_size).arg(_startAddress).arg(_endAddress));
    line(QStringLiteral("Module checksum: %1").arg(hex(_checksum)));
    line(QStringLiteral("** "));
    static const char* const names[ENTRY_WORD_COUNT]
        = {"Init", "Reinit", "Standby", "Restart", "TaskAll", "Special", "Reserved", "Main"};
    for (int i = 0; i < ENTRY_WORD_COUNT; ++i)
        line(QStringLiteral(" * %1: %2").arg(QLatin1String(names[i]), hex(_entryWords[i])));
    line(QStringLiteral("** "));
}

QString FirmwareModule::getProcessorName() const
{
    return _processorId == -1 ? QString() : DataStore::getProcessorNameByProcId(_processorId);
}

QString FirmwareModule::getModuleNameByID(int id)
{
    const ModuleKind* kind = findKind(id);
    return kind ? QString::fromLatin1(kind->name) : QStringLiteral("Undefined");
}

int FirmwareModule::getModuleStartAddressById(int id)
{
    const ModuleKind* kind = findKind(id);
    return kind ? kind->defaultStart : -1;
}

QString FirmwareModule::getUnbrickableRowByModuleId(int id)
{
    static const QString erased = QStringLiteral("3FFF").repeated(31);
    if (id == 0 || id == 32)
        return hex4(getModuleStartAddressById(id)) + QStringLiteral("285F") + erased;
    const int start = getModuleStartAddressById(id);
    // Paramstore (998) and ids without a slot of their own have no row.
    if (id == 997 || id == 998 || start < 0)
        return QString();
    return hex4(start) + QStringLiteral("004200000000") + QStringLiteral("0008").repeated(12)
        + QStringLiteral("3FFF").repeated(17);
}

} // namespace tarvesk::core
