#include "service/rpc/rpc_methods/application/rpc_application_quit.h"

#include "service/exit_request.h"
#include "service/rpc/rpc_types/rpc_type_action_result.h"
#include "service/rpc_response.h"

namespace tarvesk::service {

RpcApplicationQuit::RpcApplicationQuit()
    : AbstractRpcMethod(QStringLiteral("application.quit"))
{ }

RpcMethodError RpcApplicationQuit::handleRequest(RpcRequest*, RpcResponse* response)
{
    // The main thread ends its event loop, as for the restart.
    ExitRequest::ask(0);
    response->setResultValue(new RpcTypeActionResult(QStringLiteral("ok"), tr("Quit")));
    return {};
}

} // namespace tarvesk::service
