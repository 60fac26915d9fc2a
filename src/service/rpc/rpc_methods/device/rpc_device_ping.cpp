#include "service/rpc/rpc_methods/device/rpc_device_ping.h"

#include "core/device.h"
#include "core/itf_error.h"
#include "core/network_resolution.h"
#include "core/parameters/raw_parameter_interface.h"
#include "service/json_rpc_exception.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcDevicePing::RpcDevicePing()
    : RpcDeviceBase(QStringLiteral("device.ping"))
{ }

bool RpcDevicePing::isExemptProductId(unsigned productId)
{
    return (productId >= 10 && productId <= 22) || productId == 24;
}

QList<RpcRequestParameter> RpcDevicePing::inputParameters() const
{
    return {RpcRequestParameter(
        RpcRequestEnums::PARAM_DEVICE_ID, QVariant(), true, RpcRequestEnums::TYPE_INTEGER)};
}

RpcMethodError RpcDevicePing::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const int id = request->getParam(QStringLiteral("device_id"))->getIntegerValue();
    core::Device* device = nullptr;
    findDevice(id, &device);
    if (device->getName().toLower().startsWith(QLatin1String("vandrel"))) {
        QM_THROW_JSONRPC(QStringLiteral("A ping command can only be executed for drivers, not for vandrels"),
            RPC_ERROR_INVALID_PARAMS);
    }
    core::RawParameterInterface* main = device->getRawParameterInterface(QStringLiteral("main"));
    if (!main) {
        QM_THROW_JSONRPC(
            QStringLiteral("Device %1 has no raw interface to communicate with firmware").arg(id),
            RPC_ERROR_INVALID_PARAMS);
    }
    unsigned int value = 0;
    if (main->getParameter(core::ITF_RES_BYTE, int(device->getProductIdAddress()), value) != core::ITF_OK) {
        QM_THROW_JSONRPC(
            QStringLiteral("Device %1 no longer connected, please perform a new device search").arg(id),
            RPC_ERROR_INVALID_PARAMS);
    }
    const unsigned current = value & 0xFF;
    const unsigned previous = device->getProductId();
    if (!isExemptProductId(previous) && previous != current) {
        QM_THROW_JSONRPC(
            QStringLiteral("Device %1 no longer maps to a driver name %2. product id does not match "
                           "(previous: %3, current: %4)")
                .arg(id)
                .arg(device->getName())
                .arg(previous)
                .arg(current),
            RPC_ERROR_INTERNAL);
    }
    response->setResultValue(new RpcValue());
    return {};
}

} // namespace tarvesk::service
