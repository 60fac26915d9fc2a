#include "devices/dorvane_device_raw_cur_interface.h"

#include "core/itf_error.h"
#include "devices/dorvane_device_raw_brask_interface.h"

namespace tarvesk::devices {

DorvaneDeviceRawCurInterface::DorvaneDeviceRawCurInterface(core::Device* device, const QString& name,
    DorvaneDeviceRawBraskInterface* brask, int index, core::Device::MemoryLocation memory)
    : core::RawParameterInterface(device, name)
    , _brask(brask)
    , _index(index)
    , _memory(memory)
{ }

int DorvaneDeviceRawCurInterface::braskAddress(int address) const
{
    return address + (_memory == core::Device::MEM_RAM ? RamOffset : 0) + (_index == 2 ? ChipOffset : 0);
}

int DorvaneDeviceRawCurInterface::getParameter(
    core::NetworkResolution resolution, int address, unsigned int& value)
{
    return _brask ? _brask->getParameter(resolution, braskAddress(address), value) : core::ITF_ERR_NO_DEVICE;
}

int DorvaneDeviceRawCurInterface::setParameter(
    core::NetworkResolution resolution, int address, unsigned int value)
{
    return _brask ? _brask->setParameter(resolution, braskAddress(address), value) : core::ITF_ERR_NO_DEVICE;
}

} // namespace tarvesk::devices
