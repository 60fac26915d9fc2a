#include "core/parameters/dali/memory_block_bool_converter.h"

#include "core/core_errors.h"

namespace tarvesk::core {

QVariant MemoryBlockBoolConverter::convert(const std::vector<unsigned char>& bytes, unsigned int length)
{
    if (bytes.size() > length)
        throw ParameterError(QStringLiteral(
            "MemoryBankReadBoolAction: %1 bytes for a bool value that should be a maximum of %2 bytes")
                                 .arg(bytes.size())
                                 .arg(length)
                                 .toStdString());
    if (bytes.empty())
        return QVariant(false);
    // Any other byte is kept as read: D4i flags hold reserved codes (0xFE
    // "Unavailable", 0xFF "Unsupported") there, which must not pass for a
    // condition that is present. The parameter shows such a byte by its value
    // text, or as true when it has none.
    const unsigned char byte = bytes.front();
    if (byte <= 1)
        return QVariant(byte == 1);
    return QVariant(qulonglong(byte));
}

std::vector<unsigned char> MemoryBlockBoolConverter::convert(const QVariant& value, unsigned int length)
{
    Q_UNUSED(length)
    if (value.userType() != QMetaType::Bool)
        throw ParameterError(QStringLiteral("MemoryBankReadBoolAction: Invalid value: %1")
                                 .arg(value.toString())
                                 .toStdString());
    return {static_cast<unsigned char>(value.toBool() ? 1 : 0)};
}

} // namespace tarvesk::core
