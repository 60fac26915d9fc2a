#include "devices/data_store_raw_parameter_interface.h"

#include "core/device.h"
#include "core/firmware.h"
#include "core/itf_error.h"
#include "core/parameters/datastore/data_store.h"

namespace tarvesk::devices {

namespace {

constexpr unsigned ByteMask = 0xFF;

bool insideImage(int address)
{
    return address >= 0 && address < core::Firmware::kWordLimit;
}

} // namespace

DataStoreRawParameterInterface::DataStoreRawParameterInterface(
    core::Device* device, const QString& identifier, core::DataStore* dataStore)
    : core::RawParameterInterface(device, identifier)
    , _dataStore(dataStore)
{ }

int DataStoreRawParameterInterface::getParameter(
    core::NetworkResolution resolution, int address, unsigned int& value)
{
    if (!_dataStore)
        return core::ITF_ERR_DATASTORE_UNINITIALISED;
    // An unset word reads -1: no value the driver holds.
    const int word = _dataStore->getWord(address);
    if (word < 0)
        return core::ITF_ERR_FW_ADDRESS_RANGE;
    value = resolution == core::ITF_RES_BYTE ? unsigned(word) & ByteMask : unsigned(word);
    return 0;
}

int DataStoreRawParameterInterface::setParameter(
    core::NetworkResolution resolution, int address, unsigned int value)
{
    if (!_dataStore)
        return core::ITF_ERR_DATASTORE_UNINITIALISED;
    if (!insideImage(address))
        return core::ITF_ERR_FW_ADDRESS_RANGE;
    const bool byte = resolution == core::ITF_RES_BYTE;
    // The image keeps the low 14 bits of a word: a wider value would be cut silently.
    if (value > (byte ? ByteMask : WordMask))
        return core::ITF_ERR_INVALID_PARAM;
    unsigned word = value;
    if (byte) {
        const int old = _dataStore->getWord(address);
        word = (old < 0 ? 0 : unsigned(old) & ~ByteMask) | value;
    }
    _dataStore->setWord(address, int(word));
    return 0;
}

} // namespace tarvesk::devices
