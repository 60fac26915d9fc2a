#include "core/parameters/dali/memory_block_integer_converter.h"

#include "core/core_errors.h"

namespace tarvesk::core {

namespace {

constexpr unsigned int MaxBytes = 8;

[[noreturn]] void fail(const QString& text)
{
    throw ParameterError(QStringLiteral("MemoryBankReadIntegerAction: %1").arg(text).toStdString());
}

} // namespace

QVariant MemoryBlockIntegerConverter::convert(const std::vector<unsigned char>& bytes, unsigned int length)
{
    if (length > MaxBytes)
        fail(QStringLiteral("Too many bytes (%1) for an integer value").arg(length));
    if (bytes.size() > length)
        fail(QStringLiteral("%1 bytes for an integer value that should be a maximum of %2 bytes")
                 .arg(bytes.size())
                 .arg(length));
    qulonglong value = 0;
    for (const unsigned char byte : bytes)
        value = (value << 8) | byte;
    return QVariant(value);
}

std::vector<unsigned char> MemoryBlockIntegerConverter::convert(const QVariant& value, unsigned int length)
{
    if (length > MaxBytes)
        fail(QStringLiteral("Too many bytes (%1) requested for 64 bit number").arg(length));
    bool ok = false;
    const qulonglong number = value.toULongLong(&ok);
    // A negative number would wrap to a huge one and be written as such.
    bool numeric = false;
    const bool negative = value.toDouble(&numeric) < 0 && numeric;
    if (!ok || negative)
        fail(QStringLiteral("Invalid value: %1").arg(value.toString()));
    // Cutting off the high bytes would write another number than the one asked for.
    if (length < MaxBytes && (number >> (8 * length)) != 0)
        fail(QStringLiteral("Value %1 does not fit in %2 bytes").arg(number).arg(length));
    std::vector<unsigned char> bytes(length);
    for (unsigned int i = 0; i < length; ++i)
        bytes[length - 1 - i] = static_cast<unsigned char>(number >> (8 * i));
    return bytes;
}

} // namespace tarvesk::core
