#pragma once

#include <QList>

namespace tarvesk::core {

// Converts a block between its byte form and the values that driver memory holds.
class Codec
{
public:
    virtual ~Codec() = default;
};

// Bytes go to memory as they are.
class MemoryEncoder : public Codec
{
public:
    virtual QList<int> encode(const QList<int>& bytes) const { return bytes; }
};

class MemoryDecoder : public Codec
{
public:
    virtual QList<int> decode(const QList<int>& values) const = 0;
};

// Flash rows hold three bytes in two 14-bit words, 12 bits of each used:
// word 0 = b0 | (b2 & 0x0F) << 8, word 1 = b1 | (b2 & 0xF0) << 4.
// An odd number of words cannot be unpacked and gives an empty list.
class FlashMemoryDecoder : public MemoryDecoder
{
public:
    QList<int> decode(const QList<int>& words) const override;
};

} // namespace tarvesk::core
