// The reply writer against the framework's serialisation (tests/support/
// framework_json.h): every case is written both ways, indented and compact,
// and must come out byte for byte the same.

#include "framework_json.h"
#include "service/rpc_array.h"
#include "service/rpc_json_writer.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

using namespace tarvesk::service;

namespace {

const QJsonDocument::JsonFormat kFormats[] = {QJsonDocument::Indented, QJsonDocument::Compact};

QByteArray writerTreeJson(const RpcValue& value, QJsonDocument::JsonFormat format)
{
    RpcJsonWriter writer(format);
    writer.beginObject();
    writer.key(QLatin1String("v"));
    writer.value(&value);
    writer.close();
    return writer.take();
}

void expectSameAsFramework(const RpcValue& value, const std::string& what)
{
    for (const auto format : kFormats) {
        EXPECT_EQ(writerTreeJson(value, format), qmtest::frameworkTreeJson(value, format))
            << what << (format == QJsonDocument::Compact ? " (compact)" : " (indented)");
    }
}

QString utf16(std::initializer_list<ushort> units)
{
    QString text;
    for (ushort unit : units)
        text.append(QChar(unit));
    return text;
}

TEST(RpcJsonWriter, NumbersAsTheFrameworkWritesThem)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double cases[] = {0.0, -0.0, 1, -1, 0.5, 0.1, 1e-7, 2.0004, 2.0005, -1.0005, 0.0005, -0.0004, 0.001,
        1.5e-5, 123456789.125, 1234567.5, 2147483647, -2147483648.0, 4294967296.0, 9007199254740991.0,
        9007199254740992.0, 9007199254740994.0, -9007199254740992.0, -9007199254740994.0,
        9.2233720368547758e18, 1.8446744073709552e19, -1.8446744073709552e19, 1e20, 1e21, 1e300, -1e300,
        5e-324, 2.2250738585072014e-308, 1.7976931348623157e308, std::nan(""), inf, -inf, 0.3333333,
        1e15 + 0.5, 65535.999};
    for (const double number : cases)
        expectSameAsFramework(RpcValue(number), "number " + std::to_string(number));
}

TEST(RpcJsonWriter, StringsAndEscapesAsTheFrameworkWritesThem)
{
    QString controls;
    for (ushort c = 0; c < 0x20; ++c)
        controls.append(QChar(c));
    const QString cases[] = {
        QString(),
        controls,
        QStringLiteral("\"quoted\" back\\slash /slash \x7f del"),
        QString::fromUtf8("Grüße € 😀 日本"),
        utf16({0xd800}),                 // lone high surrogate at the end
        utf16({0xdc00, 'x'}),            // lone low surrogate
        utf16({0xd800, 0xd800, 0xdc00}), // a lone high one, then a pair
        utf16({0xdbff, 0xdfff, 0xffff, 0xfffe, 0xe000}),
        utf16({'a', 0xdfff, 0xd83d}),
        utf16({0x80, 0x7ff, 0x800, 0xd7ff}),
        QString(5000, QChar(0xe9)) + utf16({0xd800}) + QString(3000, QChar('\n')),
    };
    for (const QString& text : cases)
        expectSameAsFramework(RpcValue(text), "string of " + std::to_string(text.size()) + " units");
}

// Every unit that needs care at every position of a text long enough for the
// writer's eight-units-at-a-time copy, so that each lands in and around a block.
TEST(RpcJsonWriter, SpecialUnitsAtEveryPosition)
{
    const ushort specials[] = {0x00, 0x1f, '"', '\\', 0x7f, 0x80, 0xff, 0x7ff, 0x800, 0x8000, 0xd800, 0xdbff,
        0xdc00, 0xdfff, 0xfffe, 0xffff};
    const QString plain = QStringLiteral("abcdefghijklmnopqrstu");
    for (const ushort special : specials) {
        for (int at = 0; at < plain.size(); ++at) {
            QString text = plain;
            text[at] = QChar(special);
            expectSameAsFramework(
                RpcValue(text), "unit " + std::to_string(special) + " at " + std::to_string(at));
        }
    }
    // A surrogate pair split across the eight-unit blocks.
    expectSameAsFramework(
        RpcValue(QStringLiteral("abcdefg") + QString::fromUcs4(U"\U0001F600") + QStringLiteral("xyz")),
        "pair across blocks");
}

TEST(RpcJsonWriter, TreesAsTheFrameworkWritesThem)
{
    expectSameAsFramework(RpcValue(), "undefined");
    expectSameAsFramework(RpcValue(QJsonValue(QJsonValue::Null)), "null");
    expectSameAsFramework(RpcValue(true), "true");
    expectSameAsFramework(RpcValue(false), "false");
    expectSameAsFramework(RpcValue(new RpcArray), "empty array");
    expectSameAsFramework(RpcValue(new RpcObject), "empty object");
    // An array or object value without its container is written empty.
    expectSameAsFramework(RpcValue(static_cast<RpcArray*>(nullptr)), "array value without array");
    expectSameAsFramework(RpcValue(static_cast<RpcObject*>(nullptr)), "object value without object");

    // Keys in UTF-16 order (a surrogate pair before U+E000), empty and escaped keys.
    auto* keys = new RpcObject;
    const QString names[]
        = {QStringLiteral("z"), QString(), utf16({0xe000}), QString::fromUcs4(U"\U00010000"), utf16({0xd800}),
            utf16({0xdc00}), QStringLiteral("a\"b\\c\n"), QString::fromUtf8("é"), QStringLiteral("#")};
    int n = 0;
    for (const QString& name : names)
        keys->addChild(name, new RpcValue(n++));
    expectSameAsFramework(RpcValue(keys), "object keys");

    // Nesting, empty containers inside, null children, every type in an array.
    auto* inner = new RpcArray;
    inner->addChild(new RpcValue(new RpcArray));
    inner->addChild(new RpcValue(new RpcObject));
    inner->addChild(static_cast<RpcValue*>(nullptr));
    inner->addChild(new RpcValue(QStringLiteral("s")));
    inner->addChild(new RpcValue(1.25));
    inner->addChild(new RpcValue(true));
    inner->addChild(new RpcValue());
    auto* level = new RpcObject;
    level->addChild(QStringLiteral("list"), inner);
    level->addChild(QStringLiteral("empty"), new RpcObject);
    RpcValue deep(level);
    expectSameAsFramework(deep, "nested");

    auto* chain = new RpcArray;
    RpcArray* last = chain;
    for (int i = 0; i < 40; ++i) {
        auto* next = new RpcArray;
        auto* object = new RpcObject;
        object->addChild(QStringLiteral("k"), next);
        last->addChild(object);
        last = next;
    }
    expectSameAsFramework(RpcValue(chain), "forty levels");
}

struct MessageCase
{
    const char* name;
    QByteArray requestBody;
};

// Whole messages: the request as parsed, the reply with the request's id, a
// result and a debug value or an error, against the framework's text with
// the id's own text in place.
TEST(RpcJsonWriter, MessagesAsTheFrameworkWritesThem)
{
    const MessageCase cases[] = {
        {"number id", R"({"jsonrpc":"2.0","id":7,"method":"m"})"},
        {"number id with own digits", R"({"jsonrpc":"2.0","id":1.50,"method":"m","params":[1,2.5]})"},
        {"negative zero id", R"({"jsonrpc":"2.0","id":-0,"method":"m","params":{}})"},
        {"long number id", R"({"jsonrpc":"2.0","id":123456789012345678901234567890,"method":"m"})"},
        {"exponent id", R"({"jsonrpc":"2.0","id":1e3,"method":"m","params":null})"},
        {"string id", R"({"jsonrpc":"2.0","id":"abc","method":"m","params":{"b":1,"a":[true,null]}})"},
        {"escaped string id", R"({"jsonrpc":"2.0","id":"a\/b\u0041\n","method":"m"})"},
        {"lone surrogate id", R"({"jsonrpc":"2.0","id":"\ud800","method":"m\ud800"})"},
        {"id of hashes", R"({"jsonrpc":"2.0","id":"##","method":"#","params":{"#":"###"}})"},
        {"no id", R"({"jsonrpc":"2.0","method":"m"})"},
        {"not json", R"({"jsonrpc":)"},
        {"non-string method", R"({"jsonrpc":"2.0","id":2,"method":5,"params":"text"})"},
    };
    for (const MessageCase& c : cases) {
        RpcRequest request;
        request.parseJsonRpcUtf8(c.requestBody);
        RpcResponse reply;
        reply.setIdFrom(request);
        auto* result = new RpcObject;
        result->addChild(QStringLiteral("value"), new RpcValue(0.1234));
        result->addChild(QStringLiteral("text"), new RpcValue(QStringLiteral("###")));
        reply.setResultValue(result);
        reply.setDebugValue(new RpcValue(QStringLiteral("#")));
        RpcResponse bare;
        bare.setIdFrom(request);
        RpcResponse failed;
        failed.setIdFrom(request);
        failed.error(request.getErrorCode() ? request.getErrorCode() : -32601,
            request.getErrorString() + QStringLiteral(" \"#\" ") + utf16({0xdc00}));
        for (const auto format : kFormats) {
            const char* form = format == QJsonDocument::Compact ? " (compact)" : " (indented)";
            EXPECT_EQ(request.serializeToUtf8(format), qmtest::frameworkSerialisation(request, format))
                << c.name << " request" << form;
            EXPECT_EQ(reply.serializeToUtf8(format), qmtest::frameworkSerialisation(reply, format))
                << c.name << " reply" << form;
            EXPECT_EQ(bare.serializeToUtf8(format), qmtest::frameworkSerialisation(bare, format))
                << c.name << " reply without result" << form;
            EXPECT_EQ(failed.serializeToUtf8(format), qmtest::frameworkSerialisation(failed, format))
                << c.name << " error reply" << form;
        }
    }
}

// An independent check of the indented form, written out by hand: four
// spaces per level, ": " after keys, one member per line, a final line break.
TEST(RpcJsonWriter, IndentedReplyLayout)
{
    RpcRequest request;
    ASSERT_TRUE(request.parseJsonRpcUtf8(R"({"jsonrpc":"2.0","id":1,"method":"m"})"));
    RpcResponse reply;
    reply.setIdFrom(request);
    auto* names = new RpcArray;
    names->addChild(new RpcValue(QStringLiteral("a")));
    names->addChild(new RpcValue(new RpcArray));
    reply.setResultValue(names);
    EXPECT_EQ(reply.serializeToUtf8(QJsonDocument::Indented),
        QByteArray("{\n"
                   "    \"id\": 1,\n"
                   "    \"jsonrpc\": \"2.0\",\n"
                   "    \"result\": [\n"
                   "        \"a\",\n"
                   "        [\n"
                   "        ]\n"
                   "    ]\n"
                   "}\n"));
}

} // namespace
