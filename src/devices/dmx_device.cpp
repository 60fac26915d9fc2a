#include "devices/dmx_device.h"

namespace tarvesk::devices {

DmxDevice::DmxDevice(core::Universe* universe)
    : core::Device(universe)
{
    setName(QStringLiteral("DMX Device"));
}

DmxDevice::~DmxDevice() = default;

} // namespace tarvesk::devices
