#include "service/rpc/rpc_methods/application/rpc_application_param_list.h"

#include "log/logging_categories.h"
#include "service/json_rpc_exception.h"
#include "service/rpc_array.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <QCoreApplication>

#include <memory>

namespace tarvesk::service {

namespace {

RpcObject* entry(const QString& pid, RpcValue* value)
{
    auto* object = new RpcObject;
    object->addChild(QStringLiteral("pid"), new RpcValue(pid));
    object->addChild(QStringLiteral("value"), value);
    return object;
}

} // namespace

RpcApplicationParamList::RpcApplicationParamList()
    : AbstractRpcMethod(QStringLiteral("application.param.list"))
{ }

RpcMethodError RpcApplicationParamList::handleRequest(RpcRequest*, RpcResponse* response)
{
    const QString version = QCoreApplication::applicationVersion();
    auto result = std::make_unique<RpcArray>();
    result->addChild(
        entry(QStringLiteral("application_name"), new RpcValue(QCoreApplication::applicationName())));
    result->addChild(entry(QStringLiteral("application_version_string"), new RpcValue(version)));
    result->addChild(
        entry(QStringLiteral("organization_name"), new RpcValue(QCoreApplication::organizationName())));
    result->addChild(
        entry(QStringLiteral("organization_domain"), new RpcValue(QCoreApplication::organizationDomain())));

    if (version.isEmpty()) {
        qCWarning(rpcServerMethod()).noquote()
            << QStringLiteral("Version parameters not added as app version string is empty or invalid: "
                              "'%1'. verify application version follows the format: "
                              "'<major>.<minor>.<patch>'")
                   .arg(version);
        response->setResultValue(result.release());
        return {};
    }

    // Everything after the first space (a flag such as "(beta.1)") is not part
    // of the numbers.
    const QString numbers = version.split(QLatin1Char(' ')).first();
    const QStringList parts = numbers.split(QLatin1Char('.'));
    if (parts.size() != 3) {
        QM_THROW_JSONRPC(
            QStringLiteral("Invalid version format: '%1'. required format xx.yy.zz").arg(numbers),
            RPC_ERROR_INTERNAL);
    }
    const char* const pids[] = {"major_version_number", "minor_version_number", "rc_number"};
    QList<int> values;
    for (const QString& part : parts) {
        bool ok = false;
        values.append(part.toInt(&ok, 10));
        if (!ok) {
            QM_THROW_JSONRPC(QStringLiteral("Could not parse version string, invalid format: %1. Version "
                                            "value must be an integer")
                                 .arg(version),
                RPC_ERROR_INTERNAL);
        }
    }
    for (int i = 0; i < 3; ++i) {
        RpcObject* number = entry(QString::fromLatin1(pids[i]), new RpcValue(values[i]));
        number->addChild(QStringLiteral("deprecated"), new RpcValue(true));
        result->addChild(number);
    }
    response->setResultValue(result.release());
    return {};
}

} // namespace tarvesk::service
