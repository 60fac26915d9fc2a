#include "service/rpc/rpc_methods/api/rpc_api_inner_call.h"

#include "service/rpc/rpc_methods/rpc_method.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcApiInnerCall::RpcApiInnerCall(AbstractRpcMethod* method)
    : _method(method)
    , _request(std::make_unique<RpcRequest>(method->getName()))
    , _response(std::make_unique<RpcResponse>())
{ }

RpcApiInnerCall::~RpcApiInnerCall() = default;

RpcApiInnerCall& RpcApiInnerCall::add(const QString& name, RpcValue* value)
{
    _request->addParameter(name, value);
    return *this;
}

RpcApiInnerCall& RpcApiInnerCall::add(const QString& name, const QString& value)
{
    return add(name, new RpcValue(value));
}

RpcApiInnerCall& RpcApiInnerCall::add(const QString& name, int value)
{
    return add(name, new RpcValue(value));
}

void RpcApiInnerCall::run()
{
    run(*_response);
}

void RpcApiInnerCall::run(RpcResponse& response)
{
    _method->execute(_request.get(), &response, true);
}

} // namespace tarvesk::service
