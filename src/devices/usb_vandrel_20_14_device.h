#pragma once

#include "devices/usb_vandrel_device.h"

namespace tarvesk::devices {

// The newer hardware release (USB release 0x2014): DALI power and the Dorvane
// roles are the box's own business; the Dorvane address, mode and reset are
// firmware registers; the box hands out a block of status bytes.
class UsbVandrel20_14Device : public UsbVandrelDevice
{
    Q_OBJECT

public:
    static constexpr int StatusBlockSize = 63;

    explicit UsbVandrel20_14Device(core::Universe* universe);

    int getParamCallback(core::Parameter* param) override;
    int setParamCallback(core::Parameter* param, QVariant value) override;
    bool isStatusTrue(Status status) override;
    int setStatus(Status status, int on) override;
    // Appends the 63 status bytes; on a failed transfer appends nothing and
    // returns its status.
    int getStatusData(QByteArray& out) override;
};

} // namespace tarvesk::devices
