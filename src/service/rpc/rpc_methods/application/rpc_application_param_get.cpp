#include "service/rpc/rpc_methods/application/rpc_application_param_get.h"

#include "service/json_rpc_exception.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <memory>

namespace tarvesk::service {

namespace {

// The version numbers by pid, in the order of their dot-separated parts.
const char* const numberPids[] = {"major_version_number", "minor_version_number", "rc_number"};

int versionNumber(int index, const QString& pid, const QString& version)
{
    const QStringList parts = version.split(QLatin1Char('.'));
    if (parts.size() < 3) {
        QM_THROW_JSONRPC(
            QStringLiteral("Invalid application version format: %1. expected '<major>.<minor>.<patch>'")
                .arg(version),
            RPC_ERROR_INTERNAL);
    }
    QString text = parts[index];
    if (index == 2) {
        // The patch part runs into the flag ("8 (beta" of "2.66.8 (beta.1)").
        static const QRegularExpression digits(QStringLiteral("\\d+"));
        const QRegularExpressionMatch match = digits.match(text);
        if (!match.hasMatch()) {
            QM_THROW_JSONRPC(
                QStringLiteral("Error while trying to get '%1'. Could not parse '%2").arg(pid, version),
                RPC_ERROR_INTERNAL);
        }
        text = match.captured();
    }
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok) {
        QM_THROW_JSONRPC(QStringLiteral("'%1' must be an integer. Invalid application version string '%2'.")
                             .arg(pid, version),
            RPC_ERROR_INTERNAL);
    }
    return value;
}

} // namespace

RpcApplicationParamGet::RpcApplicationParamGet()
    : AbstractRpcMethod(QStringLiteral("application.param.get"))
{ }

QList<RpcRequestParameter> RpcApplicationParamGet::inputParameters() const
{
    return {RpcRequestParameter(RpcRequestEnums::PARAM_PID, QVariant(), true)};
}

RpcMethodError RpcApplicationParamGet::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const QString written = request->getParam(QStringLiteral("pid"))->getVariantValue().toString();
    const QString pid = written.toLower();
    const QString version = QCoreApplication::applicationVersion();

    std::unique_ptr<RpcValue> value;
    if (pid == QLatin1String("application_version_string") || pid == QLatin1String("version")) {
        value = std::make_unique<RpcValue>(version);
    } else if (pid == QLatin1String("application_name") || pid == QLatin1String("name")) {
        value = std::make_unique<RpcValue>(QCoreApplication::applicationName());
    } else {
        for (int i = 0; i < 3 && !value; ++i) {
            if (pid == QLatin1String(numberPids[i]))
                value = std::make_unique<RpcValue>(versionNumber(i, pid, version));
        }
    }
    if (!value)
        QM_THROW_JSONRPC(
            QStringLiteral("invalid application parameter: '%1'").arg(written), RPC_ERROR_INVALID_PARAMS);

    auto* result = new RpcObject;
    result->addChild(QStringLiteral("pid"), new RpcValue(written));
    result->addChild(QStringLiteral("value"), value.release());
    response->setResultValue(result);
    return {};
}

} // namespace tarvesk::service
