#include "service/rpc/rpc_methods/application/rpc_application_restart.h"

#include "service/exit_request.h"
#include "service/rpc/rpc_types/rpc_type_action_result.h"
#include "service/rpc_response.h"

namespace tarvesk::service {

// The exit code that makes the program start again in the same process.
constexpr int RestartExitCode = 1337;

RpcApplicationRestart::RpcApplicationRestart()
    : AbstractRpcMethod(QStringLiteral("application.restart"))
{ }

RpcMethodError RpcApplicationRestart::handleRequest(RpcRequest*, RpcResponse* response)
{
    // The main thread ends its event loop; this reply is still sent.
    ExitRequest::ask(RestartExitCode);
    response->setResultValue(new RpcTypeActionResult(QStringLiteral("ok"), tr("Application restart")));
    return {};
}

} // namespace tarvesk::service
