#pragma once

#include "core/network_interface.h"

#include <QList>

namespace tarvesk::itf {

// The interface of a virtual device, which has no hardware behind it.
class VirtualInterface : public core::NetworkInterface
{
    Q_OBJECT

public:
    explicit VirtualInterface(core::Device* device);
    ~VirtualInterface() override;

    // Nothing to send to: always ITF_ERR_UNSUPPORTED_FEATURE.
    int sendSetpoint(const QList<int>& values, core::NetworkResolution resolution, int offset);
};

} // namespace tarvesk::itf
