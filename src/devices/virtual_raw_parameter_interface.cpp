#include "devices/virtual_raw_parameter_interface.h"

#include "core/device.h"
#include "core/itf_error.h"

#include <QMutexLocker>

namespace tarvesk::devices {

VirtualRawParameterInterface::VirtualRawParameterInterface(core::Device* device, const QString& identifier)
    : core::RawParameterInterface(device, identifier)
{ }

int VirtualRawParameterInterface::widthInBytes(core::NetworkResolution resolution)
{
    switch (resolution) {
    case core::ITF_RES_BYTE:
        return 1;
    case core::ITF_RES_WORD:
        return 2;
    case core::ITF_RES_LONG:
        return 4;
    }
    return core::ITF_ERR_UNSUPPORTED_FEATURE;
}

int VirtualRawParameterInterface::getParameter(
    core::NetworkResolution resolution, int address, unsigned int& value)
{
    const int width = widthInBytes(resolution);
    if (width < 0)
        return width;
    QMutexLocker lock(&_mutex);
    unsigned int read = 0;
    for (int i = 0; i < width; ++i)
        read = (read << 8) | _memory[address + i]; // a byte read the first time is entered as 0
    value = read;
    return 0;
}

int VirtualRawParameterInterface::setParameter(
    core::NetworkResolution resolution, int address, unsigned int value)
{
    const int width = widthInBytes(resolution);
    if (width < 0)
        return width;
    QMutexLocker lock(&_mutex);
    for (int i = 0; i < width; ++i)
        _memory[address + i] = std::uint8_t(value >> (8 * (width - 1 - i)));
    return 0;
}

} // namespace tarvesk::devices
