#pragma once

#include "core/device.h"
#include "core/network_interface.h"

namespace tarvesk::test {

// The smallest concrete device: it lives on whatever bus its interface is.
class PlainDevice : public core::Device
{
    Q_OBJECT

public:
    explicit PlainDevice(core::Universe* universe, const QString& name = QString())
        : core::Device(universe)
    {
        if (!name.isEmpty())
            setName(name);
    }

    core::InterfaceType getInterfaceType() const override
    {
        return getInterface() ? getInterface()->getInterfaceType() : core::ITF_TYPE_UNKNOWN;
    }
};

} // namespace tarvesk::test
