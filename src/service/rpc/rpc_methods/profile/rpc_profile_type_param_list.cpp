#include "service/rpc/rpc_methods/profile/rpc_profile_type_param_list.h"

#include "core/parameters/parameter.h"
#include "core/profile/iprofile_type_parameters.h"
#include "core/profile/profile_type.h"
#include "service/database/abstract_database.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_types/rpc_type_parameter.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <algorithm>
#include <vector>

namespace tarvesk::service {

RpcProfileTypeParamList::RpcProfileTypeParamList()
    : AbstractRpcMethod(QStringLiteral("profile.type.param.list"))
{ }

QList<RpcRequestParameter> RpcProfileTypeParamList::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_PROFILE_NAME, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_ACCESS_LEVEL, QStringLiteral("user_basic"), false),
    };
}

RpcMethodError RpcProfileTypeParamList::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const QString typeName = request->getParam(QStringLiteral("profile_name"))->getStringValue();
    const QString accessLevel = request->getParam(QStringLiteral("access_level"))->getStringValue();
    core::ProfileType* type = _database ? _database->profileType(typeName) : nullptr;
    if (!type) {
        QM_THROW_JSONRPC(
            QStringLiteral("no profile type with name '%1' exists").arg(typeName), RPC_ERROR_INVALID_PARAMS);
    }
    std::vector<core::IParameter*> kept;
    if (const auto schema = type->getParameters()) {
        for (core::IParameter* parameter : schema->getList()) {
            if (parameter->isAccessLevelSupported(accessLevel))
                kept.push_back(parameter);
        }
    }
    std::stable_sort(kept.begin(), kept.end(), core::paramLessThan);
    response->setResultValue(new RpcTypeParameterArray(kept));
    return {};
}

} // namespace tarvesk::service
