#pragma once

#include "core/memory/ram_buffer_memory_read_write.h"

namespace tarvesk::core {

// Writes a lightshape profile (up to 180 opaque bytes) into the four flash
// rows of page 7 that hold it, 45 bytes per row, through the driver's RAM
// buffer; checks the firmware's status after the writes; reads the rows back.
class LightShapeRamBufferMemoryReadWrite : public RamBufferMemoryReadWrite
{
    Q_OBJECT

public:
    // The flash target of each region, in the order the chunks are written.
    enum WriteRegion { REGION_1 = 16, REGION_2 = 14, REGION_3 = 12, REGION_4 = 10 };
    Q_ENUM(WriteRegion)
    // 1..4 one region; any other value all four.
    enum DumpType {
        DUMP_ALL = 0,
        DUMP_REGION_1 = 1,
        DUMP_REGION_2 = 2,
        DUMP_REGION_3 = 3,
        DUMP_REGION_4 = 4
    };
    Q_ENUM(DumpType)

    static constexpr int MaxProfileBytes = 180;
    static constexpr int RegionBytes = 45;
    static constexpr int RegionDataWords = 30;
    static constexpr int FirstDataWord = 0x3CA0;
    static constexpr int LastDataWord = 0x3D1D;
    // Logical RAM address of the firmware's status byte of the last profile write.
    static constexpr int StatusAddress = 3000;

    explicit LightShapeRamBufferMemoryReadWrite(IRawParameter* rawInterface);

    // Returns the bytes written; throws on any failure, a non-zero firmware
    // status included. Chunks written before a failure keep their content.
    Q_INVOKABLE virtual QList<int> writeProfiles(QList<int> bytes);
    QList<int> writeProfileToRegion(const QList<int>& bytes, WriteRegion region);
    // The firmware status byte; a failed read throws.
    int status();
    // With optimize the bytes after the last non-zero one are left out.
    Q_INVOKABLE virtual QList<int> dump(
        bool optimize = true, tarvesk::core::LightShapeRamBufferMemoryReadWrite::DumpType type = DUMP_ALL);

    // The first data word of the region of a dump type (1..4).
    static int regionStart(int dumpType);

protected:
    void validateWrite(const QList<int>& bytes, int startAddress) override;
    void validateRead(int startAddress, int endAddress) override;
};

} // namespace tarvesk::core
