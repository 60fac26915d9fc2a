#include "log_capture.h"

#include "protocol/dali/dali_lookup_table.h"
#include "service/string_exception.h"

#include <gtest/gtest.h>

#include <cmath>

using tarvesk::proto::DaliLookupTable;

namespace {

// A small command table: duplicates, a value given as hexadecimal text, a device
// type 8 opcode that shadows a standard one, and records with unusable values.
const char* const kFixture = R"({
  "DaliCommandLUT": [
    {"Value": 0, "Name": "OFF", "Description": "Lamp off"},
    {"Value": 5, "Name": "RECALL MAX LEVEL"},
    {"Value": 5, "Name": "SHADOWED"},
    {"Value": 16, "Name": "GO TO SCENE 0"},
    {"Value": "e0", "Name": "RESET STANDARD E0"},
    {"Value": 12.5, "Name": "FRACTION"},
    {"Value": "zz", "Name": "NOT HEX"},
    {"Name": "NO VALUE"},
    "not an object",
    {"Value": 6, "Name": "RECALL MAX LEVEL"}
  ],
  "DaliSpecialCommandLUT": [
    {"Value": "A1", "Name": "TERMINATE"},
    {"Value": 193, "Name": "ENABLE DEVICE TYPE X"}
  ],
  "DaliDT1CommandLUT": [],
  "DaliDT6CommandLUT": [{"Value": 238, "Name": "REFERENCE SYSTEM POWER"}],
  "DaliDT8CommandLUT": [
    {"Value": "ff", "Name": "QUERY EXTENDED VERSION NUMBER"},
    {"Value": 224, "Name": "SET TEMPORARY X-COORDINATE"}
  ],
  "DaliDT17CommandLUT": []
})";

class DaliLookupTableTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        tarvesk::test::LogCapture capture;
        ASSERT_TRUE(table.initFromJsonData(kFixture));
        // The three records without a command byte are skipped with a warning.
        EXPECT_EQ(capture.warnings().size(), 3);
    }
    DaliLookupTable table;
};

TEST_F(DaliLookupTableTest, NamesOfCommandBytes)
{
    EXPECT_EQ(table.getCommandName(0, 0), "OFF");              // not taken over by a record without a value
    EXPECT_EQ(table.getCommandName(5, 0), "RECALL MAX LEVEL"); // the first record of a value wins
    EXPECT_EQ(table.getCommandName(6, 0), "RECALL MAX LEVEL");
    EXPECT_EQ(table.getCommandName(0xE0, 0), "RESET STANDARD E0");
    EXPECT_EQ(table.getCommandName(0xE0, 8), "SET TEMPORARY X-COORDINATE");
    EXPECT_EQ(table.getCommandName(0xFF, 8), "QUERY EXTENDED VERSION NUMBER"); // "ff" is 255
    EXPECT_EQ(table.getCommandName(0x10, 8), "GO TO SCENE 0");                 // falls back to standard
    EXPECT_EQ(table.getCommandName(0xE0, 2), "RESET STANDARD E0");             // no set of its own for type 2
    EXPECT_EQ(table.getCommandName(0xEE, 6), "REFERENCE SYSTEM POWER");
    EXPECT_EQ(table.getCommandName(0xEE, 0), "ee");
    EXPECT_EQ(table.getCommandName(0x0A, 0), "0a");
    EXPECT_EQ(table.getCommandName(12, 0), "0c"); // 12.5 was not read as 12 or 0
    EXPECT_EQ(table.getSpecialCommandName(0xA1), "TERMINATE");
    EXPECT_EQ(table.getSpecialCommandName(0xC1), "ENABLE DEVICE TYPE X");
    EXPECT_EQ(table.getSpecialCommandName(0xA3), "a3");
}

TEST_F(DaliLookupTableTest, BytesOfCommandNames)
{
    EXPECT_EQ(table.getCommand("OFF"), 0);
    EXPECT_EQ(table.getCommand("GO TO SCENE 0", 0), 16);
    EXPECT_EQ(table.getCommand("RECALL MAX LEVEL"), 6); // a later name replaces an earlier one
    EXPECT_EQ(table.getCommand("SET TEMPORARY X-COORDINATE", 8), 224);
    EXPECT_EQ(table.getCommand("OFF", 8), 0); // the standard set still answers under a device type
    EXPECT_EQ(table.getSpecialCommand("TERMINATE"), 0xA1);

    struct Miss
    {
        QString name;
        unsigned char deviceType;
        bool special;
        const char* warning;
    };
    const Miss misses[] = {
        {"SHADOWED", 0, false, "Can't find value for command name \"SHADOWED\""}, // its byte was taken
        {"off", 0, false, "Can't find value for command name \"off\""},           // names are case-sensitive
        {"FRACTION", 0, false, "Can't find value for command name \"FRACTION\""},
        {"SET TEMPORARY X-COORDINATE", 0, false, "Can't find value"}, // a device type 8 name
        {"SET TEMPORARY X-COORDINATE", 6, false, "(device type 6)"},
        {"TERMINATE", 0, false, "Can't find value"},
        {"OFF", 0, true, "Can't find value for special command name \"OFF\""},
    };
    for (const Miss& m : misses) {
        tarvesk::test::LogCapture capture;
        const int value
            = m.special ? table.getSpecialCommand(m.name) : table.getCommand(m.name, m.deviceType);
        EXPECT_EQ(value, -1) << m.name.toStdString(); // never 0, which is OFF
        EXPECT_TRUE(capture.hasWarningContaining(m.warning)) << m.name.toStdString();
    }
}

TEST(DaliLookupTable, LoadFailures)
{
    DaliLookupTable table;
    try {
        table.initFromJsonData("{ not json");
        FAIL() << "no exception";
    } catch (const StringException& e) {
        EXPECT_TRUE(e.message().startsWith("Error while parsing JSON data for DALI lookup table: "));
        EXPECT_TRUE(e.message().contains("  @ dali_lookup_table.cpp: "));
    }

    // The arrays before the missing one are loaded, the later ones are not.
    const QByteArray noDt6 = R"({"DaliCommandLUT": [{"Value": 1, "Name": "UP"}],
        "DaliSpecialCommandLUT": [], "DaliDT1CommandLUT": [],
        "DaliDT6CommandLUT": {"Value": 2}, "DaliDT8CommandLUT": [{"Value": 3, "Name": "X"}],
        "DaliDT17CommandLUT": []})";
    try {
        table.initFromJsonData(noDt6);
        FAIL() << "no exception";
    } catch (const StringException& e) {
        EXPECT_TRUE(e.message().startsWith(
            "Invalid DALI command definition file, does not contain array 'DaliDT6CommandLUT'"));
    }
    EXPECT_EQ(table.getCommandName(1, 0), "UP");
    EXPECT_EQ(table.getCommandName(3, 8), "03");

    DaliLookupTable missing;
    EXPECT_THROW(missing.initFromJsonData(R"({"DaliCommandLUT": []})"), StringException);

    DaliLookupTable notObject;
    EXPECT_TRUE(notObject.initFromJsonData("[1, 2]"));
    EXPECT_EQ(notObject.getCommandName(0, 0), "00");
}

// Level curves ---------------------------------------------------------------

struct LevelCase
{
    const char* variant;
    int level;
    int curve;
    double percentage;
};

TEST(DaliLevelCurves, LevelToPercentage)
{
    const LevelCase cases[] = {
        {"dali", 1, 0, 0.1},
        {"dali", 254, 0, 100.0},
        {"dali", 254, 1, 100.0},
        {"dali", 100, 0, 39.2},
        {"dali", 144, 1, 5.0},
        {"dali", 0, 1, 0.1},     // below the range: lower limit
        {"dali", 255, 0, 100.0}, // above it: 100
        {"dali_tolvene_old", 1, 0, 1.0},
        {"dali_tolvene_old", 144, 0, 56.4},
        {"dali_tolvene_old", 144, 1, 4.4},
        {"dv_wy_dravo", 32768, 0, 50.0},
        {"dv_wy_dravo", 32768, 3, 25.0},
        {"dv_wy_dravo", 8703, 2, 7.0},
        {"dv_wy_dravo", 8704, 2, 7.1},
        {"dv_wy_dravo", 0, 0, 0.1},
        {"dv_wy_dravo", 0, 1, 0.1},
        {"dv_wy_dravo", 0, 2, 0.1},
        {"dv_wy_dravo", 0, 3, 0.1},
        {"dv_wy_dravo", 65535, 0, 100.0},
        {"dv_wy_dravo", -5, 0, 0.1},       // negative levels count as 0
        {"dv_wy_dravo", 100000, 0, 100.0}, // and large ones as 65535
        {"dv_wy_tolvene", 32768, 1, 2.6},
        {"dv_wy_tolvene", 32768, 2, 45.6},
        {"dv_wy_tolvene", 0, 0, 1.0},
        {"dv_wy_tolvene", 0, 1, 1.0},
        {"dv_wy_tolvene", 0, 2, 1.0},
        {"dv_wy_tolvene", 0, 7, 1.0},
    };
    for (const LevelCase& c : cases)
        EXPECT_DOUBLE_EQ(DaliLookupTable::levelToPerc(c.variant, c.level, c.curve), c.percentage)
            << c.variant << " level " << c.level << " curve " << c.curve;
}

struct PercentCase
{
    const char* variant;
    double percentage;
    int curve;
    bool res8bits;
    int level;
};

TEST(DaliLevelCurves, PercentageToLevel)
{
    const double inf = INFINITY;
    const PercentCase cases[] = {
        {"dali", 100, 0, false, 254},
        {"dali", 0.1, 0, false, 1},
        {"dali", 50, 1, false, 229},
        {"dali", 0, 1, false, 1},
        {"dali", -3, 1, false, 1},
        {"dali", 1e300, 0, false, 254}, // clamped before the integer conversion
        {"dali", inf, 1, false, 254},
        {"dali", -inf, 0, false, 1},
        {"dali_tolvene_old", 0, 0, false, 4},
        {"dali_tolvene_old", 1e300, 1, false, 254},
        {"dv_wy_dravo", 0.1, 0, false, 0},
        {"dv_wy_dravo", 0.1, 1, false, 0},
        {"dv_wy_dravo", 0.1, 2, false, 0},
        {"dv_wy_dravo", 0.1, 3, false, 0},
        {"dv_wy_dravo", 50, 0, false, 32767},
        {"dv_wy_dravo", 50, 0, true, 181},
        {"dv_wy_dravo", 100, 2, false, 65534},
        {"dv_wy_dravo", 1e300, 3, false, 65535},
        {"dv_wy_dravo", inf, 1, true, 255},
        {"dv_wy_tolvene", 0, 2, false, 3200},
        {"dv_wy_tolvene", 100, 0, false, 65535},
        {"dv_wy_tolvene", 1e300, 2, false, 65535},
        {"dv_wy_tolvene", inf, 0, false, 65535},
    };
    for (const PercentCase& c : cases)
        EXPECT_EQ(DaliLookupTable::percToLevel(c.variant, c.percentage, c.curve, c.res8bits), c.level)
            << c.variant << " " << c.percentage << " curve " << c.curve << " 8bit " << c.res8bits;
}

TEST(DaliLevelCurves, UnknownVariantAndNaN)
{
    tarvesk::test::LogCapture capture;
    EXPECT_EQ(DaliLookupTable::levelToPerc("DALI", 100, 0), 0.0); // names are case-sensitive
    EXPECT_EQ(DaliLookupTable::percToLevel("linear", 50, 0, false), 0);
    EXPECT_EQ(capture.warnings().size(), 2);
    EXPECT_TRUE(capture.hasWarningContaining("Calculating unknown level percentage: \"DALI\""));
    EXPECT_TRUE(capture.hasWarningContaining("Calculating unknown level percentage: \"linear\""));

    for (const char* variant : {"dali", "dali_tolvene_old", "dv_wy_dravo", "dv_wy_tolvene"})
        EXPECT_EQ(DaliLookupTable::percToLevel(variant, std::nan(""), 1, false), -1) << variant;
}

// IEC 62386-102: the logarithmic curve is X(n) = 10^((n - 1) / (253 / 3) - 1) percent.
TEST(DaliLevelCurves, LogarithmicCurveFollowsIec62386)
{
    for (int n = 1; n <= 254; ++n) {
        const double x = std::pow(10.0, (n - 1) / (253.0 / 3.0) - 1.0);
        const double expected = std::max(0.1, std::round(x * 10.0) / 10.0);
        EXPECT_NEAR(DaliLookupTable::levelToPerc("dali", n, 1), expected, 1e-9) << n;
        EXPECT_EQ(DaliLookupTable::percToLevel("dali", x, 1, false), n) << n;
    }
}

// The linear curve runs from 0.1 % at level 1 to 100 % at level 254 in equal steps.
TEST(DaliLevelCurves, LinearCurveRoundTrips)
{
    for (int n = 1; n <= 254; ++n) {
        const double x = 0.1 + (n - 1) * (99.9 / 253.0);
        EXPECT_NEAR(DaliLookupTable::levelToPerc("dali", n, 0), std::round(x * 10.0) / 10.0, 1e-9) << n;
        EXPECT_EQ(DaliLookupTable::percToLevel("dali", x, 0, false), n) << n;
    }
}

} // namespace
