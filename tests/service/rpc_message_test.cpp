#include "qt_printers.h"
#include "service/rpc_array.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <gtest/gtest.h>

using namespace tarvesk::service;

namespace {

// The parser's own text for a body that is not JSON.
QString parserMessage(const QByteArray& body)
{
    QJsonParseError error;
    QJsonDocument::fromJson(body, &error);
    return error.errorString();
}

const QJsonValue kNull(QJsonValue::Null);

struct EnvelopeCase
{
    const char* name;
    QByteArray body;
    int code; // 0: parses
    QString message;
    QJsonValue replyId; // the id the reply carries
};

class Envelope : public ::testing::TestWithParam<EnvelopeCase>
{
};

// The reply to a request is written with the id that the request carried:
// what the HTTP handler does for envelope faults and what execute() does.
TEST_P(Envelope, CodeMessageAndReplyId)
{
    const EnvelopeCase& c = GetParam();
    RpcRequest request;
    EXPECT_EQ(request.parseJsonRpc(QString::fromUtf8(c.body)), c.code == 0);
    EXPECT_EQ(request.getErrorCode(), c.code);
    EXPECT_EQ(request.getErrorString(), c.message);
    EXPECT_EQ(request.getRawStringValue(), QString::fromUtf8(c.body));

    RpcResponse reply;
    reply.setJsonId(request.getJsonId());
    if (c.code != 0)
        reply.error(request.getErrorCode(), request.getErrorString());
    const QJsonObject written
        = QJsonDocument::fromJson(reply.serializeToUtf8(QJsonDocument::Indented)).object();
    EXPECT_EQ(written.value("id"), c.replyId);
    EXPECT_TRUE(written.contains("id"));
    if (c.code != 0) {
        EXPECT_EQ(written.value("error").toObject().value("code"), QJsonValue(c.code));
        EXPECT_EQ(written.value("error").toObject().value("message"), QJsonValue(c.message));
    }
}

const QString kVersion = QStringLiteral("Invalid JSON-RPC version: 2.0 expected");
const QString kBadId = QStringLiteral("Invalid id, not a number or a string");

INSTANTIATE_TEST_SUITE_P(RpcMessage, Envelope,
    ::testing::Values(EnvelopeCase {"empty", "", -32700, parserMessage(""), kNull},
        EnvelopeCase {"unterminated", "{\"id\":1", -32700, parserMessage("{\"id\":1"), kNull},
        EnvelopeCase {"infinite_number", R"({"jsonrpc":"2.0","id":1,"method":"m","params":{"a":1e999}})",
            -32700, parserMessage(R"({"a":1e999})"), kNull},
        EnvelopeCase {"empty_object", "{}", -32600, "No ID", kNull},
        EnvelopeCase {"batch", R"([{"jsonrpc":"2.0","id":1,"method":"m"}])", -32600, "No ID", kNull},
        EnvelopeCase {"notification", R"({"jsonrpc":"2.0","method":"m"})", -32600, "No ID", kNull},
        EnvelopeCase {"no_version", R"({"id":1,"method":"m"})", -32600, kVersion, QJsonValue(1)},
        EnvelopeCase {
            "number_version", R"({"jsonrpc":2,"id":"a","method":"m"})", -32600, kVersion, QJsonValue("a")},
        EnvelopeCase {
            "old_version", R"({"jsonrpc":"1.0","id":1,"method":"m"})", -32600, kVersion, QJsonValue(1)},
        EnvelopeCase {"null_id", R"({"jsonrpc":"2.0","id":null,"method":"m"})", -32600, kBadId, kNull},
        EnvelopeCase {"bool_id", R"({"jsonrpc":"2.0","id":true,"method":"m"})", -32600, kBadId, kNull},
        EnvelopeCase {"object_id", R"({"jsonrpc":"2.0","id":{},"method":"m"})", -32600, kBadId, kNull},
        EnvelopeCase {"array_id", R"({"jsonrpc":"2.0","id":[1],"method":"m"})", -32600, kBadId, kNull},
        EnvelopeCase {"empty_id", R"({"jsonrpc":"2.0","id":"","method":"m"})", -32600, kBadId, kNull},
        EnvelopeCase {
            "no_method", R"({"jsonrpc":"2.0","id":"x"})", -32600, "No method specified", QJsonValue("x")},
        // Ids come back unchanged, with their JSON type and full range.
        EnvelopeCase {
            "string_id", R"({"jsonrpc":"2.0","id":"req-7","method":"m"})", 0, "", QJsonValue("req-7")},
        EnvelopeCase {"number_id", R"({"jsonrpc":"2.0","id":7,"method":"m"})", 0, "", QJsonValue(7)},
        EnvelopeCase {"fraction_id", R"({"jsonrpc":"2.0","id":3.99,"method":"m"})", 0, "", QJsonValue(3.99)},
        EnvelopeCase {"negative_id", R"({"jsonrpc":"2.0","id":-2.5,"method":"m"})", 0, "", QJsonValue(-2.5)},
        EnvelopeCase {"wide_id", R"({"jsonrpc":"2.0","id":4294967296123,"method":"m"})", 0, "",
            QJsonValue(4294967296123.0)},
        EnvelopeCase {"int64_id", R"({"jsonrpc":"2.0","id":9223372036854775807,"method":"m"})", 0, "",
            QJsonValue(qint64(9223372036854775807LL))},
        EnvelopeCase {"beyond_double_id", R"({"jsonrpc":"2.0","id":-9007199254740993,"method":"m"})", 0, "",
            QJsonValue(qint64(-9007199254740993LL))},
        EnvelopeCase {"unicode_id", R"({"jsonrpc":"2.0","id":"Grüße-€-😀","method":"m"})", 0, "",
            QJsonValue(QString::fromUtf8("Grüße-€-😀"))}),
    [](const ::testing::TestParamInfo<EnvelopeCase>& info) { return std::string(info.param.name); });

TEST(RpcRequest, IdTextKeepsTheWholeNumber)
{
    const struct
    {
        const char* id;
        const char* text;
    } cases[] = {{"7", "7"}, {"3.99", "3.99"}, {"-2.5", "-2.5"}, {"4294967296123", "4294967296123"},
        {"-9007199254740993", "-9007199254740993"}, {"\"abc\"", "abc"}};
    for (const auto& c : cases) {
        RpcRequest request;
        ASSERT_TRUE(
            request.parseJsonRpc(QStringLiteral(R"({"jsonrpc":"2.0","method":"m","id":%1})").arg(c.id)));
        EXPECT_EQ(request.getId(), QString(c.text));
    }
}

TEST(RpcRequest, ParsedMethodAndParameters)
{
    RpcRequest request;
    ASSERT_TRUE(
        request.parseJsonRpc(R"({"jsonrpc":"2.0","id":1,"method":"dali.send","params":{"bytes":[1,2]}})"));
    EXPECT_EQ(request.getMethodName(), QString("dali.send"));
    ASSERT_NE(request.getParam("bytes"), nullptr);
    EXPECT_EQ(request.getParam("Bytes"), nullptr); // names are case-sensitive
    EXPECT_TRUE(request.hasParameters());

    RpcRequest numberMethod;
    ASSERT_TRUE(numberMethod.parseJsonRpc(R"({"jsonrpc":"2.0","id":1,"method":5})"));
    EXPECT_EQ(numberMethod.getMethodName(), QString());
}

TEST(RpcRequest, PositionalAndNullParametersAreNeverFoundByName)
{
    for (const char* params : {"[1,2]", "null", "5", "{}"}) {
        RpcRequest request;
        ASSERT_TRUE(
            request.parseJsonRpc(QStringLiteral(R"({"jsonrpc":"2.0","id":1,"method":"m","params":%1})")
                                     .arg(QLatin1String(params))));
        EXPECT_EQ(request.getParam("0"), nullptr) << params;
        EXPECT_FALSE(request.hasParameters()) << params;
    }

    RpcRequest positional;
    ASSERT_TRUE(positional.parseJsonRpc(R"({"jsonrpc":"2.0","id":1,"method":"m","params":[1,2]})"));
    // Adding a named parameter must not throw the client's positional ones away.
    EXPECT_FALSE(positional.addParameter("a", new RpcValue(1)));
    positional.removeParameter("a");
    EXPECT_EQ(positional.getParameters()->toJsonValue(), QJsonValue(QJsonArray {1, 2}));
    EXPECT_FALSE(positional.hasNamedParameters());
}

TEST(RpcRequest, NewRequestIsWrittenWithMembersInKeyOrder)
{
    RpcRequest request("m");
    EXPECT_EQ(request.serializeToJson(QJsonDocument::Compact),
        QString(R"({"id":"0","jsonrpc":"2.0","method":"m","params":{}})"));

    request.addParameter("b", new RpcValue(2));
    request.addParameter("a", new RpcValue(1.23456));
    request.addParameter("b", new RpcValue(3)); // replaces
    EXPECT_EQ(request.serializeToJson(QJsonDocument::Compact),
        QString(R"({"id":"0","jsonrpc":"2.0","method":"m","params":{"a":1.235,"b":3}})"));
    EXPECT_EQ(request.getMemorySize(), 8u + 8u + 8u + 8u + 8u);
}

TEST(RpcRequest, CopyIsDeepWithAFreshIdentity)
{
    RpcRequest original;
    ASSERT_TRUE(original.parseJsonRpc(R"({"jsonrpc":"2.0","id":9,"method":"m","params":{"list":[1]}})"));
    original.setCriticalFlag(true);
    std::unique_ptr<RpcRequest> copy(original.clone());
    copy->getParam("list")->getArrayValue()->addChild(new RpcValue(2));

    EXPECT_EQ(copy->getId(), QString("0"));
    EXPECT_EQ(copy->getMethodName(), QString("m"));
    EXPECT_TRUE(copy->getCriticalFlag());
    EXPECT_TRUE(copy->getRawStringValue().isEmpty());
    EXPECT_EQ(original.getParam("list")->getArrayValue()->childCount(), 1);
}

// ---- responses ----

QStringList memberNames(const RpcMessage& message)
{
    return QJsonDocument::fromJson(message.serializeToUtf8(QJsonDocument::Compact)).object().keys();
}

TEST(RpcResponse, WrittenMembers)
{
    RpcResponse empty;
    empty.setId("1");
    EXPECT_EQ(memberNames(empty), QStringList({"id", "jsonrpc"}));

    RpcResponse failed;
    failed.setResultValue(new RpcValue(1));
    failed.setDebugValue(new RpcValue(2));
    failed.error(-32601, "no such method");
    EXPECT_EQ(failed.serializeToJson(QJsonDocument::Compact),
        QString(R"({"error":{"code":-32601,"message":"no such method"},"id":null,"jsonrpc":"2.0"})"));

    RpcResponse full;
    full.setJsonId(QJsonValue(7));
    full.setResultValue(new RpcValue("ok"));
    full.setDebugValue(new RpcValue(0.5));
    EXPECT_EQ(full.serializeToJson(QJsonDocument::Compact),
        QString(R"({"debug":0.5,"id":7,"jsonrpc":"2.0","result":"ok"})"));
    EXPECT_EQ(full.getMemorySize(), 24u);
}

// The reply's id is written with the request's own text, also where the
// reply holds texts that look like the stand-in used while writing it.
TEST(RpcResponse, IdIsWrittenAsTheRequestWroteIt)
{
    const struct
    {
        const char* id;
        const char* compactReply;
    } cases[] = {
        {"1.50", R"({"debug":["#","##"],"id":1.50,"jsonrpc":"2.0","result":"###"})"},
        {"-0", R"({"debug":["#","##"],"id":-0,"jsonrpc":"2.0","result":"###"})"},
        {"12345678901234567890123",
            R"({"debug":["#","##"],"id":12345678901234567890123,"jsonrpc":"2.0","result":"###"})"},
        {R"("a\/b")", R"({"debug":["#","##"],"id":"a\/b","jsonrpc":"2.0","result":"###"})"},
        {"7", R"({"debug":["#","##"],"id":7,"jsonrpc":"2.0","result":"###"})"},
    };
    for (const auto& c : cases) {
        RpcRequest request;
        ASSERT_TRUE(
            request.parseJsonRpc(QStringLiteral(R"({"jsonrpc":"2.0","method":"m","id":%1})").arg(c.id)));
        EXPECT_EQ(request.getIdJson(), QByteArray(c.id));
        RpcResponse reply;
        reply.setIdFrom(request);
        reply.setResultValue(new RpcValue(QStringLiteral("###")));
        reply.setDebugValue(new RpcValue(QJsonArray {"#", "##"}));
        EXPECT_EQ(reply.serializeToJson(QJsonDocument::Compact), QString(c.compactReply));
        EXPECT_EQ(reply.getIdJson(), QByteArray(c.id));

        reply.error(-32601, "no such method");
        EXPECT_TRUE(reply.serializeToUtf8(QJsonDocument::Indented)
                        .contains(QByteArray("\n    \"id\": ") + c.id + ",\n"));
    }
}

TEST(RpcResponse, BodyIsUtf8)
{
    RpcResponse response;
    response.setResultValue(new RpcValue(QString::fromUtf8("Grüße € 😀")));
    const QByteArray body = response.serializeToUtf8(QJsonDocument::Indented);
    EXPECT_TRUE(body.contains("Gr\xc3\xbc\xc3\x9f"
                              "e \xe2\x82\xac \xf0\x9f\x98\x80"));
    EXPECT_TRUE(body.contains("\n    \"jsonrpc\": \"2.0\"")); // indented by four spaces
    EXPECT_EQ(response.serializeToJson(QJsonDocument::Indented), QString::fromUtf8(body));
}

TEST(RpcResponse, GetResultNeverHandsOverOwnership)
{
    RpcResponse none;
    RpcValue* missing = none.getResult("x");
    ASSERT_NE(missing, nullptr);
    EXPECT_TRUE(missing->isUndefinedValue());
    EXPECT_EQ(none.getResult(), missing); // held by the response (LSan sees a leak otherwise)
    EXPECT_FALSE(none.hasResult());

    RpcResponse object;
    auto* result = new RpcObject;
    result->addChild("a", new RpcValue(1));
    object.setResultValue(result);
    EXPECT_EQ(object.getResult("a")->getDoubleValue(), 1.0);
    EXPECT_EQ(object.getResult("b")->getObjectValue(), result);

    RpcResponse scalar;
    auto* value = new RpcValue(5);
    scalar.setResultValue(value);
    scalar.setResultValue(value); // the same pointer again must not free it
    EXPECT_EQ(scalar.getResult("a"), value);
}

TEST(RpcResponse, QJsonResult)
{
    RpcResponse array;
    array.setResultValue(new RpcValue(QList<int> {1, 2}));
    EXPECT_EQ(array.getQJsonResult(), QVariant(QJsonArray {1, 2}));
    RpcResponse scalar;
    scalar.setResultValue(new RpcValue(1));
    EXPECT_EQ(scalar.getQJsonResult(), QVariant(QJsonObject()));
    RpcResponse none;
    EXPECT_EQ(none.getQJsonResult(), QVariant(QJsonObject()));
}

TEST(RpcResponse, ReadingARemoteResponse)
{
    const struct
    {
        const char* members;
        bool ok;
        int code;
        const char* message;
    } cases[] = {
        {R"("result":{"a":1})", true, 0, ""},
        {R"("result":1,"error":{"code":1,"message":"x"})", false, -32600,
            "Response can't have both a result and an error object"},
        {R"("error":{"code":-32000,"message":"remote"})", true, -32000, "remote"},
        {R"("error":{"message":"x"})", false, -32600,
            R"(Response error should contain "code" and "message" values)"},
        {R"("error":{"code":"1","message":"x"})", false, -32600,
            R"(Response error "code" should be an integer value)"},
        {R"("error":{"code":1.5,"message":"x"})", false, -32600,
            R"(Response error "code" should be an integer value)"},
        {R"("error":{"code":0,"message":"x"})", false, -32600,
            R"(Response error "code" should be an integer value)"},
        {R"("error":{"code":1e12,"message":"x"})", false, -32600,
            R"(Response error "code" should be an integer value)"},
        {R"("error":{"code":1,"message":2})", false, -32600,
            R"(Response error "message" should be a string value)"},
        {R"("error":"text")", false, -32600, "No result found"},
        {R"("other":1)", false, -32600, "No result found"},
    };
    for (const auto& c : cases) {
        RpcResponse response;
        const QString body = QStringLiteral(R"({"jsonrpc":"2.0","id":1,%1})").arg(QLatin1String(c.members));
        EXPECT_EQ(response.parseJsonRpc(body), c.ok) << c.members;
        EXPECT_EQ(response.getErrorCode(), c.code) << c.members;
        EXPECT_EQ(response.getErrorString(), QString(c.message)) << c.members;
    }
    RpcResponse response;
    ASSERT_TRUE(response.parseJsonRpc(R"({"jsonrpc":"2.0","id":1,"result":{"a":1}})"));
    EXPECT_EQ(response.getResult("a")->getDoubleValue(), 1.0);
}

} // namespace
