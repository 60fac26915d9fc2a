#pragma once

#include "core/parameters/raw_parameter_interface.h"

#include <QPointer>

namespace tarvesk::core {
class Device;
}

namespace tarvesk::itf {
class DorvaneInterface;
}

namespace tarvesk::devices {

// The parameter space of a current Dorvane driver ("presmonde"), reached with
// the bridge frames of the Dorvane port: an address request and, unless the
// port reads atomically, a value request 150 ms later; a write takes the value
// and then the address. A port that has parameter access built in is asked
// directly. Without a device (the search's probe) nothing is logged.
class DorvaneDeviceRawBraskInterface : public core::RawParameterInterface
{
    Q_OBJECT

public:
    static constexpr int Retries = 5;
    static constexpr int ValueRequestPauseMs = 150;

    // The Dorvane interface belongs to the universe and outlives this one.
    DorvaneDeviceRawBraskInterface(core::Device* device, const QString& name, itf::DorvaneInterface* dorvane);

    // -3 without a connected driver, -11 without an answer, -13 for a 32-bit access.
    int getParameter(core::NetworkResolution resolution, int address, unsigned int& value) override;
    // -3 without a connected driver (or, in the Dorvane 2 device role, without
    // the Vandrel device's "dorvane_ram"), else the first failing frame's status.
    int setParameter(core::NetworkResolution resolution, int address, unsigned int value) override;

protected:
    // The pause between the address and the value request; tests replace it.
    virtual void pause(int ms);

private:
    // The Vandrel device's packet log, when this interface belongs to a device.
    void logInfo(const QString& text) const;
    void logError(const QString& text) const;
    core::Device* logDevice() const;
    core::Device* ownDevice() const;

    QPointer<itf::DorvaneInterface> _dorvane;
};

} // namespace tarvesk::devices
