#include "core/memory/abstract_memory_read_write.h"

#include "core/core_errors.h"
#include "core/itf_error.h"

namespace tarvesk::core {

AbstractMemoryReadWrite::AbstractMemoryReadWrite(MemoryEncoder* encoder, MemoryDecoder* decoder)
    : _encoder(encoder)
    , _decoder(decoder)
{ }

AbstractMemoryReadWrite::~AbstractMemoryReadWrite() = default;

QString AbstractMemoryReadWrite::withStatusPrefix(int status, const QString& message)
{
    return status == ITF_ERR_NO_DEVICE ? QStringLiteral("ITF_ERR_NO_DEVICE: ") + message : message;
}

void AbstractMemoryReadWrite::fail(const QString& message)
{
    throw MemoryAccessError(message.toStdString());
}

QList<int> AbstractMemoryReadWrite::write(QList<int> bytes, int startAddress, NetworkResolution resolution)
{
    validateWrite(bytes, startAddress);
    const QList<int> encoded = _encoder ? _encoder->encode(bytes) : bytes;
    return writeToMemory(encoded, startAddress, resolution);
}

QList<int> AbstractMemoryReadWrite::read(int startAddress, int endAddress, NetworkResolution resolution)
{
    validateRead(startAddress, endAddress);
    const QList<int> values = readFromMemory(startAddress, endAddress, resolution);
    return _decoder ? _decoder->decode(values) : values;
}

void AbstractMemoryReadWrite::validateWrite(const QList<int>& bytes, int startAddress)
{
    if (bytes.isEmpty())
        fail(QStringLiteral("byte array is empty. a valid byte array must be provided!"));
    if (startAddress < 0)
        fail(QStringLiteral("address specified can not be a negative value."));
}

void AbstractMemoryReadWrite::validateRead(int startAddress, int endAddress)
{
    if (startAddress < 0 || endAddress < 0)
        fail(QStringLiteral("address specified can not be a negative value."));
    if (endAddress <= startAddress)
        fail(QStringLiteral("end address must be higher than start address"));
}

} // namespace tarvesk::core
