#include "log_capture.h"

#include "protocol/halvoran_lookup_table.h"

#include <gtest/gtest.h>

using tarvesk::proto::HalvoranLookupTable;

namespace {

TEST(HalvoranLookupTable, LoadsNamesAndAddresses)
{
    HalvoranLookupTable table;
    tarvesk::test::LogCapture capture;
    ASSERT_TRUE(table.initFromJsonData(R"({"HalvoranLUT": [
        {"Address": 1, "Name": "MODE", "Description": "Operating mode"},
        {"Address": 3.9, "Name": "FADE", "Description": "Fade time"},
        {"Address": "7", "Name": "TEXT ADDRESS"},
        {"Address": 10, "Name": "FIRST AT 10"},
        {"Address": 10, "Name": "SECOND AT 10"},
        {"Address": 20, "Name": "TWICE", "Description": "old"},
        {"Address": 21, "Name": "TWICE", "Description": "new"},
        {"Address": 1e30, "Name": "HUGE"},
        42
    ]})"));
    EXPECT_EQ(table.getAddress("MODE"), 1);
    EXPECT_EQ(table.getDescription("MODE"), "Operating mode");
    EXPECT_EQ(table.getAddress("FADE"), 3); // the fraction is cut
    EXPECT_EQ(table.getAddress("TEXT ADDRESS"), 0);
    // The same address: the later name wins, both names keep their address.
    EXPECT_EQ(table.getParameterName(10), "SECOND AT 10");
    EXPECT_EQ(table.getAddress("FIRST AT 10"), 10);
    EXPECT_EQ(table.getAddress("SECOND AT 10"), 10);
    // The same name: address and description come from the later element.
    EXPECT_EQ(table.getAddress("TWICE"), 21);
    EXPECT_EQ(table.getDescription("TWICE"), "new");
    EXPECT_EQ(table.getParameterName(20), "TWICE");
    EXPECT_EQ(table.getParameterName(3), "FADE");
    EXPECT_EQ(table.getParameterName(0x0A + 1), "0b");
    EXPECT_TRUE(capture.hasWarningContaining("HUGE"));
}

TEST(HalvoranLookupTable, EmptyAndBadDocuments)
{
    HalvoranLookupTable table;
    tarvesk::test::LogCapture capture;
    EXPECT_EQ(table.getAddress("ANY"), -1);
    EXPECT_TRUE(capture.hasWarningContaining("Can't find address for parameter name \"ANY\""));
    EXPECT_EQ(table.getDescription("ANY"), "");
    EXPECT_TRUE(capture.hasWarningContaining("Can't find description for parameter name \"ANY\""));
    EXPECT_EQ(table.getParameterName(255), "ff");

    capture.clear();
    EXPECT_FALSE(table.initFromJsonData("{ broken"));
    EXPECT_TRUE(capture.hasWarningContaining("Error while parsing JSON data for halvoran lookup table : "));
    EXPECT_TRUE(table.initFromJsonData(R"({"Other": []})"));
    EXPECT_TRUE(capture.hasWarningContaining(
        "Invalid Halvoran parameter definition file, does not contain array \"HalvoranLUT\""));
    EXPECT_TRUE(table.initFromJsonData(R"({"HalvoranLUT": {"Address": 1}})"));
    EXPECT_TRUE(table.initFromJsonData("[]"));
    EXPECT_EQ(table.getParameterName(1), "01");
}

TEST(HalvoranLookupTable, OneInstancePerProcess)
{
    HalvoranLookupTable* first = HalvoranLookupTable::instance();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(HalvoranLookupTable::instance(), first);
}

} // namespace
