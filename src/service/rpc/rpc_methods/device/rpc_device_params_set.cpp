#include "service/rpc/rpc_methods/device/rpc_device_params_set.h"

#include "core/device.h"
#include "core/itf_error.h"
#include "core/json_text_guard.h"
#include "core/parameters/parameter.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_types/rpc_type_parameter.h"
#include "service/rpc_array.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>
#include <stdexcept>

namespace tarvesk::service {

namespace {

constexpr int Attempts = 3;

} // namespace

RpcDeviceParamsSet::RpcDeviceParamsSet()
    : RpcDeviceBase(QStringLiteral("device.params.set"))
{ }

QList<RpcRequestParameter> RpcDeviceParamsSet::inputParameters() const
{
    return {
        RpcRequestParameter(
            RpcRequestEnums::PARAM_DEVICE_ID, QVariant(), true, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(
            RpcRequestEnums::PARAM_PARAMS_LIST, QVariant(), true, RpcRequestEnums::TYPE_STRING),
    };
}

RpcMethodError RpcDeviceParamsSet::handleRequest(RpcRequest* request, RpcResponse* response)
{
    core::Device* device = deviceOf(request);
    const QString text = request->getParam(QStringLiteral("params_list"))->getStringValue();
    const QByteArray utf8 = text.toUtf8();
    QJsonParseError error {};
    const bool strict = core::jsonTextFault(utf8).isEmpty();
    const QJsonDocument document = strict ? QJsonDocument::fromJson(utf8, &error) : QJsonDocument();
    if (!strict || error.error != QJsonParseError::NoError)
        QM_THROW_JSONRPC(
            QStringLiteral("parameter list data incorrect json format:\n ") + text, RPC_ERROR_PARSE);
    if (!document.isArray())
        QM_THROW_JSONRPC(
            QStringLiteral("parameter list data must be a json array:"), RPC_ERROR_INVALID_PARAMS);

    auto reply = std::make_unique<RpcArray>();
    for (const QJsonValue& element : document.array()) {
        const QJsonObject entry = element.toObject();
        const QString pid = entry.value(QStringLiteral("pid")).toString();
        auto* parameter = qobject_cast<core::Parameter*>(device->getParameterInterface(pid));
        if (!parameter || !parameter->isEnabled()) {
            QM_THROW_JSONRPC(
                QStringLiteral("parameter '%1' is not a valid parameter for device %2 with id %3")
                    .arg(pid, device->getName())
                    .arg(device->getId()),
                RPC_ERROR_INVALID_PARAMS);
        }
        const QVariant value = entry.value(QStringLiteral("value")).toVariant();
        if (!value.isValid() || value.isNull()) {
            QM_THROW_JSONRPC(QStringLiteral("invalid value provided for parameter '%1'").arg(pid),
                RPC_ERROR_INVALID_PARAMS);
        }
        int status = 0;
        try {
            for (int attempt = 0; attempt < Attempts; ++attempt) {
                status = parameter->setScaledValue(value, core::IParameter::UPDATE_YES);
                if (status == 0)
                    break;
            }
        } catch (const std::runtime_error&) { // a value the parameter cannot hold
            QM_THROW_JSONRPC(QStringLiteral("invalid value provided for parameter '%1'").arg(pid),
                RPC_ERROR_INVALID_PARAMS);
        }
        if (status == core::ITF_ERR_NO_DEVICE)
            throwConnectionLost(device);
        if (status != 0) {
            QM_THROW_JSONRPC(QStringLiteral("Could not set parameter %1 with value %2. error %3")
                                 .arg(pid, value.toString(), core::itfErrorToString(status)),
                RPC_ERROR_INTERNAL);
        }
        reply->addChild(new RpcTypeParameter(parameter));
    }
    device->profileSetPost(nullptr);
    response->setResultValue(reply.release());
    return {};
}

} // namespace tarvesk::service
