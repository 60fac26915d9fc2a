#pragma once

#include "core/device.h"

namespace tarvesk::devices {

// The base of the devices on a DMX512 line; the kind of device says which bus
// type it reports.
class DmxDevice : public core::Device
{
    Q_OBJECT

public:
    explicit DmxDevice(core::Universe* universe);
    ~DmxDevice() override;
};

} // namespace tarvesk::devices
