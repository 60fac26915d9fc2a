#include "core/memory/lightshape_ram_buffer_memory_read_write.h"

#include "core/parameters/iraw_parameter.h"

#include <array>

namespace tarvesk::core {

namespace {

constexpr std::array<LightShapeRamBufferMemoryReadWrite::WriteRegion, 4> kRegions
    = {LightShapeRamBufferMemoryReadWrite::REGION_1, LightShapeRamBufferMemoryReadWrite::REGION_2,
        LightShapeRamBufferMemoryReadWrite::REGION_3, LightShapeRamBufferMemoryReadWrite::REGION_4};
constexpr std::array<int, 4> kRegionStarts = {0x3D00, 0x3CE0, 0x3CC0, 0x3CA0};

bool isChecksumWord(int address)
{
    for (int start : kRegionStarts) {
        if (address == start + 30 || address == start + 31)
            return true;
    }
    return false;
}

} // namespace

LightShapeRamBufferMemoryReadWrite::LightShapeRamBufferMemoryReadWrite(IRawParameter* rawInterface)
    : RamBufferMemoryReadWrite(rawInterface)
{ }

int LightShapeRamBufferMemoryReadWrite::regionStart(int dumpType)
{
    return kRegionStarts.at(std::size_t(dumpType - 1));
}

void LightShapeRamBufferMemoryReadWrite::validateWrite(const QList<int>& bytes, int startAddress)
{
    if (bytes.size() > RegionBytes)
        fail(QStringLiteral("invalid byte package size. max number of bytes to store in a region is %1")
                 .arg(RegionBytes));
    RamBufferMemoryReadWrite::validateWrite(bytes, startAddress);
}

void LightShapeRamBufferMemoryReadWrite::validateRead(int startAddress, int endAddress)
{
    RamBufferMemoryReadWrite::validateRead(startAddress, endAddress);
    if (isChecksumWord(startAddress))
        fail(QStringLiteral("invalid start address %1. this memory location is reserved for checksum")
                 .arg(startAddress, 0, 16));
    const QString range = QStringLiteral("%1->%2").arg(FirstDataWord, 0, 16).arg(LastDataWord, 0, 16);
    if (startAddress < FirstDataWord || startAddress > LastDataWord)
        fail(QStringLiteral("invalid start address %1. For LX must be in range %2")
                 .arg(startAddress, 0, 16)
                 .arg(range));
    if (endAddress < FirstDataWord || endAddress > LastDataWord)
        fail(QStringLiteral("invalid end address %1. For LX must be higher than %2")
                 .arg(endAddress, 0, 16)
                 .arg(range));
}

QList<int> LightShapeRamBufferMemoryReadWrite::writeProfileToRegion(
    const QList<int>& bytes, WriteRegion region)
{
    return write(bytes, int(region), ITF_RES_WORD);
}

int LightShapeRamBufferMemoryReadWrite::status()
{
    if (!rawParameterInterface())
        fail(QStringLiteral("no raw interface set. A raw interface must be provided in constructor!"));
    const int address = ramOffset().value(StatusAddress);
    unsigned int value = 0;
    const int result = rawParameterInterface()->getParameter(ITF_RES_BYTE, address, value);
    // A status that could not be read is no proof that the write succeeded.
    if (result != 0)
        fail(withStatusPrefix(result,
            QStringLiteral("lx profile status could not be read at memory address %1. error code = %2")
                .arg(address)
                .arg(result)));
    return int(value & 0xFF);
}

QList<int> LightShapeRamBufferMemoryReadWrite::writeProfiles(QList<int> bytes)
{
    if (bytes.size() > MaxProfileBytes)
        fail(QStringLiteral(
            "invalid byte package size. max number of bytes possible to store in lx profile region is %1")
                 .arg(MaxProfileBytes));
    QList<int> written;
    for (int k = 0; k * RegionBytes < bytes.size(); ++k)
        written += writeProfileToRegion(bytes.mid(k * RegionBytes, RegionBytes), kRegions.at(std::size_t(k)));
    const int firmwareStatus = status();
    if (firmwareStatus != 0)
        fail(QStringLiteral("a problem occured while writing lx profile data to device (fw status code: %1)")
                 .arg(firmwareStatus));
    return written;
}

QList<int> LightShapeRamBufferMemoryReadWrite::dump(bool optimize, DumpType type)
{
    QList<int> bytes;
    const bool one = type >= DUMP_REGION_1 && type <= DUMP_REGION_4;
    for (int t = 1; t <= 4; ++t) {
        if (one && t != int(type))
            continue;
        const int start = regionStart(t);
        bytes += read(start, start + RegionDataWords - 1, ITF_RES_WORD);
    }
    if (optimize) {
        while (!bytes.isEmpty() && bytes.last() == 0)
            bytes.removeLast();
    }
    return bytes;
}

} // namespace tarvesk::core
