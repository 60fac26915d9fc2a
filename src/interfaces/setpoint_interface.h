#pragma once

#include "core/network_interface.h"
#include "core/network_resolution.h"

#include <QList>

namespace tarvesk::itf {

// A bus interface that may also carry plain set-point values (a DMX universe's
// channel levels). Buses without such a channel refuse them.
class SetpointInterface : public core::NetworkInterface
{
    Q_OBJECT

public:
    using core::NetworkInterface::NetworkInterface;
    ~SetpointInterface() override;

    virtual int sendSetpoint(const QList<int>& values, core::NetworkResolution resolution, int offset) = 0;
};

} // namespace tarvesk::itf
