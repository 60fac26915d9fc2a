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
    return QVariant(!bytes.empty() && bytes.front() != 0);
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
