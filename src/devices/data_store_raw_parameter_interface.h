#pragma once

#include "core/parameters/raw_parameter_interface.h"

namespace tarvesk::core {
class DataStore;
class Device;
} // namespace tarvesk::core

namespace tarvesk::devices {

// A firmware datastore seen as raw memory: one 14-bit flash word per address.
// A word read gives the whole word, a byte read its low 8 bits. A byte write
// changes only the low 8 bits of the word. What the image does not hold
// (an address outside it, a word never read or written) is a failure, not
// a value; so is a value the width or the 14-bit word cannot take, and
// nothing is written then.
class DataStoreRawParameterInterface : public core::RawParameterInterface
{
    Q_OBJECT

public:
    static constexpr unsigned WordMask = 0x3FFF;

    // The datastore is not owned; it outlives the interface.
    DataStoreRawParameterInterface(
        core::Device* device, const QString& identifier, core::DataStore* dataStore);

    int getParameter(core::NetworkResolution resolution, int address, unsigned int& value) override;
    int setParameter(core::NetworkResolution resolution, int address, unsigned int value) override;

private:
    core::DataStore* _dataStore;
};

} // namespace tarvesk::devices
