#pragma once

#include "core/memory/abstract_memory_read_write.h"

namespace tarvesk::core {

class IRawParameter;

// Writes and reads a driver's RAM value by value through a raw interface of
// its device. In word mode the bytes go in pairs, low byte first, one 16-bit
// value per even offset; a last byte without partner goes alone as a byte.
class RamMemoryReadWrite : public AbstractMemoryReadWrite
{
    Q_OBJECT

public:
    // The raw interface is not owned; a null one is refused by every transfer.
    RamMemoryReadWrite(MemoryEncoder* encoder, MemoryDecoder* decoder, IRawParameter* rawInterface);

    IRawParameter* rawParameterInterface() const { return _rawInterface; }

protected:
    QList<int> writeToMemory(QList<int> bytes, int startAddress, NetworkResolution resolution) override;
    QList<int> readFromMemory(int startAddress, int endAddress, NetworkResolution resolution) override;
    void validateWrite(const QList<int>& bytes, int startAddress) override;
    void validateRead(int startAddress, int endAddress) override;

private:
    void writeValue(NetworkResolution resolution, int address, unsigned int value);

    IRawParameter* _rawInterface;
};

} // namespace tarvesk::core
