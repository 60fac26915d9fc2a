#pragma once

#include <QString>

#include <memory>

namespace tarvesk::service {

class AbstractRpcMethod;
class RpcRequest;
class RpcResponse;
class RpcValue;

// One call of another method inside a production-test method: a method
// object, a request for its name (id "0", empty params) and a response of its
// own, all freed with this object on every path. The call runs as a client's
// would, except that the API-mode name check is skipped; a failure comes out
// of run() as the JsonRpcException that execute() throws.
class RpcApiInnerCall
{
public:
    // Takes the method over.
    explicit RpcApiInnerCall(AbstractRpcMethod* method);
    ~RpcApiInnerCall();
    RpcApiInnerCall(const RpcApiInnerCall&) = delete;
    RpcApiInnerCall& operator=(const RpcApiInnerCall&) = delete;

    // Adds the parameter (replacing one of the same name); takes the value over.
    RpcApiInnerCall& add(const QString& name, RpcValue* value);
    RpcApiInnerCall& add(const QString& name, const QString& value);
    RpcApiInnerCall& add(const QString& name, int value);

    // Runs the request into this call's own response, or into the one given.
    void run();
    void run(RpcResponse& response);

    RpcResponse& response() { return *_response; }

private:
    std::unique_ptr<AbstractRpcMethod> _method;
    std::unique_ptr<RpcRequest> _request;
    std::unique_ptr<RpcResponse> _response;
};

} // namespace tarvesk::service
