#pragma once

#include "fake_product_database.h"
#include "service/rpc/rpc_methods/irpc_method_cached_factory.h"
#include "service/rpc/rpc_methods/rpc_method.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"

#include <functional>
#include <gtest/gtest.h>

namespace tarvesk::test {

// A method whose declarations and work each test sets.
class ProbeMethod : public service::AbstractRpcMethod
{
public:
    using Work = std::function<service::RpcMethodError(service::RpcRequest*, service::RpcResponse*)>;

    explicit ProbeMethod(
        const QString& name, QList<service::RpcRequestParameter> declarations = {}, Work work = {})
        : AbstractRpcMethod(name)
        , declarations(std::move(declarations))
        , work(std::move(work))
    { }

    QList<service::RpcRequestParameter> inputParameters() const override
    {
        if (declarationsThrow)
            declarationsThrow();
        return declarations;
    }
    service::RpcMethodError handleRequest(
        service::RpcRequest* request, service::RpcResponse* response) override
    {
        ++calls;
        return work ? work(request, response) : service::RpcMethodError();
    }

    QList<service::RpcRequestParameter> declarations;
    Work work;
    std::function<void()> declarationsThrow;
    int calls = 0;
};

// A factory that makes probe methods for every allowed name, so that the
// server can be driven without real method classes.
class ProbeFactory : public service::AbstractRpcMethodCachedFactory
{
public:
    std::function<service::AbstractRpcMethod*(const QString&)> make
        = [](const QString& name) { return new ProbeMethod(name); };
    int made = 0;

    service::AbstractRpcMethod* createMethodForName(const QString& name) override
    {
        ++made;
        return make(name);
    }
};

// Puts the method framework's process-wide state (database, API mode) into a
// known state for each test and clears it afterwards.
class MethodFrameworkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        database = std::make_shared<FakeProductDatabase>();
        service::AbstractRpcMethod::setDatabase(database);
        service::AbstractRpcMethod::setApiMode(false);
    }
    void TearDown() override
    {
        service::AbstractRpcMethod::setDatabase(nullptr);
        service::AbstractRpcMethod::setApiMode(false);
    }

    std::shared_ptr<FakeProductDatabase> database;
};

// Builds a request from a JSON-RPC body; fails the test when it does not parse.
inline std::unique_ptr<service::RpcRequest> parsedRequest(const QString& body)
{
    auto request = std::make_unique<service::RpcRequest>();
    EXPECT_TRUE(request->parseJsonRpc(body))
        << body.toStdString() << ": " << request->getErrorString().toStdString();
    return request;
}

} // namespace tarvesk::test
