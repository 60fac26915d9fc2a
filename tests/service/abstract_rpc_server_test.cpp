#include "service/abstract_rpc_server.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <QJsonObject>

#include <gtest/gtest.h>

using namespace tarvesk::service;

namespace {

// Answers "echo" with its method name and anything else with an error.
class EchoServer : public AbstractRpcServer
{
public:
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override
    {
        ++handled;
        if (request->getMethodName() != QLatin1String("echo")) {
            response->error(-32601, QStringLiteral("Method not found"));
            return RpcMethodError(-32601, QStringLiteral("Method not found"));
        }
        response->setResultValue(new RpcValue(request->getMethodName()));
        return {};
    }
    int handled = 0;
};

} // namespace

// Each request received is handled once into a fresh response, which send()
// carries to its receivers: a result, or the error the server set.
TEST(AbstractRpcServer, ReceivedRequestsComeBackThroughSend)
{
    EchoServer server;
    QList<QJsonObject> sent;
    QObject::connect(&server, &AbstractRpcServer::send,
        [&sent](RpcResponse* response) { sent << response->toJsonObject(); });

    RpcRequest echo(QStringLiteral("echo"));
    RpcRequest other(QStringLiteral("other"));
    server.received(&echo);
    server.received(&other);
    server.received(&echo);

    EXPECT_EQ(server.handled, 3);
    ASSERT_EQ(sent.size(), 3);
    EXPECT_EQ(sent[0].value("result").toString(), "echo");
    EXPECT_FALSE(sent[0].contains("error"));
    EXPECT_EQ(sent[1].value("error").toObject().value("code").toInt(), -32601);
    EXPECT_FALSE(sent[1].contains("result"));
    EXPECT_EQ(sent[2], sent[0]);
}
