#include "service/rpc/rpc_methods/api/rpc_api_profile_program.h"

#include "core/device.h"
#include "core/device_manager.h"
#include "core/profile/profile.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/api/rpc_api_inner_call.h"
#include "service/rpc/rpc_methods/api/rpc_api_profile_match.h"
#include "service/rpc/rpc_methods/device/rpc_device_profile_set.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcApiProfileProgram::RpcApiProfileProgram()
    : AbstractRpcMethod(QStringLiteral("uut.profile.program"))
{ }

QList<RpcRequestParameter> RpcApiProfileProgram::inputParameters() const
{
    return api_profile::inputParameters();
}

RpcMethodError RpcApiProfileProgram::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const int id = request->getParam(QStringLiteral("device_id"))->getIntegerValue();
    const QString name = request->getParam(QStringLiteral("profile_name"))->getStringValue();
    const core::Profile* profile = api_profile::loadedProfile(name);
    core::Device* device = api_profile::knownDevice(id);
    api_profile::requireSameProfileType(*device, *profile);

    // Its failure is the client's error, with its own code. The store finds a
    // profile by name in any case, the inner method only by its exact name.
    RpcApiInnerCall program(new RpcDeviceProfileSet);
    program.add(QStringLiteral("device_id"), id)
        .add(QStringLiteral("profile_name"), profile->getName())
        .run();

    auto* result = new RpcObject;
    result->addChild(QStringLiteral("success"), new RpcValue(program.response().hasResult()));
    response->setResultValue(result);
    return {};
}

} // namespace tarvesk::service
