#include "qt_printers.h"
#include "service/rpc_request.h"
#include "service/rpc_value.h"

#include <QJsonParseError>

#include <gtest/gtest.h>

using namespace tarvesk::service;

namespace {

// The framework's wording for one of its parse errors.
QString words(QJsonParseError::ParseError code)
{
    QJsonParseError error;
    error.error = code;
    return error.errorString();
}

// The request a web page can send to grow the service: the framework's parser
// takes "\q" and leaks the first "a" object.
const QByteArray kLeakingRequest
    = R"({"jsonrpc":"2.0","id":1,"x\q":0,"method":"system.listMethods","params":{"a":{"b":[1]},"a":{"c":[2]}}})";

TEST(StrictJsonRequest, TextTheParserTakesWronglyIsRefusedUnread)
{
    RpcRequest request;
    EXPECT_FALSE(request.parseJsonRpc(QString::fromUtf8(kLeakingRequest)));
    EXPECT_EQ(request.getErrorCode(), -32700);
    EXPECT_EQ(request.getErrorString(), words(QJsonParseError::IllegalEscapeSequence));
    EXPECT_EQ(request.getJsonId(), QJsonValue(QJsonValue::Null));

    EXPECT_FALSE(request.parseJsonRpc(R"({"jsonrpc":"2.0","id":1,"method":"m","params":{"a":[1],"a":[2]}})"));
    EXPECT_EQ(request.getErrorCode(), -32700);
    EXPECT_EQ(request.getErrorString(), QString(R"(Duplicate key "a" in a JSON object)"));

    // Bytes that are not UTF-8 are refused, not replaced.
    EXPECT_FALSE(request.parseJsonRpcUtf8("{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"m\xff\"}"));
    EXPECT_EQ(request.getErrorString(), words(QJsonParseError::IllegalUTF8String));
    EXPECT_TRUE(request.parseJsonRpcUtf8("\xef\xbb\xbf{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"m\"}"));

    RpcValue value("kept");
    EXPECT_FALSE(value.fromJson(R"({"a":{},"a":{}})"));
    EXPECT_FALSE(value.fromJson(R"(["\q"])"));
    EXPECT_FALSE(value.fromJson(QString::fromUtf8("[\"a\0\"]", 6)));
    EXPECT_EQ(value.getStringValue(), QString("kept"));
}

} // namespace
