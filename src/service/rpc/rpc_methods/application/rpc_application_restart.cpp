#include "service/rpc/rpc_methods/application/rpc_application_restart.h"

#include "service/rpc/rpc_types/rpc_type_action_result.h"
#include "service/rpc_response.h"

#include <QCoreApplication>

namespace tarvesk::service {

// The exit code that makes the program start again in the same process.
constexpr int RestartExitCode = 1337;

RpcApplicationRestart::RpcApplicationRestart()
    : AbstractRpcMethod(QStringLiteral("application.restart"))
{ }

RpcMethodError RpcApplicationRestart::handleRequest(RpcRequest*, RpcResponse* response)
{
    // Posted to the main thread, whose event loop this connection thread must
    // not touch; a request that comes before the loop runs is kept until it does.
    // This reply is still sent.
    if (QCoreApplication* application = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            application, [] { QCoreApplication::exit(RestartExitCode); }, Qt::QueuedConnection);
    response->setResultValue(new RpcTypeActionResult(QStringLiteral("ok"), tr("Application restart")));
    return {};
}

} // namespace tarvesk::service
