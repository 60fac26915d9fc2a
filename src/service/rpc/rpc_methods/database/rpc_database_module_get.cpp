#include "service/rpc/rpc_methods/database/rpc_database_module_get.h"

#include "service/database/abstract_database.h"
#include "service/json_rpc_exception.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

namespace {

const QString ModuleFolder = QStringLiteral("data/firmware_mods/");

} // namespace

RpcDatabaseModuleGet::RpcDatabaseModuleGet()
    : AbstractRpcMethod(QStringLiteral("database.module.get"))
{ }

QList<RpcRequestParameter> RpcDatabaseModuleGet::inputParameters() const
{
    return {RpcRequestParameter(RpcRequestEnums::PARAM_FIRMWARE_DB_FILE, QVariant(), true)};
}

RpcMethodError RpcDatabaseModuleGet::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const QString name = request->getParam(QStringLiteral("firmware_db_file"))->getStringValue().toLower();
    const QString key = name.contains(ModuleFolder) ? name : ModuleFolder + name;
    const QMap<QString, QByteArray> cache = database()->firmwareCacheData();
    const auto entry = cache.constFind(key);
    if (entry == cache.constEnd()) {
        QM_THROW_JSONRPC(QStringLiteral("Firmware module name (%1) not found in fw database").arg(name),
            RPC_ERROR_INTERNAL);
    }
    const int end = entry.value().indexOf('\0');
    response->setResultValue(
        new RpcValue(QString::fromUtf8(end < 0 ? entry.value() : entry.value().left(end))));
    return {};
}

} // namespace tarvesk::service
