#pragma once

#include "core/itf_error.h"
#include "interfaces/dmx/dmx_interface.h"
#include "protocol/dmx/dmx_packet.h"
#include "protocol/options.h"
#include "protocol/usb/vandrel_timing.h"
#include "protocol/wystrel/wystrel_packet.h"
#include "sim_bus_clock.h"
#include "sim_bus_model.h"

#include <memory>
#include <vector>

namespace tarvesk::test {

// A DMX line wired straight to simulated drivers and responders, without a
// Vandrel box in between, answering as the box does: several answers collide
// (a frame error), an awaited answer that does not come is a time-out event,
// and the send is repeated up to "retry_count" times while no answer came or,
// with "retry_invalid", while the answer fails the Wystrel checks. It counts
// the frames and the time they take on the line, an unanswered one with the
// answer time-out the box waits (as a box of firmware 21 counts it).
class SimBusDmxInterface : public itf::DmxInterface
{
public:
    SimBusDmxInterface()
        : itf::DmxInterface(nullptr)
    { }

    void add(std::shared_ptr<sim::SimBusModel> model) { models.push_back(std::move(model)); }

    int sendDmx(proto::DmxPacket* packet, proto::DmxPacket** reply, proto::Options* options) override
    {
        if (reply)
            *reply = nullptr;
        if (failNextSends > 0) {
            --failNextSends;
            return core::ITF_ERR_TRANSFER;
        }
        const bool expect = options && options->isOptionTrue(proto::option::ExpectAnswer);
        const bool retryInvalid = options && options->isOptionTrue(proto::option::RetryInvalid);
        const int attempts = options && options->hasOption(proto::option::RetryCount) && expect
            ? qMax(1, options->getOption(proto::option::RetryCount).toInt())
            : 1;
        const QByteArray frame(reinterpret_cast<const char*>(packet->getData()), packet->getDataSize());
        std::unique_ptr<proto::DmxPacket> answer;
        for (int attempt = 0; attempt < attempts; ++attempt) {
            answer = put(frame, expect, options);
            if (!answer || answer->isTimeoutEvent() || answer->getDataSize() == 0)
                continue;
            if (retryInvalid
                && proto::WystrelPacket(answer.get()).answer_isValid(proto::CHECK_IGNORE_NONE)
                    != core::ITF_OK)
                continue;
            break;
        }
        if (reply && expect)
            *reply = answer.release();
        return core::ITF_OK;
    }

    std::vector<std::shared_ptr<sim::SimBusModel>> models;
    int frames = 0;
    double busUs = 0;
    int failNextSends = 0;

private:
    static constexpr unsigned BoxFirmware = 21;

    std::unique_ptr<proto::DmxPacket> put(const QByteArray& frame, bool expect, proto::Options* options)
    {
        ++frames;
        busUs += sim::SimBusClock::dmxFrameUs(frame.size());
        std::optional<QByteArray> answer;
        int answers = 0;
        for (const auto& model : models) {
            if (std::optional<QByteArray> one = model->dmxFrame(frame)) {
                ++answers;
                answer = std::move(one);
            }
        }
        auto packet = std::make_unique<proto::DmxPacket>();
        if (answers > 1) {
            packet->setFlags(proto::PACKET_FLAG_FRAME_ERROR);
        } else if (answer) {
            busUs += sim::SimBusClock::dmxFrameUs(answer->size());
            packet = std::make_unique<proto::DmxPacket>(
                reinterpret_cast<const unsigned char*>(answer->constData()), answer->size());
        } else if (expect) {
            if (options->hasOption(proto::option::AnswerTimeout))
                busUs += proto::vandrelValueToTime(proto::VandrelTimeKind::AnswerTimeout,
                    options->getOption(proto::option::AnswerTimeout).toInt(), BoxFirmware);
            packet->setFlags(proto::PACKET_FLAG_TIMEOUT_EVENT);
        } else {
            return nullptr;
        }
        return packet;
    }
};

} // namespace tarvesk::test
