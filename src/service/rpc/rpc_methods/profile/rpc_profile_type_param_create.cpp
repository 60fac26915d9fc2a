#include "service/rpc/rpc_methods/profile/rpc_profile_type_param_create.h"

#include "core/parameters/custom_raw_parameter.h"
#include "core/profile/iprofile_type_parameters.h"
#include "core/profile/profile_type.h"
#include "service/database/abstract_database.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/profile/profile_method_support.h"
#include "service/rpc/rpc_types/rpc_type_profile.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <memory>

namespace tarvesk::service {

using profile_support::Fraction;

namespace {

// Marks the schema parameters that this method made, which a later call may
// replace; the product database's own it must not.
const char clientDefinedProperty[] = "qmClientDefinedRawParameter";

} // namespace

RpcProfileTypeParamCreate::RpcProfileTypeParamCreate()
    : AbstractRpcMethod(QStringLiteral("profile.type.param.create"))
{ }

QList<RpcRequestParameter> RpcProfileTypeParamCreate::inputParameters() const
{
    return profile_support::rawParameterInputs();
}

RpcMethodError RpcProfileTypeParamCreate::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const QString typeName = request->getParam(QStringLiteral("profile_name"))->getStringValue();
    core::ProfileType* type = _database ? _database->profileType(typeName) : nullptr;
    std::shared_ptr<core::IProfileTypeParameters> schema = type ? type->getParameters() : nullptr;
    if (!schema) {
        QM_THROW_JSONRPC(
            QStringLiteral("no profile type with name '%1' exists").arg(typeName), RPC_ERROR_INVALID_PARAMS);
    }
    const QString label = request->getParam(QStringLiteral("label"))->getStringValue();
    const int address = request->getParam(QStringLiteral("address"))->getIntegerValue();
    const QString rawInterface = request->getParam(QStringLiteral("raw_interface"))->getStringValue();
    const qint64 value = profile_support::wholeNumberOf(
        request->getParam(QStringLiteral("value")), QStringLiteral("value"), Fraction::Round, true);
    if (value < 0) {
        QM_THROW_JSONRPC(
            QStringLiteral("invalid value, stored value can not be a negative number: %1").arg(value),
            RPC_ERROR_INVALID_PARAMS);
    }
    const core::NetworkResolution width
        = profile_support::widthOf(request->getParam(QStringLiteral("resolution"))->getStringValue());
    profile_support::requireFitsWidth(value, width);
    core::IParameter* existing = schema->getParameterInterface(label);
    if (existing && !existing->property(clientDefinedProperty).toBool()) {
        QM_THROW_JSONRPC(QStringLiteral("parameter '%1' of profile type '%2' comes from the product database "
                                        "and cannot be replaced by a raw parameter")
                             .arg(label, typeName),
            RPC_ERROR_INVALID_PARAMS);
    }

    auto parameter = std::make_unique<core::CustomRawParameter>(
        label, address, profile_support::widthName(width), rawInterface);
    parameter->setActualValue(value <= 0x7FFFFFFF ? QVariant(int(value)) : QVariant(qlonglong(value)));
    parameter->setProperty(clientDefinedProperty, true);
    // The schema owns its parameters as their parent; a replaced one stays
    // with it, since profiles and devices may still point at it.
    if (parameter->thread() != schema->thread())
        parameter->moveToThread(schema->thread());
    parameter->setParent(schema.get());
    schema->addParameter(parameter.release());

    response->setResultValue(new RpcTypeProfileType(type));
    return {};
}

} // namespace tarvesk::service
