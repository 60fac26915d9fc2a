#include "interfaces/dorvane/dorvane_dali_interface.h"

#include "core/itf_error.h"
#include "interfaces/dorvane/dorvane_interface.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/options.h"

namespace tarvesk::itf {

DorvaneDaliInterface::DorvaneDaliInterface(core::Device* device, DorvaneInterface* dorvane, bool corvalt)
    : DaliInterface(device)
    , _dorvane(dorvane)
    , _corvalt(corvalt)
{ }

DorvaneDaliInterface::~DorvaneDaliInterface() = default;

int DorvaneDaliInterface::sendDali(
    proto::DaliPacket* packet, proto::DaliPacket** reply, proto::Options* options)
{
    if (!_dorvane)
        return core::ITF_ERR_NO_DEVICE;
    if (!packet)
        return core::ITF_ERR_INVALID_PARAM;
    proto::Options none;
    if (!options)
        options = &none;
    if (!options->hasOption(proto::option::InternalAddressing) && packet->isGroupCommand())
        options->addOption(proto::option::InternalAddressing, _corvalt);
    options->addOption(proto::option::DorvaneCorvalt, _corvalt);
    return _dorvane->sendVirtualDali(packet, reply, options);
}

} // namespace tarvesk::itf
