#include "service/abstract_rpc_server.h"

#include "service/rpc_response.h"

#include <memory>

namespace tarvesk::service {

AbstractRpcServer::AbstractRpcServer(QObject* parent)
    : QObject(parent)
{ }

AbstractRpcServer::~AbstractRpcServer() = default;

void AbstractRpcServer::received(RpcRequest* request)
{
    const auto response = std::make_unique<RpcResponse>();
    handleRequest(request, response.get());
    emit send(response.get());
}

} // namespace tarvesk::service
