#include "protocol/dali/dali_command_table.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <utility>

using tarvesk::proto::DaliCommand;
using tarvesk::proto::DaliCommandKind;
using tarvesk::proto::DaliCommandTable;

namespace {

constexpr auto Std = DaliCommandKind::Standard;
constexpr auto Spc = DaliCommandKind::Special;

// Names resolve at compile time; a misspelt one would not build.
static_assert(DaliCommandTable::opcode("QUERY ACTUAL LEVEL") == 0xA0);
static_assert(DaliCommandTable::special("ENABLE DEVICE TYPE") == 0xC1);

// Rows typed from IEC 62386-102 and -207, not from the table.
struct Expected
{
    DaliCommandKind kind;
    quint8 deviceType;
    const char* name;
    quint8 code;
    bool twice;
    bool answer;
    std::set<int> dtrs;
};

const Expected StandardRows[] = {
    {Std, 0, "OFF", 0x00, false, false, {}},
    {Std, 0, "RECALL MAX LEVEL", 0x05, false, false, {}},
    {Std, 0, "GO TO SCENE", 0x10, false, false, {}},
    {Std, 0, "RESET", 0x20, true, false, {}},
    {Std, 0, "STORE ACTUAL LEVEL IN DTR0", 0x21, true, false, {0}},
    {Std, 0, "RESET MEMORY BANK", 0x24, true, false, {0}},
    {Std, 0, "SET MAX LEVEL", 0x2A, true, false, {0}},
    {Std, 0, "SET EXTENDED FADE TIME", 0x30, true, false, {0}},
    {Std, 0, "SET SCENE", 0x40, true, false, {0}},
    {Std, 0, "ADD TO GROUP", 0x60, true, false, {}},
    {Std, 0, "SET SHORT ADDRESS", 0x80, true, false, {0}},
    {Std, 0, "ENABLE WRITE MEMORY", 0x81, true, false, {}},
    {Std, 0, "QUERY STATUS", 0x90, false, true, {}},
    {Std, 0, "QUERY CONTENT DTR0", 0x98, false, true, {0}},
    {Std, 0, "QUERY DEVICE TYPE", 0x99, false, true, {}},
    {Std, 0, "QUERY CONTENT DTR2", 0x9D, false, true, {2}},
    {Std, 0, "QUERY ACTUAL LEVEL", 0xA0, false, true, {}},
    {Std, 0, "QUERY FADE TIME/FADE RATE", 0xA5, false, true, {}},
    {Std, 0, "QUERY SCENE LEVEL", 0xB0, false, true, {}},
    {Std, 0, "QUERY RANDOM ADDRESS (L)", 0xC4, false, true, {}},
    {Std, 0, "READ MEMORY LOCATION", 0xC5, false, true, {0, 1}},
    {Spc, 0, "TERMINATE", 0xA1, false, false, {}},
    {Spc, 0, "DTR0", 0xA3, false, false, {0}},
    {Spc, 0, "INITIALISE", 0xA5, true, false, {}},
    {Spc, 0, "RANDOMISE", 0xA7, true, false, {}},
    {Spc, 0, "COMPARE", 0xA9, false, true, {}},
    {Spc, 0, "SEARCHADDRH", 0xB1, false, false, {}},
    {Spc, 0, "QUERY SHORT ADDRESS", 0xBB, false, true, {}},
    {Spc, 0, "ENABLE DEVICE TYPE", 0xC1, false, false, {}},
    {Spc, 0, "DTR1", 0xC3, false, false, {1}},
    {Spc, 0, "WRITE MEMORY LOCATION", 0xC7, false, true, {0, 1}},
    {Spc, 0, "WRITE MEMORY LOCATION - NO REPLY", 0xC9, false, false, {0, 1}},
    {Std, 6, "SELECT DIMMING CURVE", 0xE3, true, false, {0}},
    {Std, 6, "QUERY DIMMING CURVE", 0xEE, false, true, {}},
    {Std, 6, "QUERY SHORT CIRCUIT", 0xF2, false, true, {}},
    {Std, 6, "QUERY OPERATING MODE", 0xFC, false, true, {}},
    {Std, 6, "QUERY EXTENDED VERSION NUMBER", 0xFF, false, true, {}},
};

TEST(DaliCommandTable, RowsMatchTheStandard)
{
    for (const Expected& e : StandardRows) {
        SCOPED_TRACE(e.name);
        const DaliCommand* byName = DaliCommandTable::findNamed(e.name, e.deviceType);
        ASSERT_NE(byName, nullptr);
        EXPECT_EQ(byName->kind, e.kind);
        EXPECT_EQ(byName->code, e.code);
        EXPECT_EQ(byName->sendTwice(), e.twice);
        EXPECT_EQ(byName->expectsAnswer(), e.answer);
        for (int dtr = 0; dtr < 3; ++dtr)
            EXPECT_EQ(byName->usesDtr(dtr), e.dtrs.count(dtr) == 1) << "DTR" << dtr;
        EXPECT_EQ(DaliCommandTable::find(e.kind, e.code, e.deviceType), byName);
    }
}

// Which codes the standards define; the gaps are reserved.
std::set<int> definedCodes(std::initializer_list<std::pair<int, int>> ranges, int step = 1)
{
    std::set<int> codes;
    for (const auto& [first, last] : ranges)
        for (int code = first; code <= last; code += step)
            codes.insert(code);
    return codes;
}

TEST(DaliCommandTable, SweepOfEveryCode)
{
    std::set<int> standard, special, led;
    for (int code = 0; code <= 0xFF; ++code) {
        SCOPED_TRACE(code);
        if (const DaliCommand* c = DaliCommandTable::find(Std, quint8(code))) {
            standard.insert(code);
            EXPECT_EQ(c->sendTwice(), code >= 0x20 && code <= 0x81);
            EXPECT_EQ(c->expectsAnswer(), code >= 0x90 && code <= 0xC5);
        }
        if (const DaliCommand* c = DaliCommandTable::find(Spc, quint8(code))) {
            special.insert(code);
            EXPECT_EQ(c->sendTwice(), code == 0xA5 || code == 0xA7); // INITIALISE, RANDOMISE
        }
        if (const DaliCommand* c = DaliCommandTable::find(Std, quint8(code), 6); c && c->deviceType == 6) {
            led.insert(code);
            EXPECT_EQ(c->sendTwice(), code <= 0xE4);
            EXPECT_EQ(c->expectsAnswer(), code >= 0xED);
        }
    }
    EXPECT_EQ(standard,
        definedCodes({{0x00, 0x0A}, {0x10, 0x25}, {0x2A, 0x30}, {0x40, 0x81}, {0x90, 0xA8}, {0xAA, 0xAA},
            {0xB0, 0xC5}}));
    EXPECT_EQ(special, definedCodes({{0xA1, 0xAD}, {0xB1, 0xBB}, {0xC1, 0xC9}}, 2));
    EXPECT_EQ(led, definedCodes({{0xE0, 0xE4}, {0xED, 0xFF}}));
}

TEST(DaliCommandTable, NamesAreUniqueAndRoundTrip)
{
    std::set<std::pair<int, std::string>> names;
    for (const DaliCommand& row : DaliCommandTable::Rows) {
        SCOPED_TRACE(std::string(row.name));
        EXPECT_TRUE(names.emplace(row.deviceType, std::string(row.name)).second) << "duplicate name";
        EXPECT_EQ(DaliCommandTable::findNamed(row.name, row.deviceType), &row);
        ASSERT_GE(row.count, 1);
        for (int i = 0; i < row.count; ++i)
            EXPECT_EQ(DaliCommandTable::find(row.kind, quint8(row.code + i), row.deviceType), &row);
    }
}

TEST(DaliCommandTable, DeviceTypeSetsAndUnknownNames)
{
    // The extension answers only while its device type is enabled; the commands
    // of every gear stay what they are.
    EXPECT_EQ(DaliCommandTable::find(Std, 0xE3), nullptr);
    EXPECT_EQ(DaliCommandTable::find(Std, 0xE3, 8), nullptr);
    EXPECT_EQ(DaliCommandTable::find(Std, 0x90, 6), &DaliCommandTable::named("QUERY STATUS"));
    EXPECT_EQ(DaliCommandTable::opcode("QUERY OPERATING MODE"), 0x9E);
    EXPECT_EQ(DaliCommandTable::opcode("QUERY OPERATING MODE", 6), 0xFC);
    // Name look-ups stay inside the set asked for.
    EXPECT_EQ(DaliCommandTable::findNamed("QUERY STATUS", 6), nullptr);
    EXPECT_EQ(DaliCommandTable::findNamed("SELECT DIMMING CURVE"), nullptr);

    EXPECT_THROW(DaliCommandTable::named("QUERY NOTHING"), std::invalid_argument);
    EXPECT_THROW(DaliCommandTable::opcode("DTR0"), std::invalid_argument);
    EXPECT_THROW(DaliCommandTable::special("QUERY CONTENT DTR0"), std::invalid_argument);
}

} // namespace
