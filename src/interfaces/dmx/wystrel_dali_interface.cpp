#include "interfaces/dmx/wystrel_dali_interface.h"

#include "core/itf_error.h"
#include "interfaces/dmx/dmx_interface.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/dmx/dmx_packet.h"
#include "protocol/options.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <memory>

namespace tarvesk::itf {

WystrelDaliInterface::WystrelDaliInterface(core::Device* device, DmxInterface* dmx)
    : DaliInterface(device)
    , _dmx(dmx)
{ }

WystrelDaliInterface::~WystrelDaliInterface() = default;

int WystrelDaliInterface::sendDali(proto::DaliPacket* packet, proto::DaliPacket** reply, proto::Options*)
{
    if (!_dmx)
        return core::ITF_ERR_NO_DEVICE;
    if (!packet || packet->getDataSize() != 2)
        return core::ITF_ERR_UNSUPPORTED_FEATURE; // only a forward frame fits the pass-through frame
    proto::WystrelPacket frame(packet);
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::RetryInvalid, true);
    proto::DmxPacket* received = nullptr;
    const int status = _dmx->sendDmx(&frame, &received, &options);
    const std::unique_ptr<proto::DmxPacket> answer(received);
    if (status != core::ITF_OK)
        return status;
    if (!answer || answer->isTimeoutEvent())
        return core::ITF_OK;
    const proto::WystrelPacket wystrel(answer.get());
    std::unique_ptr<proto::DaliPacket> dali(wystrel.toDaliPacket());
    if (wystrel.cmd_hasErrorFlag())
        return core::ITF_ERR_UNSUPPORTED_MODULE;
    if (reply)
        *reply = dali.release();
    return core::ITF_OK;
}

} // namespace tarvesk::itf
