#include "core/core_errors.h"
#include "qt_printers.h"
#include "service/json_rpc_exception.h"
#include "service/source_location.h"
#include "service/string_exception.h"

#include <gtest/gtest.h>

TEST(Exceptions, SourceLocationTail)
{
    struct Case
    {
        QString file;
        int line;
        QString expected;
    };
    const Case cases[] = {
        {"src/protocol/dali/dali_lookup_table", 12, "abc  @ dali_lookup_table: 12"},
        {"plain.cpp", 3, "abc  @ plain.cpp: 3"},
        {"", 12, "abc"},
        {"src/protocol/", 12, "abc"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StringException(QStringLiteral("abc"), c.file, c.line).message(), c.expected);
        const JsonRpcException error(QStringLiteral("abc"), -32602, c.file, c.line);
        EXPECT_EQ(error.message(), c.expected);
        EXPECT_EQ(error.code(), -32602);
    }
    try {
        QM_THROW_STRING(QStringLiteral("thrown"));
    } catch (const StringException& e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("thrown  @ exceptions_test.cpp: ")));
    }
    const tarvesk::core::ParameterError error("bad value");
    EXPECT_STREQ(error.what(), "bad value");
}
