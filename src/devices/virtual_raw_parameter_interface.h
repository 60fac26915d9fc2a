#pragma once

#include "core/parameters/raw_parameter_interface.h"

#include <QMutex>

#include <cstdint>
#include <map>

namespace tarvesk::core {
class Device;
}

namespace tarvesk::devices {

// The memory of a virtual device: a sparse byte store that lives as long as
// the device and is never saved. An address never written reads 0. Wider
// values span consecutive bytes, most significant byte first: a word two
// bytes, a long four.
class VirtualRawParameterInterface : public core::RawParameterInterface
{
    Q_OBJECT

public:
    VirtualRawParameterInterface(core::Device* device, const QString& identifier);

    int getParameter(core::NetworkResolution resolution, int address, unsigned int& value) override;
    int setParameter(core::NetworkResolution resolution, int address, unsigned int value) override;

private:
    // ITF_ERR_UNSUPPORTED_FEATURE for a width outside the three.
    static int widthInBytes(core::NetworkResolution resolution);

    QMutex _mutex;                       // the device methods may reach the store from several threads
    std::map<int, std::uint8_t> _memory; // guarded by _mutex
};

} // namespace tarvesk::devices
