#pragma once

#include "core/parameters/raw_parameter_interface.h"

#include <QPointer>

namespace tarvesk::core {
class Device;
}

namespace tarvesk::itf {
class DaliInterface;
class DorvaneInterface;
} // namespace tarvesk::itf

namespace tarvesk::devices {

// The parameter space of a legacy Dorvane driver ("presmonde"): addresses
// below 128 in the legacy frames (address, +0x80 for a word; 0x0A; value low,
// high), addresses from 128 on in DALI memory bank 1 at the low byte of the
// address.
class DorvaneLegacyDeviceRawBraskInterface : public core::RawParameterInterface
{
    Q_OBJECT

public:
    static constexpr int Retries = 5;
    static constexpr int FirstDaliAddress = 128;
    static constexpr unsigned char WordBit = 0x80;

    // Both interfaces outlive this one (the universe's and the device's).
    DorvaneLegacyDeviceRawBraskInterface(
        core::Device* device, const QString& name, itf::DorvaneInterface* dorvane, itf::DaliInterface* dali);

    // -3 without a connected driver or without an answer.
    int getParameter(core::NetworkResolution resolution, int address, unsigned int& value) override;
    int setParameter(core::NetworkResolution resolution, int address, unsigned int value) override;

private:
    QPointer<itf::DorvaneInterface> _dorvane;
    QPointer<itf::DaliInterface> _dali;
};

} // namespace tarvesk::devices
