#pragma once

#include "interfaces/dmx/dmx_spi_interface.h"

namespace tarvesk::itf {

// The SPI side of the Vandrel box's own Dorvane controller: atomic SPI frames
// that the box takes itself ("internal") and passes to its slave modules.
class DmxSpiInternalInterface : public DmxSpiInterface
{
    Q_OBJECT

public:
    static constexpr int InternalAnswerTimeout = 65000;

    DmxSpiInternalInterface(core::Device* device, DmxInterface* dmx);
    ~DmxSpiInternalInterface() override;

    int sendDmx(proto::DmxPacket* packet, proto::DmxPacket** reply) override;
};

} // namespace tarvesk::itf
