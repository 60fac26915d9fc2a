#include "service/rpc/rpc_methods/api/rpc_api_device_convert_rb57.h"

#include "core/device.h"
#include "core/device_manager.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/api/rpc_api_inner_call.h"
#include "service/rpc/rpc_methods/api/rpc_api_profile_match.h"
#include "service/rpc/rpc_methods/device/rpc_device_param_get.h"
#include "service/rpc/rpc_methods/device/rpc_device_param_set.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

namespace {

const QString kDelay = QStringLiteral("extra_startup_delay");

[[noreturn]] void notSupported(const QString& deviceName)
{
    QM_THROW_JSONRPC(
        QStringLiteral("Device %1 does not support RB57 configuration").arg(deviceName), RPC_ERROR_INTERNAL);
}

} // namespace

RpcApiDeviceConvertToRB57::RpcApiDeviceConvertToRB57()
    : AbstractRpcMethod(QStringLiteral("uut.device.convert.rb57"))
{ }

QList<RpcRequestParameter> RpcApiDeviceConvertToRB57::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_DEVICE_ID, 0, true, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_API_VERSION, 1, true, RpcRequestEnums::TYPE_INTEGER),
    };
}

RpcMethodError RpcApiDeviceConvertToRB57::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const int id = request->getParam(QStringLiteral("device_id"))->getIntegerValue();
    core::Device* device = api_profile::knownDevice(id);
    const QString name = device->getName();

    RpcApiInnerCall get(new RpcDeviceParamGet);
    get.add(QStringLiteral("device_id"), id).add(QStringLiteral("pid"), kDelay);
    try {
        get.run();
    } catch (const JsonRpcException&) {
        notSupported(name);
    }
    if (!get.response().hasResult())
        notSupported(name);
    if (get.response().getResult(QStringLiteral("value"))->getIntegerValue() == 0) {
        QM_THROW_JSONRPC(
            QStringLiteral("Device %1 is already configured as RB57, or unable to configure device.")
                .arg(name),
            RPC_ERROR_INVALID_REQUEST);
    }

    // A failed write reaches the client with the inner method's own code.
    RpcApiInnerCall set(new RpcDeviceParamSet);
    set.add(QStringLiteral("device_id"), id)
        .add(QStringLiteral("pid"), kDelay)
        .add(QStringLiteral("value"), 0);
    set.run();
    if (!set.response().hasResult())
        notSupported(name);

    auto* result = new RpcObject;
    result->addChild(QStringLiteral("success"), new RpcValue(true));
    response->setResultValue(result);
    return {};
}

} // namespace tarvesk::service
