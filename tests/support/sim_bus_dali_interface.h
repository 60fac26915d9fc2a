#pragma once

#include "core/itf_error.h"
#include "dali/sim_dali_bus.h"
#include "interfaces/dali_interface.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/options.h"

namespace tarvesk::test {

// A DALI interface wired straight to a simulated bus, without a Vandrel box in
// between: for the layers above sendDali against gear that follow the standard.
class SimBusDaliInterface : public itf::DaliInterface
{
public:
    explicit SimBusDaliInterface(sim::SimDaliBus& bus)
        : DaliInterface(nullptr)
        , _bus(bus)
    { }

    int sendDali(proto::DaliPacket* cmd, proto::DaliPacket** reply, proto::Options* options) override
    {
        // The box refuses to send on a bus without supply.
        if (!_bus.hasSupply())
            return core::ITF_ERR_TRANSFER;
        const QByteArray frame(reinterpret_cast<const char*>(cmd->getData()), cmd->getDataSize());
        sim::SimDaliAnswer answer = _bus.transmit(frame);
        if (options->isOptionTrue(QStringLiteral("send_twice")))
            answer = _bus.transmit(frame);
        if (!options->isOptionTrue(QStringLiteral("expect_answer")))
            return core::ITF_OK;
        switch (answer.kind) {
        case sim::SimDaliAnswer::Answer:
            *reply = new proto::DaliPacket(&answer.value, 1);
            break;
        case sim::SimDaliAnswer::Collision:
            *reply = new proto::DaliPacket();
            (*reply)->setFlags(proto::PACKET_FLAG_FRAME_ERROR);
            break;
        case sim::SimDaliAnswer::None:
        case sim::SimDaliAnswer::Late: // the answer window closed before it came
            *reply = new proto::DaliPacket();
            (*reply)->setFlags(proto::PACKET_FLAG_TIMEOUT_EVENT);
            break;
        }
        return core::ITF_OK;
    }

private:
    sim::SimDaliBus& _bus;
};

} // namespace tarvesk::test
