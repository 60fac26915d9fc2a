#pragma once

#include "core/memory/ram_memory_read_write.h"
#include "core/memory/ram_offset.h"

#include <memory>

namespace tarvesk::core {

// Writes a block into the driver's RAM buffer and has its firmware dump the
// buffer into a flash row; reads flash rows, which the firmware packed three
// bytes to two words. The start address of a write names the flash row.
class RamBufferMemoryReadWrite : public RamMemoryReadWrite
{
    Q_OBJECT

public:
    static constexpr int FlashTargetAddress = 0x740;
    static constexpr int BufferAddress = 0x741;
    // Added to the two RAM addresses above for any access wider than a byte.
    static constexpr int WideAccessFlag = 0x4000;
    static constexpr int SpecialParameter = 254;
    static constexpr unsigned PrimeUnlockCode = 0x00C3;
    static constexpr unsigned DumpCode = 0x00B7;

    explicit RamBufferMemoryReadWrite(IRawParameter* rawInterface);
    ~RamBufferMemoryReadWrite() override;

    int flashTarget() const { return _flashTarget; }
    const AbstractRamOffset& ramOffset() const { return *_ramOffset; }

protected:
    QList<int> writeToMemory(QList<int> bytes, int startAddress, NetworkResolution resolution) override;

private:
    void special(unsigned code, const QString& failure);

    std::unique_ptr<AbstractRamOffset> _ramOffset;
    int _flashTarget = 16;
};

} // namespace tarvesk::core
