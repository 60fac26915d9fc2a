#include "core/parameters/dali/memory_block_string_converter.h"

#include "core/core_errors.h"

#include <algorithm>
#include <cctype>

namespace tarvesk::core {

namespace {

[[noreturn]] void tooLong(size_t count, unsigned int length)
{
    throw ParameterError(QStringLiteral(
        "MemoryBlockStringConverter: %1 bytes for a string value that should be a maximum of %2 bytes")
                             .arg(count)
                             .arg(length)
                             .toStdString());
}

bool isTextByte(unsigned char byte)
{
    if (byte == 0)
        return true;
    if (byte < 0x80)
        return byte >= 0x20 && byte <= 0x7E;
    return std::isprint(byte) != 0; // the process's locale decides
}

} // namespace

QVariant MemoryBlockStringConverter::convert(const std::vector<unsigned char>& bytes, unsigned int length)
{
    if (bytes.size() > length)
        tooLong(bytes.size(), length);
    // The text ends at its first zero byte: the terminator, and whatever
    // follows it in the field, is not part of the value.
    const auto end = std::find(bytes.begin(), bytes.end(), 0);
    for (auto it = bytes.begin(); it != end; ++it) {
        if (!isTextByte(*it))
            return QStringLiteral("<N/A>");
    }
    return QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()), int(end - bytes.begin()));
}

std::vector<unsigned char> MemoryBlockStringConverter::convert(const QVariant& value, unsigned int length)
{
    if (value.userType() != QMetaType::QString)
        throw ParameterError(
            QStringLiteral("%1 is not a string").arg(QString::fromLatin1(value.typeName())).toStdString());
    const QByteArray text = value.toString().toUtf8();
    if (unsigned(text.size()) > length)
        tooLong(size_t(text.size()), length);
    std::vector<unsigned char> bytes(length, 0);
    std::copy(text.cbegin(), text.cend(), bytes.begin());
    return bytes;
}

} // namespace tarvesk::core
