#include "devices/dorvane_legacy_device_raw_cur_interface.h"

#include "core/itf_error.h"
#include "devices/dorvane_legacy_device_raw_brask_interface.h"
#include "log/logging_categories.h"

namespace tarvesk::devices {

DorvaneLegacyDeviceRawCurInterface::DorvaneLegacyDeviceRawCurInterface(core::Device* device,
    const QString& name, DorvaneLegacyDeviceRawBraskInterface* brask, int index,
    core::Device::MemoryLocation memory)
    : core::RawParameterInterface(device, name)
    , _brask(brask)
    , _chip(index - 1)
    , _memory(memory)
{ }

int DorvaneLegacyDeviceRawCurInterface::readOnce(
    core::NetworkResolution resolution, int address, unsigned int& value)
{
    int status
        = _brask->setParameter(core::ITF_RES_WORD, AddressRegister, unsigned(address + _chip * ChipOffset));
    if (status != 0)
        return status;
    status = _brask->setParameter(
        core::ITF_RES_BYTE, CommandRegister, _memory == core::Device::MEM_EE ? ReadEeprom : ReadRam);
    if (status != 0)
        return status;
    for (int read = 0; read < StatusReads; ++read) {
        unsigned int flags = 0;
        status = _brask->getParameter(core::ITF_RES_BYTE, CommandRegister, flags);
        if (status != 0)
            return status;
        if (flags & Busy)
            continue;
        if (!(flags & DataReady))
            continue;
        unsigned int data = 0;
        status = _brask->getParameter(core::ITF_RES_WORD, DataRegister, data);
        if (status != 0)
            return status;
        if (_memory == core::Device::MEM_EE)
            data = byteSwap(data);
        value = resolution == core::ITF_RES_BYTE ? (data & 0xFF) : (data & 0xFFFF);
        return 0;
    }
    return core::ITF_ERR_TIMEOUT;
}

int DorvaneLegacyDeviceRawCurInterface::getParameter(
    core::NetworkResolution resolution, int address, unsigned int& value)
{
    if (_chip != 0 && _chip != 1) {
        qCCritical(service::loggerGlog()).noquote()
            << QStringLiteral("Invalid nordhune specified: %1").arg(_chip + 1);
        return core::ITF_ERR_INVALID_PARAM;
    }
    if (!_brask)
        return core::ITF_ERR_NO_DEVICE;
    if (resolution != core::ITF_RES_BYTE && resolution != core::ITF_RES_WORD)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    int status = core::ITF_ERR_NO_DEVICE;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        status = readOnce(resolution, address, value);
        if (status != core::ITF_ERR_NO_DEVICE && status != core::ITF_ERR_IO)
            return status;
    }
    return status;
}

int DorvaneLegacyDeviceRawCurInterface::setParameter(
    core::NetworkResolution resolution, int address, unsigned int value)
{
    if (!_brask)
        return core::ITF_ERR_NO_DEVICE;
    if (resolution != core::ITF_RES_BYTE && resolution != core::ITF_RES_WORD)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    int status
        = _brask->setParameter(core::ITF_RES_WORD, AddressRegister, unsigned(address + _chip * ChipOffset));
    if (status == 0) {
        status = _brask->setParameter(core::ITF_RES_WORD, DataRegister,
            resolution == core::ITF_RES_WORD ? byteSwap(value) : (value & 0xFF));
    }
    if (status == 0)
        status = _brask->setParameter(core::ITF_RES_BYTE, CommandRegister, Write);
    if (status != 0)
        return status;
    unsigned int flags = 0;
    return _brask->getParameter(core::ITF_RES_BYTE, CommandRegister, flags);
}

} // namespace tarvesk::devices
