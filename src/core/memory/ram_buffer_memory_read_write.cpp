#include "core/memory/ram_buffer_memory_read_write.h"

#include "core/parameters/iraw_parameter.h"

namespace tarvesk::core {

RamBufferMemoryReadWrite::RamBufferMemoryReadWrite(IRawParameter* rawInterface)
    : RamMemoryReadWrite(new MemoryEncoder(), new FlashMemoryDecoder(), rawInterface)
    , _ramOffset(RamOffsetFactory::create(rawInterface ? rawInterface->getIdentificationString() : QString()))
{ }

RamBufferMemoryReadWrite::~RamBufferMemoryReadWrite() = default;

void RamBufferMemoryReadWrite::special(unsigned code, const QString& failure)
{
    const int status = rawParameterInterface()->setParameter(ITF_RES_BYTE, SpecialParameter, code);
    if (status != 0)
        fail(withStatusPrefix(status, failure));
}

QList<int> RamBufferMemoryReadWrite::writeToMemory(
    QList<int> bytes, int startAddress, NetworkResolution resolution)
{
    if (!rawParameterInterface())
        fail(QStringLiteral("no raw interface set. A raw interface must be provided in constructor"));
    _flashTarget = startAddress;
    const int flag = resolution == ITF_RES_BYTE ? 0 : WideAccessFlag;
    const int status = rawParameterInterface()->setParameter(
        ITF_RES_BYTE, FlashTargetAddress + flag, unsigned(_flashTarget));
    if (status != 0)
        fail(withStatusPrefix(status, QStringLiteral("target flash row address could not be written")));
    RamMemoryReadWrite::writeToMemory(bytes, BufferAddress + flag, resolution);
    special(PrimeUnlockCode, QStringLiteral("dump of ram buffer to flash row failed in step 1"));
    special(DumpCode, QStringLiteral("dump of ram buffer to flash row failed in step 2"));
    return bytes;
}

} // namespace tarvesk::core
