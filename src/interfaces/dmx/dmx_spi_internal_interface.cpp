#include "interfaces/dmx/dmx_spi_internal_interface.h"

#include "interfaces/dmx/dmx_interface.h"
#include "protocol/options.h"

namespace tarvesk::itf {

DmxSpiInternalInterface::DmxSpiInternalInterface(core::Device* device, DmxInterface* dmx)
    : DmxSpiInterface(device, dmx, true)
{ }

DmxSpiInternalInterface::~DmxSpiInternalInterface() = default;

int DmxSpiInternalInterface::sendDmx(proto::DmxPacket* packet, proto::DmxPacket** reply)
{
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::AnswerTimeout, InternalAnswerTimeout);
    options.addOption(proto::option::Internal, true);
    options.addOption(proto::option::RetryInvalid, true);
    options.addOption(proto::option::RetryCount, DmxRetries);
    return dmx()->sendDmx(packet, reply, &options);
}

} // namespace tarvesk::itf
