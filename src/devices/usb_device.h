#pragma once

#include "core/device.h"

namespace tarvesk::devices {

// A device that is itself a USB peripheral.
class UsbDevice : public core::Device
{
    Q_OBJECT

public:
    explicit UsbDevice(core::Universe* universe);
    ~UsbDevice() override;

    bool isClaimed() const { return _claimed; }
    core::InterfaceType getInterfaceType() const override { return core::ITF_TYPE_USB; }
    virtual bool isOpen() const = 0;

protected:
    void setClaimed(bool claimed) { _claimed = claimed; }

private:
    bool _claimed = false;
};

} // namespace tarvesk::devices
