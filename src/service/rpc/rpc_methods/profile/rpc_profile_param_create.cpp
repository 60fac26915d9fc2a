#include "service/rpc/rpc_methods/profile/rpc_profile_param_create.h"

#include "core/parameters/parameter.h"
#include "core/profile/profile.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/profile/profile_method_support.h"
#include "service/rpc/rpc_types/rpc_type_parameter.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

using profile_support::Fraction;

RpcProfileParamCreate::RpcProfileParamCreate()
    : AbstractRpcMethod(QStringLiteral("profile.param.create"))
{ }

QList<RpcRequestParameter> RpcProfileParamCreate::inputParameters() const
{
    return profile_support::rawParameterInputs();
}

RpcMethodError RpcProfileParamCreate::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const QString name = request->getParam(QStringLiteral("profile_name"))->getStringValue();
    const QString label = request->getParam(QStringLiteral("label"))->getStringValue();
    const int address = request->getParam(QStringLiteral("address"))->getIntegerValue();
    if (address < 0) {
        QM_THROW_JSONRPC(
            QStringLiteral("invalid value %1, stored value can not be a negative number.").arg(address),
            RPC_ERROR_INVALID_PARAMS);
    }
    core::Profile* profile = profile_support::requireProfile(name);
    const QString rawInterface = request->getParam(QStringLiteral("raw_interface"))->getStringValue();
    const core::NetworkResolution width
        = profile_support::widthOf(request->getParam(QStringLiteral("resolution"))->getStringValue());

    const qint64 value = profile_support::wholeNumberOf(
        request->getParam(QStringLiteral("value")), QStringLiteral("value"), Fraction::Truncate, false);
    if (value < 0) {
        QM_THROW_JSONRPC(
            QStringLiteral("invalid value %1, stored value can not be a negative number.").arg(value),
            RPC_ERROR_INVALID_PARAMS);
    }
    profile_support::requireFitsWidth(value, width);

    core::Parameter parameter(address, label, rawInterface, width, core::Parameter::PARAM_READ_WRITE);
    parameter.setGroup(QStringLiteral("Unsorted"));
    parameter.setAccessLevel(QStringLiteral("user_basic"));
    parameter.setActualValue(value <= 0x7FFFFFFF ? QVariant(int(value)) : QVariant(qlonglong(value)));

    // An identifier the profile holds already keeps its parameter and value:
    // the reply shows what is stored.
    if (auto* stored = dynamic_cast<core::Parameter*>(profile->getParameter(parameter.getIdentifier()))) {
        response->setResultValue(new RpcTypeParameter(stored));
        return {};
    }
    profile->addParameter(&parameter);
    response->setResultValue(new RpcTypeParameter(&parameter));
    return {};
}

} // namespace tarvesk::service
