#include "core/firmware_text.h"

#include <QStringList>
#include <QVector>

namespace tarvesk::core {

namespace {

constexpr int kWordsPerRow = 32;
constexpr int kModuleLineLength = 4 + kWordsPerRow * 4;
constexpr int kLastProgramWord = 0x3FFF;
// Byte addresses from here on hold the configuration words, not program flash.
constexpr int kHexProgramByteLimit = 0x10000;

} // namespace

int hexDigitValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

namespace {

// The value of count hexadecimal digits from position at, or -1 when one of
// them is not a hexadecimal digit (no sign, no blank).
int hexValue(const QString& text, int at, int count)
{
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const int digit = hexDigitValue(text.at(at + i));
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

int firstNonHex(const QString& text, int from, int to)
{
    for (int i = from; i < to; ++i) {
        if (hexDigitValue(text.at(i)) < 0)
            return i;
    }
    return -1;
}

// A line without the blanks and CR that editors and other systems leave at its end.
QString withoutTrailingBlanks(const QString& line)
{
    int end = line.size();
    while (end > 0
        && (line.at(end - 1) == QLatin1Char(' ') || line.at(end - 1) == QLatin1Char('\t')
            || line.at(end - 1) == QLatin1Char('\r')))
        --end;
    return line.left(end);
}

bool fail(FirmwareTextError& error, int line, const QString& fault)
{
    error.line = line;
    error.fault = fault;
    return false;
}

QString hex4(int value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

bool parseModuleLine(const QString& line, int lineNo, QVector<FirmwareWord>& words, QList<int>& addresses,
    FirmwareTextError& error)
{
    const int bad = firstNonHex(line, 0, qMin(line.size(), kModuleLineLength));
    if (bad >= 0)
        return fail(error, lineNo, QStringLiteral("character %1 is not a hexadecimal digit").arg(bad + 1));
    if (line.size() != kModuleLineLength) {
        return fail(error, lineNo,
            QStringLiteral("a row has %1 characters (an address and 32 words), this line has %2")
                .arg(kModuleLineLength)
                .arg(line.size()));
    }
    const int address = hexValue(line, 0, 4);
    if (address % kWordsPerRow != 0)
        return fail(error, lineNo, QStringLiteral("address %1 is not the start of a row").arg(hex4(address)));
    if (address + kWordsPerRow - 1 > kLastProgramWord) {
        return fail(error, lineNo,
            QStringLiteral("row at %1 lies outside program flash 0x0000..0x3FFF").arg(hex4(address)));
    }
    addresses.append(address);
    for (int k = 0; k < kWordsPerRow; ++k)
        words.append({address + k, hexValue(line, 4 + 4 * k, 4)});
    return true;
}

struct HexRecord
{
    int count = 0;
    int offset = 0;
    int type = 0;
    QVector<int> data;
};

bool parseHexRecord(const QString& line, int lineNo, HexRecord& record, FirmwareTextError& error)
{
    if (!line.startsWith(QLatin1Char(':')))
        return fail(
            error, lineNo, QStringLiteral("a record starts with ':', this line with '%1'").arg(line.at(0)));
    const int bad = firstNonHex(line, 1, line.size());
    if (bad >= 0)
        return fail(error, lineNo, QStringLiteral("character %1 is not a hexadecimal digit").arg(bad + 1));
    // Byte count, address (2 bytes), type and checksum: 5 bytes at least.
    if (line.size() < 11 || line.size() % 2 == 0)
        return fail(error, lineNo, QStringLiteral("a record of %1 characters is malformed").arg(line.size()));
    record.count = hexValue(line, 1, 2);
    if (line.size() != 11 + 2 * record.count) {
        return fail(error, lineNo,
            QStringLiteral("byte count %1 needs %2 characters, the record has %3")
                .arg(record.count)
                .arg(11 + 2 * record.count)
                .arg(line.size()));
    }
    int sum = 0;
    for (int at = 1; at < line.size(); at += 2)
        sum += hexValue(line, at, 2);
    if (sum % 256 != 0)
        return fail(error, lineNo, QStringLiteral("record checksum does not match"));
    record.offset = hexValue(line, 3, 4);
    record.type = hexValue(line, 7, 2);
    record.data.clear();
    for (int i = 0; i < record.count; ++i)
        record.data.append(hexValue(line, 9 + 2 * i, 2));
    return true;
}

} // namespace

QString FirmwareTextError::toString() const
{
    return QStringLiteral("line %1: %2").arg(line).arg(fault);
}

bool parseModuleText(
    const QString& text, QVector<FirmwareWord>& words, QList<int>& lineAddresses, FirmwareTextError& error)
{
    words.clear();
    lineAddresses.clear();
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = withoutTrailingBlanks(lines.at(i));
        if (line.isEmpty())
            continue;
        if (!parseModuleLine(line, i + 1, words, lineAddresses, error)) {
            words.clear();
            lineAddresses.clear();
            return false;
        }
    }
    return true;
}

bool parseIntelHex(const QString& text, QVector<FirmwareWord>& words, FirmwareTextError& error)
{
    words.clear();
    const QStringList lines = text.split(QLatin1Char('\n'));
    qint64 base = 0;
    HexRecord record;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).simplified();
        if (line.isEmpty())
            continue;
        const int lineNo = i + 1;
        if (!parseHexRecord(line, lineNo, record, error)) {
            words.clear();
            return false;
        }
        switch (record.type) {
        case 0x00: {
            if (record.count % 2 != 0 || record.offset % 2 != 0) {
                words.clear();
                return fail(error, lineNo,
                    QStringLiteral("data of 14-bit words needs an even byte count and address"));
            }
            for (int k = 0; k + 1 < record.count; k += 2) {
                const qint64 byteAddress = base + record.offset + k;
                if (byteAddress >= kHexProgramByteLimit)
                    break;
                words.append(
                    {int(byteAddress / 2), ((record.data.at(k + 1) & 0x3F) << 8) | record.data.at(k)});
            }
            break;
        }
        case 0x02:
        case 0x04: {
            if (record.count != 2) {
                words.clear();
                return fail(error, lineNo,
                    QStringLiteral("an address record carries 2 bytes, not %1").arg(record.count));
            }
            const int value = (record.data.at(0) << 8) | record.data.at(1);
            base = record.type == 0x02 ? qint64(value) * 16 : qint64(value) * 0x10000;
            break;
        }
        case 0x01:
        case 0x03:
        case 0x05:
            break;
        default:
            words.clear();
            return fail(error, lineNo,
                QStringLiteral("record type %1 is not Intel HEX").arg(record.type, 2, 16, QLatin1Char('0')));
        }
    }
    return true;
}

} // namespace tarvesk::core
