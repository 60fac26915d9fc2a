#include "service/rpc/rpc_methods/api/rpc_api_profile_match.h"

#include "core/device.h"
#include "core/device_manager.h"
#include "core/profile/profile.h"
#include "core/profile/profile_manager.h"
#include "core/profile/profile_type.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/rpc_request_parameter.h"
#include "service/rpc_error_codes.h"

namespace tarvesk::service::api_profile {

QList<RpcRequestParameter> inputParameters()
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_DEVICE_ID, 0, true, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(
            RpcRequestEnums::PARAM_PROFILE_NAME, QString(), true, RpcRequestEnums::TYPE_STRING),
        RpcRequestParameter(RpcRequestEnums::PARAM_API_VERSION, 1, true, RpcRequestEnums::TYPE_INTEGER),
    };
}

core::Profile* loadedProfile(const QString& name)
{
    auto* profile = qobject_cast<core::Profile*>(
        core::ProfileManager::instance().getItemByAttribute(QStringLiteral("name"), name));
    if (!profile) {
        QM_THROW_JSONRPC(
            QStringLiteral("Profile %1 not yet loaded or does not exist.").arg(name), RPC_ERROR_INTERNAL);
    }
    return profile;
}

core::Device* knownDevice(int id)
{
    auto* device = qobject_cast<core::Device*>(core::DeviceManager::instance().getItem(id));
    if (!device) {
        QM_THROW_JSONRPC(QStringLiteral("device %1 no longer available. connect device and execute "
                                        "uut.device.info command.")
                             .arg(id),
            RPC_ERROR_INTERNAL);
    }
    return device;
}

void requireSameProfileType(const core::Device& device, const core::Profile& profile)
{
    const core::ProfileType* deviceType = device.getProfileType();
    const core::ProfileType* profileType = profile.getProfileType();
    if (!deviceType || !profileType || deviceType->getName() != profileType->getName())
        QM_THROW_JSONRPC(QStringLiteral("Profile type does not match device type."), RPC_ERROR_INTERNAL);
}

} // namespace tarvesk::service::api_profile
