#include "devices/dmx_device_raw_brask_interface.h"

#include "core/itf_error.h"
#include "devices/dmx_bidir_device.h"
#include "interfaces/dmx/dmx_interface.h"
#include "protocol/options.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <memory>

namespace tarvesk::devices {

DmxDeviceRawBraskInterface::DmxDeviceRawBraskInterface(DmxBidirDevice* device, const QString& identifier)
    : RawParameterInterface(device, identifier)
    , _device(device)
    , _dmx(device ? qobject_cast<itf::DmxInterface*>(device->getInterface()) : nullptr)
{ }

DmxDeviceRawBraskInterface::~DmxDeviceRawBraskInterface() = default;

// One send with the common options. 0 with the answer in *answer, -11 when
// none came (timeoutEvent tells a time-out event from silence), or the send's status.
int DmxDeviceRawBraskInterface::exchange(
    proto::WystrelPacket& frame, proto::WystrelPacket* answer, bool& timeoutEvent)
{
    timeoutEvent = false;
    if (!_dmx)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::RetryCount, 5);
    options.addOption(proto::option::AnswerTimeout, answerTimeoutFor(_device->getSkipCount()));
    options.addOption(proto::option::RetryInvalid, true);
    proto::DmxPacket* received = nullptr;
    const int status = _dmx->sendDmx(&frame, &received, &options);
    std::unique_ptr<proto::DmxPacket> owned(received);
    if (status != core::ITF_OK)
        return status;
    if (!owned || owned->getDataSize() == 0)
        return core::ITF_ERR_NO_REPLY;
    if (owned->isTimeoutEvent()) {
        timeoutEvent = true;
        return core::ITF_ERR_NO_REPLY;
    }
    *answer = proto::WystrelPacket(owned.get());
    return core::ITF_OK;
}

int DmxDeviceRawBraskInterface::getParameter(
    core::NetworkResolution resolution, int address, unsigned int& value)
{
    proto::WystrelPacket frame(proto::WystrelPacket::WY_CMD_READ);
    frame.setSkipCount(quint8(_device->getSkipCount()));
    frame.setLid(quint16(_device->getLocalId()));
    frame.param_setNumber(quint16(address));
    frame.checksum_recalculate();
    int result = core::ITF_ERR_NO_REPLY;
    for (int attempt = 0; attempt < ReadAttempts; ++attempt) {
        proto::WystrelPacket answer;
        bool timeoutEvent = false;
        result = exchange(frame, &answer, timeoutEvent);
        if (result != core::ITF_OK)
            continue; // a time-out event, silence or a failed send: try again
        result = answer.answer_isValid(proto::CHECK_IGNORE_NONE);
        if (result != core::ITF_OK)
            continue;
        if (answer.cmd_hasErrorFlag())
            return core::ITF_ERR_UNSUPPORTED_PARAMETER;
        const unsigned raw = unsigned(answer.param_getValue(false, false, true));
        value = resolution == core::ITF_RES_BYTE ? (raw & 0xFF) : (raw & 0xFFFF);
        return core::ITF_OK;
    }
    return result;
}

int DmxDeviceRawBraskInterface::setParameter(core::NetworkResolution, int address, unsigned int value)
{
    proto::WystrelPacket frame(proto::WystrelPacket::WY_CMD_WRITE);
    frame.setSkipCount(quint8(_device->getSkipCount()));
    frame.setLid(quint16(_device->getLocalId()));
    frame.param_setNumber(quint16(address));
    frame.param_setValue(quint16(value));
    frame.checksum_recalculate();
    proto::WystrelPacket answer;
    bool timeoutEvent = false;
    const int status = exchange(frame, &answer, timeoutEvent);
    if (status == core::ITF_ERR_NO_REPLY)
        return status;
    if (status != core::ITF_OK)
        return core::ITF_ERR_NO_REPLY;
    return answer.cmd_hasErrorFlag() ? core::ITF_ERR_UNSUPPORTED_PARAMETER : core::ITF_OK;
}

} // namespace tarvesk::devices
