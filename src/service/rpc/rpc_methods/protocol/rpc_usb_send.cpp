#include "service/rpc/rpc_methods/protocol/rpc_usb_send.h"

#include "devices/usb_vandrel_device.h"
#include "interfaces/lib_usb_interface.h"
#include "protocol/usb/usb_packet.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/protocol/rpc_send_context.h"
#include "service/rpc_error_codes.h"

#include <memory>

namespace tarvesk::service {

RpcUsbSend::RpcUsbSend()
    : RpcSend(QStringLiteral("usb.send"))
{ }

QList<RpcRequestParameter> RpcUsbSend::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_DEVICE_ID, -1, true, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_BYTES, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_DEBUG_LEVEL, 0, false),
    };
}

void RpcUsbSend::checkValues(RpcRequest* request) const
{
    checkCount(requestBytes(request).size(), 1, proto::UsbPacket::ReportSize, QStringLiteral("a USB report"));
}

RpcMethodError RpcUsbSend::handleRequest(RpcRequest* request, RpcResponse* response)
{
    RpcSendContext context(request);
    initializeContext(request, context, core::ITF_TYPE_USB);
    auto* vandrel = qobject_cast<devices::UsbVandrelDevice*>(context.getDevice());
    auto* transport = vandrel ? qobject_cast<itf::LibUsbInterface*>(vandrel->getInterface()) : nullptr;
    if (!transport)
        QM_THROW_JSONRPC(QStringLiteral("Could not find a valid USB device"), RPC_ERROR_INTERNAL);

    proto::UsbPacket packet;
    initializePacket(request, packet);
    auto reply = std::make_unique<proto::UsbPacket>();
    const int status = transport->transferPacket(vandrel->getDeviceHandle(), &packet, reply.get());
    buildResponse(response, status, std::move(reply), false);
    return {};
}

} // namespace tarvesk::service
