#include "qt_printers.h"
#include "service/json_text_guard.h"
#include "service/rpc_request.h"
#include "service/rpc_value.h"

#include <gtest/gtest.h>

using namespace tarvesk::service;

namespace {

TEST(JsonTextGuard, FindsKeysRepeatedInOneObject)
{
    const struct
    {
        const char* json;
        const char* duplicate; // null: none
    } cases[] = {
        {R"({"a":[1],"a":[2]})", "a"},
        {R"({"a":1,"b":{"c":{},"c":[]}})", "c"},
        {R"([{"x":1},{"x":1,"x":2}])", "x"},
        {R"({"a\u0062":1,"ab":2})", "ab"}, // compared after decoding
        {R"({"\"":1,"\u0022":2})", "\""},
        {R"({"":{"":[1],"":[2]})", ""}, // unterminated: still found before the end
        {R"({"a":1,"b":{"a":2},"c":[{"a":3}]})", nullptr},
        {R"({"a":"\"a\":","b":"}{"})", nullptr}, // keys inside strings are text
        {R"({"Grüße":1,"Grusse":2})", nullptr},
        {R"({"a":1,)", nullptr},
        {"", nullptr},
        {"[[[[[[", nullptr},
    };
    for (const auto& c : cases) {
        QString key;
        EXPECT_EQ(findDuplicateJsonKey(QByteArray(c.json), &key), c.duplicate != nullptr) << c.json;
        if (c.duplicate) {
            EXPECT_EQ(key, QString::fromUtf8(c.duplicate)) << c.json;
        }
    }
    // Nesting far beyond what the parser accepts ends the scan, not the stack.
    EXPECT_FALSE(findDuplicateJsonKey(QByteArray(200000, '[')));
    EXPECT_FALSE(findDuplicateJsonKey(QByteArray(200000, '{')));
}

TEST(JsonTextGuard, TextTheParserLeaksOnIsRefusedUnread)
{
    // Qt's parser would leak the first "a" array on every such request.
    RpcRequest request;
    EXPECT_FALSE(request.parseJsonRpc(R"({"jsonrpc":"2.0","id":1,"method":"m","params":{"a":[1],"a":[2]}})"));
    EXPECT_EQ(request.getErrorCode(), -32700);
    EXPECT_EQ(request.getErrorString(), QString(R"(Duplicate key "a" in a JSON object)"));

    // Qt takes these two keys for one.
    const char nulKeys[]
        = "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"m\",\"params\":{\"a\0b\":[1],\"a\0c\":[2]}}";
    EXPECT_FALSE(request.parseJsonRpc(QString::fromUtf8(nulKeys, sizeof(nulKeys) - 1)));
    EXPECT_EQ(request.getErrorCode(), -32700);
    EXPECT_EQ(request.getErrorString(), QString("NUL character in the JSON text"));

    RpcValue value("kept");
    EXPECT_FALSE(value.fromJson(R"({"a":{},"a":{}})"));
    EXPECT_FALSE(value.fromJson(QString::fromUtf8("[\"a\0\"]", 6)));
    EXPECT_EQ(value.getStringValue(), QString("kept"));
}

} // namespace
