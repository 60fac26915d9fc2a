#include "method_call.h"

#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/rpc_method.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/string_exception.h"

#include <gtest/gtest.h>

namespace tarvesk::test {

MethodOutcome callMethodWith(service::AbstractRpcMethod& method, const QString& members)
{
    service::RpcRequest request;
    const QString body
        = QStringLiteral(R"({"jsonrpc":"2.0","id":1,"method":"%1"%2})").arg(method.getName(), members);
    EXPECT_TRUE(request.parseJsonRpc(body)) << body.toStdString();
    service::RpcResponse response;
    MethodOutcome outcome;
    try {
        method.execute(&request, &response, true);
        outcome.result = QJsonValue::fromVariant(response.getQJsonResult());
    } catch (const JsonRpcException& e) {
        outcome.code = e.code();
        outcome.message = e.message();
    } catch (const StringException& e) {
        outcome.code = -32603;
        outcome.message = e.message();
    }
    return outcome;
}

MethodOutcome callMethod(service::AbstractRpcMethod& method, const QString& params)
{
    return callMethodWith(method, QStringLiteral(R"(,"params":%1)").arg(params));
}

} // namespace tarvesk::test
