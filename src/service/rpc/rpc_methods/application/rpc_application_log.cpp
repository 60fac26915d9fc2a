#include "service/rpc/rpc_methods/application/rpc_application_log.h"

#include "log/logging_categories.h"
#include "service/rpc/rpc_types/rpc_type_action_result.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcApplicationLog::RpcApplicationLog()
    : AbstractRpcMethod(QStringLiteral("application.log"))
{ }

QList<RpcRequestParameter> RpcApplicationLog::inputParameters() const
{
    return {RpcRequestParameter(RpcRequestEnums::PARAM_MSG, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_LOG_TYPE, QStringLiteral("info"), false)};
}

RpcMethodError RpcApplicationLog::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const RpcValue* msg = request->getParam(QStringLiteral("msg"));
    const RpcValue* type = request->getParam(QStringLiteral("log_type"));
    const QString message = oneLogLine(msg ? msg->getStringValue() : QString());
    const QString logType = type ? type->getStringValue() : QStringLiteral("info");

    if (logType == QLatin1String("group_start"))
        qCDebug(loggerGlog()) << QStringLiteral("@{%1").arg(message);
    else if (logType == QLatin1String("group_end"))
        qCDebug(loggerGlog()) << QStringLiteral("@}%1").arg(message);
    else if (logType == QLatin1String("info"))
        qCDebug(loggerGlog()) << message;
    else if (logType == QLatin1String("warning"))
        qCWarning(loggerGlog()) << GLOG_PREFIX << message;
    else if (logType == QLatin1String("error"))
        qCCritical(loggerGlog()) << GLOG_PREFIX << message;

    response->setResultValue(new RpcTypeActionResult(QStringLiteral("ok"), tr("Message logged")));
    return {};
}

} // namespace tarvesk::service
