#include "service/rpc/rpc_methods/device/rpc_device_list.h"

#include "core/device.h"
#include "core/device_manager.h"
#include "core/network_interface.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_types/rpc_type_device.h"
#include "service/rpc_array.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <memory>

namespace tarvesk::service {

RpcDeviceList::RpcDeviceList()
    : AbstractRpcMethod(QStringLiteral("device.list"))
{ }

QList<RpcRequestParameter> RpcDeviceList::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_INTERFACE_TYPE, QStringLiteral("all"), false),
        RpcRequestParameter(RpcRequestEnums::PARAM_ACCESS_LEVEL, QStringLiteral("user_detailed"), false),
        RpcRequestParameter(RpcRequestEnums::PARAM_LIST_SUBDEVICES, false, false),
    };
}

RpcMethodError RpcDeviceList::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const core::InterfaceType type = core::NetworkInterface::interfaceTypeFromString(
        request->getParam(QStringLiteral("interface_type"))->getStringValue());
    const QString accessLevel = request->getParam(QStringLiteral("access_level"))->getStringValue();
    QList<core::Device*> devices;
    core::DeviceManager::instance().getDeviceList(devices, type);
    auto result = std::make_unique<RpcArray>();
    for (core::Device* device : qAsConst(devices)) {
        if (!device)
            QM_THROW_JSONRPC(QStringLiteral("Invalid device found in device list"), RPC_ERROR_INTERNAL);
        if (device->isAccessLevelSupported(accessLevel))
            result->addChild(new RpcTypeDevice(device));
    }
    response->setResultValue(result.release());
    return {};
}

} // namespace tarvesk::service
