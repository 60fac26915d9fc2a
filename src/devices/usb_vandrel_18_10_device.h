#pragma once

#include "devices/usb_vandrel_device.h"

namespace tarvesk::devices {

// The older hardware release (any USB release but 0x2014): the DALI power, the
// Dorvane roles and the Dorvane reset are bits the host switches, the Dorvane
// address and mode live in the Dorvane controller's RAM.
class UsbVandrel18_10Device : public UsbVandrelDevice
{
    Q_OBJECT

public:
    // "dali_voltage_high" above this means the DALI supply is up.
    static constexpr unsigned int DaliSupplyThreshold = 330;
    static constexpr int DaliSupplyReads = 100;
    static constexpr int DaliPowerSettleMs = 20;
    static constexpr int DorvaneResetSettleMs = 30;

    explicit UsbVandrel18_10Device(core::Universe* universe);

    int getParamCallback(core::Parameter* param) override;
    int setParamCallback(core::Parameter* param, QVariant value) override;
    bool isStatusTrue(Status status) override;
    int setStatus(Status status, int on) override;
};

} // namespace tarvesk::devices
