#include "devices/usb_vandrel_raw_brask_interface.h"

#include "core/itf_error.h"
#include "devices/usb_vandrel_device.h"
#include "interfaces/lib_usb_interface.h"
#include "log/logging_categories.h"
#include "protocol/usb/usb_vandrel_packet.h"
#include "protocol/usb/vandrel_request.h"

#include <mutex>

namespace tarvesk::devices {

UsbVandrelRawBraskInterface::UsbVandrelRawBraskInterface(
    UsbVandrelDevice* device, const QString& name, itf::LibUsbInterface* usb)
    : core::RawParameterInterface(device, name)
    , _device(device)
    , _usb(usb)
{ }

int UsbVandrelRawBraskInterface::exchange(const unsigned char* requestBytes, unsigned char* replyBytes)
{
    if (!_usb)
        return core::ITF_ERR_NO_DEVICE;
    const proto::UsbVandrelPacket request(requestBytes, proto::UsbPacket::ReportSize);
    proto::UsbVandrelPacket reply;
    std::lock_guard<core::NetworkInterface> exchange(*_usb);
    int status = core::ITF_ERR_TRANSFER;
    for (int attempt = 0; attempt < Attempts && status != core::ITF_OK; ++attempt)
        status = _usb->transferPacket(_device->getDeviceHandle(), &request, &reply);
    if (status != core::ITF_OK)
        return status;
    if (reply.isUnsupported() || reply.isNotReady())
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    for (int i = 0; i < 5; ++i)
        replyBytes[i] = reply.getUint8(i);
    return core::ITF_OK;
}

int UsbVandrelRawBraskInterface::getParameter(
    core::NetworkResolution resolution, int address, unsigned int& value)
{
    const proto::VandrelReport request = proto::vandrelGetParameterRequest(quint16(address));
    unsigned char reply[5] = {};
    const int status = exchange(request.data(), reply);
    if (status != core::ITF_OK)
        return status;
    value = resolution == core::ITF_RES_BYTE ? reply[4] : (unsigned(reply[3]) << 8) | reply[4];
    if (address == 0 && value > VersionLimit)
        qCCritical(service::loggerGlog()).noquote()
            << GLOG_PREFIX
            << QStringLiteral("Version retrieval went wrong, retrieved a value of \"%1\"").arg(value);
    return core::ITF_OK;
}

int UsbVandrelRawBraskInterface::setParameter(core::NetworkResolution, int address, unsigned int value)
{
    const proto::VandrelReport request = proto::vandrelSetParameterRequest(quint16(address), quint16(value));
    unsigned char reply[5] = {};
    return exchange(request.data(), reply);
}

} // namespace tarvesk::devices
