#pragma once

#include <QString>

namespace tarvesk::core {

// Maps the logical RAM addresses of a driver family onto the addresses that
// its raw interface takes.
class AbstractRamOffset
{
public:
    virtual ~AbstractRamOffset() = default;
    virtual int offsetForAddress(int address) const = 0;
    virtual int value(int address) const { return address + offsetForAddress(address); }
};

// Presmonde drivers: logical 0..1279 lie at 0x300..0x7FF, 1280..3327 at
// 0x1800..0x1FFF; any other address is taken as it is.
class PresmondeRamOffset : public AbstractRamOffset
{
public:
    int offsetForAddress(int address) const override;
};

class RamOffsetFactory
{
public:
    // Every raw interface known so far belongs to the Presmonde family; the
    // caller owns the result.
    static AbstractRamOffset* create(const QString& identification);
};

} // namespace tarvesk::core
