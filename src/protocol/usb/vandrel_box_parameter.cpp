#include "protocol/usb/vandrel_box_parameter.h"

#include "core/itf_error.h"

namespace tarvesk::proto {

namespace {

VandrelReport boxParameter(quint8 subCommand, quint16 number)
{
    VandrelReport report = vandrelCommandRequest(vandrel::VD_CMD_BOX_PARAMETER);
    report[1] = subCommand;
    report[4] = 1;
    report[6] = 1;
    report[7] = quint8(number >> 8);
    report[8] = quint8(number & 0xFF);
    return report;
}

} // namespace

VandrelReport vandrelBoxParameterGet(quint16 number)
{
    return boxParameter(vandrel::BoxParameterGet, number);
}

VandrelReport vandrelBoxParameterSet(quint16 number, quint16 value)
{
    VandrelReport report = boxParameter(vandrel::BoxParameterSet, number);
    report[9] = quint8(value >> 8);
    report[10] = quint8(value & 0xFF);
    return report;
}

int vandrelBoxParameterStatus(quint8 resultCode)
{
    switch (resultCode) {
    case vandrel::BoxParameterOk:
        return core::ITF_OK;
    case vandrel::BoxParameterTimeout:
        return core::ITF_ERR_TIMEOUT;
    case vandrel::BoxParameterFrameError:
        return core::ITF_ERR_PACKET_FRAME;
    case vandrel::BoxParameterTransferFailed:
        return core::ITF_ERR_TRANSFER;
    case vandrel::BoxParameterTooManyRetries:
        return core::ITF_ERR_TOO_MANY_RETRIES;
    default:
        return core::ITF_ERR_IO;
    }
}

} // namespace tarvesk::proto
