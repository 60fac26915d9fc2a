#include "interfaces/dmx/dmx_interface.h"

#include "core/itf_error.h"
#include "protocol/dmx/dmx_packet.h"
#include "protocol/options.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <memory>

namespace tarvesk::itf {

DmxInterface::DmxInterface(core::Device* device)
    : SetpointInterface(device, core::ITF_TYPE_DMX)
{ }

DmxInterface::~DmxInterface() = default;

void DmxInterface::init() { }

int DmxInterface::sendSetpoint(const QList<int>& values, core::NetworkResolution, int)
{
    proto::DmxPacket frame;
    frame.appendByte(proto::DmxPacket::StartCode);
    for (int value : values) {
        if (frame.appendByte(quint8(value & 0xFF)) != core::ITF_OK)
            return core::ITF_ERR_INVALID_PARAM; // more slots than a frame holds
    }
    proto::Options options;
    proto::DmxPacket* reply = nullptr;
    const int status = sendDmx(&frame, &reply, &options);
    delete reply;
    return status;
}

int DmxInterface::sendBootloaderModeAccessCommand(
    int parameter, int valueHigh, int valueLow, bool expectAnswer)
{
    proto::WystrelPacket frame;
    frame.special_setSetP254(0);
    frame.setByte(4, quint8(parameter & 0xFF));
    frame.setByte(5, quint8(valueHigh & 0xFF));
    frame.setByte(6, quint8(valueLow & 0xFF));
    frame.checksum_recalculate();

    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, expectAnswer);
    options.addOption(
        proto::option::RetryCount, expectAnswer ? AccessRetriesWithAnswer : AccessRetriesWithoutAnswer);
    if (expectAnswer)
        options.addOption(proto::option::RetryInvalid, true);
    proto::DmxPacket* reply = nullptr;
    const int status = sendDmx(&frame, &reply, &options);
    const bool answered = reply != nullptr && !reply->isTimeoutEvent();
    delete reply;
    if (status == core::ITF_OK && expectAnswer && !answered)
        return core::ITF_ERR_NO_REPLY;
    return status;
}

} // namespace tarvesk::itf
