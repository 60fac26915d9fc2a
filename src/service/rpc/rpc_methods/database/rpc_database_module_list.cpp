#include "service/rpc/rpc_methods/database/rpc_database_module_list.h"

#include "core/firmware_module.h"
#include "log/logging_categories.h"
#include "service/database/abstract_database.h"
#include "service/rpc/rpc_types/rpc_type_firmware_module.h"
#include "service/rpc_array.h"
#include "service/rpc_response.h"

namespace tarvesk::service {

RpcDatabaseModuleList::RpcDatabaseModuleList()
    : AbstractRpcMethod(QStringLiteral("database.module.list"))
{ }

QList<RpcRequestParameter> RpcDatabaseModuleList::inputParameters() const
{
    return {};
}

RpcMethodError RpcDatabaseModuleList::handleRequest(RpcRequest*, RpcResponse* response)
{
    QStringList names = database()->firmwareCacheFileNames();
    names = names.filter(QStringLiteral("data/firmware_mods"), Qt::CaseSensitive);
    if (names.isEmpty())
        qCInfo(rpcServerMethod()).noquote()
            << QStringLiteral("No firmware modules found in file firmware cache");
    else
        qCDebug(rpcServerMethod()).noquote() << QStringLiteral("FW modules available:");
    auto* list = new RpcArray;
    for (const QString& name : names) {
        core::FirmwareModule module(nullptr);
        QString fileName = name;
        module.fromFileNameString(fileName.remove(QStringLiteral("data/firmware_mods/")));
        list->addChild(new RpcTypeFirmwareModule(&module, 0));
        qCDebug(rpcServerMethod()).noquote() << name;
    }
    response->setResultValue(list);
    return {};
}

} // namespace tarvesk::service
