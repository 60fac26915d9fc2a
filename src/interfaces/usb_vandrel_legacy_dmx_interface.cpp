#include "interfaces/usb_vandrel_legacy_dmx_interface.h"

#include "core/device.h"
#include "core/itf_error.h"
#include "interfaces/iusb_vandrel_device.h"
#include "interfaces/lib_usb_interface.h"
#include "protocol/dmx/dmx_packet.h"
#include "protocol/options.h"
#include "protocol/usb/usb_vandrel_packet.h"
#include "protocol/usb/vandrel_dmx_request.h"

#include <memory>
#include <mutex>

namespace tarvesk::itf {

UsbVandrelLegacyDmxInterface::UsbVandrelLegacyDmxInterface(core::Device* device)
    : DmxInterface(device)
{ }

UsbVandrelLegacyDmxInterface::~UsbVandrelLegacyDmxInterface() = default;

void UsbVandrelLegacyDmxInterface::init()
{
    core::Device* device = getParentDevice();
    _transport = device ? qobject_cast<LibUsbInterface*>(device->getInterface()) : nullptr;
    _vandrel = dynamic_cast<IUsbVandrelDevice*>(device);
}

int UsbVandrelLegacyDmxInterface::sendDmx(
    proto::DmxPacket* packet, proto::DmxPacket** answer, proto::Options* options)
{
    core::Device* device = getParentDevice();
    if (!device || !device->isConnected() || !_transport || !_vandrel)
        return core::ITF_ERR_NO_DEVICE;
    if (!packet)
        return core::ITF_ERR_INVALID_PARAM;
    proto::Options noOptions;
    proto::VandrelDmxOptions settings;
    const int read = proto::VandrelDmxOptions::read(
        options ? *options : noOptions, device->getVersion(), DefaultAttempts, settings);
    if (read != core::ITF_OK)
        return read;
    const std::optional<proto::VandrelReport> bytes
        = proto::buildVandrelLegacyDmxReport(packet->getRawDataString());
    if (!bytes)
        return core::ITF_ERR_INVALID_PARAM;
    const proto::UsbVandrelPacket request(bytes->data(), int(bytes->size()));

    std::unique_ptr<proto::DmxPacket> received;
    int status = core::ITF_OK;
    for (int attempt = 0; attempt < settings.attempts; ++attempt) {
        {
            std::lock_guard<core::NetworkInterface> exchange(*_transport);
            proto::UsbVandrelPacket reply;
            status = _transport->transferPacket(_vandrel->getDeviceHandle(), &request, &reply);
            const QByteArray frame = status == core::ITF_OK
                ? proto::vandrelLegacyDmxAnswer(reply.getData(), reply.getDataSize())
                : QByteArray();
            if (!frame.isEmpty())
                received = std::make_unique<proto::DmxPacket>(
                    reinterpret_cast<const unsigned char*>(frame.constData()), frame.size());
        }
        if (settings.expectAnswer && received)
            break;
    }
    if (settings.expectAnswer && !received)
        return core::ITF_ERR_NO_REPLY;
    if (answer && received)
        *answer = received.release();
    return status;
}

int UsbVandrelLegacyDmxInterface::sendDmxSpam(proto::DmxPacket*, int, bool&, int&)
{
    return core::ITF_ERR_UNSUPPORTED_FEATURE;
}

} // namespace tarvesk::itf
