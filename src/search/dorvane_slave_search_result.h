#pragma once

#include "interfaces/dmx/spi_interface.h"
#include "search/search_result.h"

namespace tarvesk::search {

// A slave module behind a Dorvane port, by its kind and module index.
class DorvaneSlaveSearchResult : public SearchResult
{
public:
    DorvaneSlaveSearchResult(core::Universe* universe, itf::SpiDeviceType type, int index);
    itf::SpiDeviceType getType() const { return _type; }
    int getIndex() const { return _index; }
    core::Device* createDevice() override;

private:
    itf::SpiDeviceType _type;
    int _index;
};

} // namespace tarvesk::search
