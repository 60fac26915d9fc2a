#include "service/rpc/rpc_methods/device/rpc_device_profile_set.h"

#include "core/device.h"
#include "core/group_filter.h"
#include "core/itf_error.h"
#include "core/parameters/iparameter.h"
#include "core/profile/profile.h"
#include "core/profile/profile_manager.h"
#include "core/step.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_types/rpc_type_parameter.h"
#include "service/rpc/rpc_types/rpc_type_step.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <QDebug>

#include <memory>
#include <vector>

namespace tarvesk::service {

namespace {

void logStepTree(const core::Step& root)
{
    qDebug().noquote() << "************";
    qDebug().noquote() << "  ";
    qDebug().noquote() << "  ";
    root.debugPrint(0);
    qDebug().noquote() << "  ";
    qDebug().noquote() << "  ";
    qDebug().noquote() << "************";
}

} // namespace

RpcDeviceProfileSet::RpcDeviceProfileSet()
    : RpcDeviceBase(QStringLiteral("device.profile.set"))
{ }

QList<RpcRequestParameter> RpcDeviceProfileSet::inputParameters() const
{
    return {
        RpcRequestParameter(
            RpcRequestEnums::PARAM_DEVICE_ID, QVariant(), true, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_PROFILE_NAME, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_STEP_INFO, false, false, RpcRequestEnums::TYPE_BOOL),
        RpcRequestParameter(RpcRequestEnums::PARAM_ACCESS_LEVEL, QStringLiteral("user_basic"), false,
            RpcRequestEnums::TYPE_STRING,
            {QStringLiteral("user_basic"), QStringLiteral("user_detailed"), QStringLiteral("dev")}),
    };
}

RpcMethodError RpcDeviceProfileSet::handleRequest(RpcRequest* request, RpcResponse* response)
{
    core::Device* device = deviceOf(request);
    const QString name = request->getParam(QStringLiteral("profile_name"))->getStringValue();
    const QString accessLevel = request->getParam(QStringLiteral("access_level"))->getStringValue();
    RpcValue* stepInfoValue = request->getParam(QStringLiteral("step_info"));
    const bool stepInfo = stepInfoValue && stepInfoValue->getBoolValue();

    // The profile is this request's own: freed on every way out.
    int status = 0;
    std::unique_ptr<core::Profile> profile(core::ProfileManager::getProfileFromJsonString(
        database().get(), core::ProfileManager::GetJsonProfileByName(name), status));
    if (!profile)
        QM_THROW_JSONRPC(QStringLiteral("Profile '%1' not found").arg(name), RPC_ERROR_INTERNAL);

    core::Step root(QStringLiteral("ProfileSet"));
    status = device->setProfile(profile.get(), accessLevel, root, true, true);
    root.setResult(status == 0 ? QStringLiteral("ok") : QStringLiteral("error"));
    logStepTree(root);
    if (status != 0) {
        QM_THROW_JSONRPC(QStringLiteral("Error setting profile for device %1: %2")
                             .arg(device->getId())
                             .arg(device->getName()),
            RPC_ERROR_SERVER);
    }

    // No group listed and "not in": every group is kept.
    core::GroupFilter filter;
    filter.setOperation(core::GroupFilter::OPERATION_NOT_IN);
    std::vector<core::IParameter*> parameters;
    if (device->getAccessibleParameterList(accessLevel, false, parameters, &filter)
        == core::ITF_ERR_NO_DEVICE)
        throwConnectionLost(device);
    auto* array = new RpcTypeParameterArray(parameters);
    if (!stepInfo) {
        response->setResultValue(array);
        return {};
    }
    auto* result = new RpcObject;
    result->addChild(QStringLiteral("steps"), new RpcTypeStep(&root));
    result->addChild(QStringLiteral("parameters"), array);
    response->setResultValue(result);
    return {};
}

} // namespace tarvesk::service
