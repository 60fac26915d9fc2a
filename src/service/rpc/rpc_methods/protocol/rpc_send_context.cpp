#include "service/rpc/rpc_methods/protocol/rpc_send_context.h"

#include "protocol/options.h"
#include "service/rpc_request.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

RpcSendContext::RpcSendContext(RpcRequest* request)
    : _request(request)
    , _options(std::make_unique<proto::Options>())
{ }

RpcSendContext::~RpcSendContext() = default;

void RpcSendContext::addBoolOption(const QString& name, bool defaultValue)
{
    RpcValue* value = _request->getParam(name);
    const bool given = value && value->getType() == RpcValue::RPC_VALUE_BOOL;
    _options->addOption(name, given ? value->getBoolValue() : defaultValue);
}

void RpcSendContext::addNumberOption(const QString& name, double defaultValue)
{
    RpcValue* value = _request->getParam(name);
    const bool given = value && value->isDoubleValue();
    _options->addOption(name, given ? value->getDoubleValue() : defaultValue);
}

} // namespace tarvesk::service
