#include "core/json_text_guard.h"
#include "qt_printers.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <gtest/gtest.h>

using namespace tarvesk::core;

namespace {

// The framework's wording for one of its parse errors.
QString words(QJsonParseError::ParseError code)
{
    QJsonParseError error;
    error.error = code;
    return error.errorString();
}

QByteArray nested(int depth, const QByteArray& open, const QByteArray& inner, const QByteArray& close)
{
    return open.repeated(depth) + inner + close.repeated(depth);
}

// The request a web page can send to grow the service: the framework's parser
// takes "\q" and leaks the first "a" object.
const QByteArray kLeakingRequest
    = R"({"jsonrpc":"2.0","id":1,"x\q":0,"method":"system.listMethods","params":{"a":{"b":[1]},"a":{"c":[2]}}})";

TEST(JsonTextGuard, AcceptsStrictJson)
{
    const QByteArray texts[] = {
        R"({"jsonrpc":"2.0","id":1,"method":"m","params":{"a":[1,{"b":null}]}})",
        " \t\r\n[ true , false , null ] \t\r\n",
        "0",
        "-0",
        "[0, -0.0, 1.50, 1e3, 1E+3, 2e-7, -12.5E-10, 123456789012345678901234567890, 1e999]",
        R"(["\" \\ \/ \b \f \n \r \t \u0041 \u00e4 \u20AC \ud83d\ude00 \u0000"])",
        "\"Gr\xc3\xbc\xc3\x9f"
        "e \xe2\x82\xac \xf0\x9f\x98\x80\"",          // raw UTF-8 of two to four bytes
        "\xef\xbb\xbf{\"a\":1}",                      // one byte order mark before the text, as before
        R"({"a":1,"b":{"a":2},"c":[{"a":3}],"A":4})", // one key per object
        R"({"a\u0000b":[1],"a\u0000c":[2]})",         // keys differ after the escaped NUL
        R"({"a":"\"a\":","b":"}{"})",                 // keys inside strings are text
        "{}",
        "[]",
        "\"\"",
        nested(1024, "[", "", "]"),
        nested(1023, "{\"a\":", "[]", "}"),
    };
    for (const QByteArray& text : texts)
        EXPECT_EQ(jsonTextFault(text), QString()) << text.left(80).toStdString();
}

TEST(JsonTextGuard, RefusesWhatIsNotStrictJson)
{
    using E = QJsonParseError;
    const QString duplicateA = QStringLiteral(R"(Duplicate key "a" in a JSON object)");
    const QString control = QStringLiteral("Unescaped control character in a JSON string");
    const struct
    {
        QByteArray text;
        QString fault;
    } cases[] = {
        {kLeakingRequest, words(E::IllegalEscapeSequence)},
        // escapes JSON does not define, broken \u escapes, lone surrogates
        {R"(["\q"])", words(E::IllegalEscapeSequence)},
        {R"(["\["])", words(E::IllegalEscapeSequence)},
        {R"(["\x41"])", words(E::IllegalEscapeSequence)},
        {R"(["\U0041"])", words(E::IllegalEscapeSequence)},
        {R"(["\u12"])", words(E::IllegalEscapeSequence)},
        {R"(["\u12G4"])", words(E::IllegalEscapeSequence)},
        {R"(["\ud800"])", words(E::IllegalEscapeSequence)},
        {R"(["\ud800x"])", words(E::IllegalEscapeSequence)},
        {R"(["\ud800\u0041"])", words(E::IllegalEscapeSequence)},
        {R"(["\udc00"])", words(E::IllegalEscapeSequence)},
        {R"(["\ude00\ud83d"])", words(E::IllegalEscapeSequence)},
        {"[\"\\", words(E::UnterminatedString)},
        // numbers
        {"[01]", words(E::MissingValueSeparator)},
        {"[-01]", words(E::MissingValueSeparator)},
        {"01", words(E::GarbageAtEnd)},
        {"[1.]", words(E::IllegalNumber)},
        {"[.5]", words(E::IllegalNumber)},
        {"[+1]", words(E::IllegalNumber)},
        {"[-]", words(E::IllegalNumber)},
        {"[-a]", words(E::IllegalNumber)},
        {"[1e]", words(E::IllegalNumber)},
        {"[1e+]", words(E::IllegalNumber)},
        {"[1.e5]", words(E::IllegalNumber)},
        {"[0x10]", words(E::MissingValueSeparator)},
        {"[Infinity]", words(E::IllegalNumber)},
        {"[NaN]", words(E::IllegalNumber)},
        // literals
        {"[tru]", words(E::IllegalValue)},
        {"[True]", words(E::IllegalNumber)},
        {"[nul", words(E::IllegalValue)},
        // structure
        {"[1,]", words(E::MissingObject)},
        {R"({"a":1,})", words(E::MissingObject)},
        {"[1 2]", words(E::MissingValueSeparator)},
        {R"({"a" 1})", words(E::MissingNameSeparator)},
        {R"({"a":1 "b":2})", words(E::UnterminatedObject)},
        {"{a:1}", words(E::UnterminatedObject)},
        {R"({'a':1})", words(E::UnterminatedObject)},
        {R"({"a":)", words(E::UnterminatedObject)},
        {"[1,", words(E::UnterminatedArray)},
        {"[1", words(E::TerminationByNumber)},
        {R"({"id":1)", words(E::TerminationByNumber)},
        {"[", words(E::UnterminatedArray)},
        {R"(["abc)", words(E::UnterminatedString)},
        {"", words(E::IllegalValue)},
        {" \r\n", words(E::IllegalValue)},
        {"{} x", words(E::GarbageAtEnd)},
        {"{}{}", words(E::GarbageAtEnd)},
        {"[1]]", words(E::GarbageAtEnd)},
        // white space is only blank, tab, line feed and carriage return
        {"[\f1]", words(E::IllegalNumber)},
        {"[1,\v2]", words(E::IllegalNumber)},
        {"[1]\xc2\xa0", words(E::GarbageAtEnd)},
        {"\xef\xbb\xbf\xef\xbb\xbf{}", words(E::IllegalNumber)}, // only one byte order mark
        {"{}\xef\xbb\xbf", words(E::GarbageAtEnd)},
        // raw control characters in strings
        {"[\"a\x01\"]", control},
        {"[\"a\nb\"]", control},
        {"[\"\t\"]", control},
        {"{\"\x1f\":1}", control},
        {QByteArray("[\"a\0\"]", 6), "NUL character in the JSON text"},
        {QByteArray("{\"a\0b\":[1],\"a\0c\":[2]}", 22), "NUL character in the JSON text"},
        // bytes that are not UTF-8
        {"[\"\xff\"]", words(E::IllegalUTF8String)},
        {"[\"\xc3\"]", words(E::IllegalUTF8String)},             // cut short
        {"[\"\xc0\xaf\"]", words(E::IllegalUTF8String)},         // overlong "/"
        {"[\"\xe0\x80\xaf\"]", words(E::IllegalUTF8String)},     // overlong "/"
        {"[\"\xed\xa0\x80\"]", words(E::IllegalUTF8String)},     // a surrogate
        {"[\"\xf4\x90\x80\x80\"]", words(E::IllegalUTF8String)}, // beyond U+10FFFF
        {"[\"\x80\"]", words(E::IllegalUTF8String)},
        {"[\xc3\xa4]", words(E::IllegalNumber)},
        // keys repeated in one object, compared after decoding
        {R"({"a":[1],"a":[2]})", duplicateA},
        {R"({"a":1,"a":1})", duplicateA},
        {R"({"a":1,"b":{"c":{},"c":[]}})", R"(Duplicate key "c" in a JSON object)"},
        {R"([{"x":1},{"x":1,"x":2}])", R"(Duplicate key "x" in a JSON object)"},
        {R"({"a\u0062":1,"ab":2})", R"(Duplicate key "ab" in a JSON object)"},
        {R"({"\"":1,"\u0022":2})", R"(Duplicate key """ in a JSON object)"},
        {"{\"\\u00e4\":1,\"\xc3\xa4\":2}", QString::fromUtf8("Duplicate key \"\xc3\xa4\" in a JSON object")},
        {R"({"\ud83d\ude00":1,"\uD83D\uDE00":2})",
            QString::fromUtf8("Duplicate key \"\xf0\x9f\x98\x80\" in a JSON object")},
        {R"({"":{"":[1],"":[2]})", R"(Duplicate key "" in a JSON object)"}, // found before the end
        // nesting beyond what the framework's parser takes
        {nested(1025, "[", "", "]"), words(E::DeepNesting)},
        {nested(1024, "{\"a\":", "[]", "}"), words(E::DeepNesting)},
        {QByteArray(1000000, '['), words(E::DeepNesting)},
        {QByteArray(1000000, '{'), words(E::UnterminatedObject)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(jsonTextFault(c.text), c.fault) << c.text.left(80).toStdString();
}

// Where the framework refuses a text as well, the words are its own.
TEST(JsonTextGuard, SpeaksAsTheFrameworkWhereItRefusesToo)
{
    const QByteArray texts[] = {"", "[01]", "[1,]", R"({"a":1,})", "[1 2]", R"({"a" 1})", R"({"a":)", "[1,",
        R"(["abc)", "{} x", "[tru]", "[-]", "[\"\xff\"]", nested(1025, "[", "", "]"), "{a:1}", "[+1]",
        "[\f1]", "[Infinity]", "[True]", "[1", R"({"id":-0.5e1)"};
    for (const QByteArray& text : texts) {
        QJsonParseError error;
        QJsonDocument::fromJson(text, &error);
        ASSERT_NE(error.error, QJsonParseError::NoError) << text.toStdString();
        EXPECT_EQ(jsonTextFault(text), error.errorString()) << text.toStdString();
    }
}

TEST(JsonTextGuard, TopMemberIsGivenAsWritten)
{
    const struct
    {
        QByteArray text;
        QByteArray id; // empty: none given
    } cases[] = {
        {R"({"id":1.50})", "1.50"}, {R"({"a":{"id":1},"id" :	-0 ,"b":[{"id":2}]})", "-0"},
        {R"({"id":123456789012345678901234567890})", "123456789012345678901234567890"},
        {R"({"i\u0064":"a\/b"})", R"("a\/b")"}, {R"({"id":[1, {"x":2}],"z":0})", R"([1, {"x":2}])"},
        {R"({"id":null})", "null"}, {R"({"a":{"id":1}})", ""}, {R"([{"id":1}])", ""}, {R"({"ID":1})", ""},
        {R"({"id":1,"x":"\q"})", ""}, // refused text gives nothing
    };
    for (const auto& c : cases) {
        QByteArray id = "stale";
        jsonTextFault(c.text, QStringLiteral("id"), &id);
        EXPECT_EQ(id, c.id) << c.text.toStdString();
    }
}

} // namespace
