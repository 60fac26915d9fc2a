#include "core/memory/ram_offset.h"

namespace tarvesk::core {

int PresmondeRamOffset::offsetForAddress(int address) const
{
    if (address >= 0 && address <= 1279)
        return 0x300;
    if (address >= 1280 && address <= 3327)
        return 0x1300;
    return 0;
}

AbstractRamOffset* RamOffsetFactory::create(const QString& /*identification*/)
{
    return new PresmondeRamOffset();
}

} // namespace tarvesk::core
