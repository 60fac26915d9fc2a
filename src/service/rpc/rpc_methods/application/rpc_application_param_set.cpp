#include "service/rpc/rpc_methods/application/rpc_application_param_set.h"

#include "service/json_rpc_exception.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <QCoreApplication>

namespace tarvesk::service {

RpcApplicationParamSet::RpcApplicationParamSet()
    : AbstractRpcMethod(QStringLiteral("application.param.set"))
{ }

QList<RpcRequestParameter> RpcApplicationParamSet::inputParameters() const
{
    return {RpcRequestParameter(RpcRequestEnums::PARAM_PID, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_VALUE, QVariant(), true)};
}

// Only what list and get report changes: the application data folder was
// fixed when the pass started, so a new name moves no files.
RpcMethodError RpcApplicationParamSet::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const QString written = request->getParam(QStringLiteral("pid"))->getVariantValue().toString();
    const QString pid = written.toLower();
    const RpcValue* value = request->getParam(QStringLiteral("value"));
    const QString text = value->getVariantValue().toString();

    if (pid == QLatin1String("application_version_string") || pid == QLatin1String("version"))
        QCoreApplication::setApplicationVersion(text);
    else if (pid == QLatin1String("name"))
        QCoreApplication::setApplicationName(text);
    else
        QM_THROW_JSONRPC(
            QStringLiteral("invalid application parameter: %1").arg(written), RPC_ERROR_INVALID_PARAMS);

    auto* result = new RpcObject;
    result->addChild(QStringLiteral("name"), new RpcValue(written));
    result->addChild(QStringLiteral("value"), value->clone());
    response->setResultValue(result);
    return {};
}

} // namespace tarvesk::service
