#include "service/rpc/rpc_methods/application/rpc_application_quit.h"

#include "service/rpc/rpc_types/rpc_type_action_result.h"
#include "service/rpc_response.h"

#include <QCoreApplication>

namespace tarvesk::service {

RpcApplicationQuit::RpcApplicationQuit()
    : AbstractRpcMethod(QStringLiteral("application.quit"))
{ }

RpcMethodError RpcApplicationQuit::handleRequest(RpcRequest*, RpcResponse* response)
{
    // Posted to the main thread, as the restart is.
    if (QCoreApplication* application = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            application, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    response->setResultValue(new RpcTypeActionResult(QStringLiteral("ok"), tr("Quit")));
    return {};
}

} // namespace tarvesk::service
