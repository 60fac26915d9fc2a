#include "core/core_errors.h"
#include "core/parameters/dali/memory_block_bool_converter.h"
#include "core/parameters/dali/memory_block_integer_converter.h"
#include "core/parameters/dali/memory_block_string_converter.h"

#include <gtest/gtest.h>

using namespace tarvesk::core;
using Bytes = std::vector<unsigned char>;

namespace {

template <typename F> std::string errorOf(F&& f)
{
    try {
        f();
    } catch (const ParameterError& e) {
        return e.what();
    }
    return "no error";
}

TEST(MemoryBlockConverters, Names)
{
    EXPECT_EQ(MemoryBlockIntegerConverter().getName(), "integer");
    EXPECT_EQ(MemoryBlockStringConverter().getName(), "string");
    EXPECT_EQ(MemoryBlockBoolConverter().getName(), "bool");
}

TEST(MemoryBlockConverters, IntegerIsBigEndian)
{
    MemoryBlockIntegerConverter c;
    EXPECT_EQ(c.convert(Bytes {0x01, 0x02}, 2).toULongLong(), 258u);
    EXPECT_EQ(c.convert(Bytes(6, 0xFF), 6).toULongLong(), 281474976710655ull); // 2^48 - 1
    EXPECT_EQ(c.convert(Bytes {0x07}, 4).toULongLong(), 7u);                   // fewer bytes than the field
    EXPECT_EQ(c.convert(Bytes {}, 2).toULongLong(), 0u);
    EXPECT_EQ(c.convert(QVariant(258), 3), (Bytes {0x00, 0x01, 0x02}));
    EXPECT_EQ(c.convert(QVariant(QStringLiteral("258")), 2), (Bytes {0x01, 0x02}));
    EXPECT_EQ(c.convert(QVariant(0xFFFFFFFFFFFFFFFFull), 8), Bytes(8, 0xFF));
    EXPECT_TRUE(c.convert(QVariant(0), 0).empty());
}

TEST(MemoryBlockConverters, IntegerRefusals)
{
    MemoryBlockIntegerConverter c;
    EXPECT_EQ(errorOf([&] { c.convert(Bytes {1}, 9); }),
        "MemoryBankReadIntegerAction: Too many bytes (9) for an integer value");
    EXPECT_EQ(errorOf([&] { c.convert(QVariant(1), 9); }),
        "MemoryBankReadIntegerAction: Too many bytes (9) requested for 64 bit number");
    EXPECT_EQ(errorOf([&] {
        c.convert(Bytes {1, 2, 3}, 2);
    }),
        "MemoryBankReadIntegerAction: 3 bytes for an integer value that should be a maximum of 2 bytes");
    EXPECT_EQ(errorOf([&] { c.convert(QVariant(QStringLiteral("many")), 2); }),
        "MemoryBankReadIntegerAction: Invalid value: many");
    // Writing must not change the number: no wrap of negatives, no cut-off high bytes.
    EXPECT_EQ(errorOf([&] { c.convert(QVariant(-1), 2); }), "MemoryBankReadIntegerAction: Invalid value: -1");
    EXPECT_EQ(errorOf([&] { c.convert(QVariant(300), 1); }),
        "MemoryBankReadIntegerAction: Value 300 does not fit in 1 bytes");
}

TEST(MemoryBlockConverters, Bool)
{
    MemoryBlockBoolConverter c;
    EXPECT_TRUE(c.convert(Bytes {0x02}, 1).toBool());
    EXPECT_FALSE(c.convert(Bytes {0x00, 0x01}, 2).toBool());
    EXPECT_EQ(c.convert(Bytes {0x01}, 1).userType(), QMetaType::Bool);
    EXPECT_EQ(c.convert(QVariant(true), 4), Bytes {1});
    EXPECT_EQ(c.convert(QVariant(false), 1), Bytes {0});
    EXPECT_EQ(errorOf([&] { c.convert(QVariant(QStringLiteral("true")), 1); }),
        "MemoryBankReadBoolAction: Invalid value: true");
    EXPECT_EQ(errorOf([&] {
        c.convert(Bytes {1, 1}, 1);
    }),
        "MemoryBankReadBoolAction: 2 bytes for a bool value that should be a maximum of 1 bytes");
}

TEST(MemoryBlockConverters, String)
{
    MemoryBlockStringConverter c;
    // The text ends at its first NUL; what follows it is not looked at.
    EXPECT_EQ(c.convert(Bytes {0x41, 0x42, 0x00, 0x00}, 4).toString(), QStringLiteral("AB"));
    EXPECT_EQ(c.convert(Bytes {0x41, 0x00, 0x07}, 4).toString(), QStringLiteral("A"));
    EXPECT_EQ(c.convert(Bytes {0x00}, 4).toString(), QString());
    EXPECT_EQ(c.convert(Bytes {0x41, 0x07}, 4).toString(), "<N/A>");
    EXPECT_EQ(c.convert(Bytes {}, 4).toString(), "");
    EXPECT_EQ(c.convert(QVariant(QStringLiteral("AB")), 4), (Bytes {0x41, 0x42, 0x00, 0x00}));
    EXPECT_EQ(errorOf([&] { c.convert(QVariant(5), 4); }), "int is not a string");
    EXPECT_EQ(errorOf([&] { c.convert(QVariant(QStringLiteral("ABCDE")), 4); }),
        "MemoryBlockStringConverter: 5 bytes for a string value that should be a maximum of 4 bytes");
}

} // namespace
