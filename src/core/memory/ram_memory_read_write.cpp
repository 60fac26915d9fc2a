#include "core/memory/ram_memory_read_write.h"

#include "core/parameters/iraw_parameter.h"

namespace tarvesk::core {

RamMemoryReadWrite::RamMemoryReadWrite(
    MemoryEncoder* encoder, MemoryDecoder* decoder, IRawParameter* rawInterface)
    : AbstractMemoryReadWrite(encoder, decoder)
    , _rawInterface(rawInterface)
{ }

void RamMemoryReadWrite::validateWrite(const QList<int>& bytes, int startAddress)
{
    AbstractMemoryReadWrite::validateWrite(bytes, startAddress);
    if (!_rawInterface)
        fail(QStringLiteral("no raw interface set. A raw interface must be provided in constructor"));
}

void RamMemoryReadWrite::validateRead(int startAddress, int endAddress)
{
    AbstractMemoryReadWrite::validateRead(startAddress, endAddress);
    if (!_rawInterface)
        fail(QStringLiteral("no raw interface set. A raw interface must be provided in constructor!"));
}

void RamMemoryReadWrite::writeValue(NetworkResolution resolution, int address, unsigned int value)
{
    const int status = _rawInterface->setParameter(resolution, address, value);
    if (status != 0)
        fail(withStatusPrefix(status,
            QStringLiteral("failed to write parameter at memory address %1. error code = %2")
                .arg(address, 0, 16)
                .arg(status)));
}

QList<int> RamMemoryReadWrite::writeToMemory(QList<int> bytes, int startAddress, NetworkResolution resolution)
{
    if (!_rawInterface)
        fail(QStringLiteral("no raw interface set. A raw interface must be provided in constructor"));
    switch (resolution) {
    case ITF_RES_BYTE:
        for (int i = 0; i < bytes.size(); ++i)
            writeValue(ITF_RES_BYTE, startAddress + i, unsigned(bytes.at(i)) & 0xFFu);
        break;
    case ITF_RES_WORD:
        // Each call names the width of the value it carries.
        for (int i = 0; i < bytes.size(); i += 2) {
            if (i + 1 < bytes.size())
                writeValue(ITF_RES_WORD, startAddress + i,
                    (unsigned(bytes.at(i)) & 0xFFu) | (unsigned(bytes.at(i + 1)) & 0xFFu) << 8);
            else
                writeValue(ITF_RES_BYTE, startAddress + i, unsigned(bytes.at(i)) & 0xFFu);
        }
        break;
    default:
        fail(QStringLiteral("Invalid network resolution provided %1").arg(int(resolution)));
    }
    return bytes;
}

QList<int> RamMemoryReadWrite::readFromMemory(int startAddress, int endAddress, NetworkResolution resolution)
{
    if (!_rawInterface)
        fail(QStringLiteral("no raw interface set. A raw interface must be provided in constructor!"));
    QList<int> values;
    for (int address = startAddress; address <= endAddress; ++address) {
        unsigned int value = 0;
        const int status = _rawInterface->getParameter(resolution, address, value);
        if (status != 0)
            fail(QStringLiteral("failed to read parameter at memory address %1. error code = %2")
                     .arg(address)
                     .arg(status));
        values.append(int(value));
    }
    return values;
}

} // namespace tarvesk::core
