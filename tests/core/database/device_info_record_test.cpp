#include "core/database/device_info_record.h"
#include "core/database/group_record.h"
#include "log_capture.h"

#include <QJsonArray>
#include <gtest/gtest.h>

using tarvesk::core::DeviceInfoRecord;
using tarvesk::core::GroupRecord;

TEST(DeviceInfoRecordTest, UniqueProductKeyPlacesEachIdInItsOwnBits)
{
    EXPECT_EQ(DeviceInfoRecord::getUniqueProductId(0x12, 0x34, 0x56, 0x789A), 0x001200340056789AULL);
    EXPECT_EQ(DeviceInfoRecord::getUniqueProductId(0xFF, 0xFF, 0xFF, 0xFFFF), 0x00FF00FF00FFFFFFULL);
    // Ordering keys orders by class, OEM, product, then version.
    EXPECT_LT(DeviceInfoRecord::getUniqueProductId(0, 1, 0xFF, 0xFFFF),
        DeviceInfoRecord::getUniqueProductId(0, 2, 0, 0));
}

TEST(DeviceInfoRecordTest, InterfaceTextsAndProfileNames)
{
    const char* texts[] = {"Unknown", "DORVANE_WY", "DORVANE", "DMX", "DMX_WY", "DALI", "10V", "USB", "SPI",
        "SCPI", "TCP", "virtual", "Bootloader", "BLE", "Unknown"};
    for (int i = 0; i <= 14; ++i)
        EXPECT_EQ(DeviceInfoRecord::interfaceEnumToString(DeviceInfoRecord::InterfaceType(i)), texts[i]) << i;
    const std::pair<const char*, int> parsed[]
        = {{"DORVANE_WY", 1}, {"DORVANE", 2}, {"DMX", 3}, {"DALI", 5}, {"10V", 6}, {"USB", 7}, {"SPI", 8},
            {"DMX_WY", 0}, {"SCPI", 0}, {"Bootloader", 0}, {"dali", 0}, {"DALI ", 0}};
    for (const auto& [text, value] : parsed)
        EXPECT_EQ(int(DeviceInfoRecord::interfaceStringToEnum(text)), value) << text;

    DeviceInfoRecord record(QJsonObject(), 2, 1, 0x1A, 1, "AB");
    EXPECT_EQ(record.getProfileName(DeviceInfoRecord::DALI), "02011a_AB_DALI");
    record.addInterfaceType("dali");
    record.addInterfaceType("DMX");
    EXPECT_FALSE(record.hasInterfaceType(DeviceInfoRecord::DALI)); // texts compare exactly
    EXPECT_TRUE(record.hasInterfaceType(DeviceInfoRecord::DMX));
    EXPECT_EQ(record.getOutputCount(), 4);
    EXPECT_EQ(record.getProductGroup(), "none");
}

namespace {

QStringList warnings(const tarvesk::test::LogCapture& log)
{
    QStringList texts;
    for (const auto& entry : log.entries()) {
        if (entry.type == QtWarningMsg)
            texts << entry.message;
    }
    return texts;
}

} // namespace

TEST(DeviceInfoRecordTest, FormFactorsWarnOnReplacementAndMiss)
{
    DeviceInfoRecord record(QJsonObject(), 0, 0, 0, 0, "X");
    tarvesk::test::LogCapture log;
    record.addFormFactor(3, "A");
    record.addFormFactor(3, "A");
    EXPECT_TRUE(warnings(log).isEmpty());
    record.addFormFactor(3, "B");
    EXPECT_EQ(warnings(log), QStringList({"Duplicate index '3' in form factor map"}));
    EXPECT_EQ(record.getFormFactorName(3), "B");
    EXPECT_EQ(record.getFormFactorName(9), "Unknown");
    EXPECT_EQ(warnings(log).last(), "Form factor index '9' not found in form factor map");
}

TEST(DeviceInfoRecordTest, AttributesKeepJsonTypesAndOnlyScalars)
{
    QJsonObject json {{"text", "yes"}, {"number", 12.5}, {"flag", true}, {"list", QJsonArray {1, 2}},
        {"null", QJsonValue::Null}};
    DeviceInfoRecord record(json, 0, 0, 7, 0, "X");
    EXPECT_EQ(record.getAttribute("text"), QVariant(QString("yes")));
    EXPECT_EQ(record.getAttribute("number"), QVariant(12.5));
    EXPECT_EQ(record.getAttribute("flag"), QVariant(true));
    EXPECT_FALSE(record.getAttribute("list").isValid());
    EXPECT_TRUE(record.hasAttribute("list"));
    EXPECT_FALSE(record.getAttribute("null").isValid());
    EXPECT_FALSE(record.getAttribute("missing").isValid());
    EXPECT_FALSE(record.hasAttribute("missing"));
    EXPECT_EQ(record.getProductId(), 7);
}

TEST(GroupRecordTest, AddFeaturesAppendsDuplicates)
{
    GroupRecord group("a", "A", false, {"x", "y"}, {});
    group.addFeatures({"y", "z"});
    EXPECT_EQ(group.getFeatures(), (std::vector<std::string> {"x", "y", "y", "z"}));
    EXPECT_FALSE(group.isInitialized());
}
