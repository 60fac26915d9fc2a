#include "core/firmware.h"
#include "core/firmware_module.h"
#include "core/parameters/datastore/data_store.h"
#include "firmware_fixtures.h"
#include "log_capture.h"

#include <gtest/gtest.h>

#include <initializer_list>

using namespace tarvesk::core;
using tarvesk::test::LogCapture;
using tarvesk::test::readSourceText;
using tarvesk::test::sampleModuleText;
using tarvesk::test::wordsOfModuleText;

namespace {

// An Intel HEX record: ':', byte count, 16-bit address, type, data, and the
// two's complement of the sum of all those bytes.
QString record(int type, int address, std::initializer_list<int> data)
{
    QList<int> bytes {int(data.size()), (address >> 8) & 0xFF, address & 0xFF, type};
    for (const int b : data)
        bytes.append(b);
    int sum = 0;
    QString text = QStringLiteral(":");
    for (const int b : bytes) {
        sum += b;
        text += QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    }
    return text + QStringLiteral("%1").arg((0x100 - (sum & 0xFF)) & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

QString lines(std::initializer_list<QString> records)
{
    QString text;
    for (const QString& r : records)
        text += r + QLatin1Char('\n');
    return text;
}

const QString kEof = QStringLiteral(":00000001FF");

} // namespace

TEST(FirmwareIntelHex, FixtureMadeByObjcopyImportsToTheModuleWords)
{
    // tests/core/fixtures/make_hex_fixture.sh made it from the module file.
    const QString hex = readSourceText(QStringLiteral("tests/core/fixtures/i001v00203s001.ihex"));
    const QMap<int, int> expected = wordsOfModuleText(sampleModuleText(QStringLiteral("i001v00203s001.hex")));
    ASSERT_EQ(expected.size(), 256);

    Firmware image;
    FirmwareTextError error;
    ASSERT_TRUE(image.importHexString(hex, &error)) << error.toString().toStdString();
    for (auto it = expected.constBegin(); it != expected.constEnd(); ++it)
        ASSERT_EQ(image.getWord(it.key()), it.value()) << it.key();
    EXPECT_EQ(image.getFirmwareData().size(), 0x2900);
    FirmwareModule* module = image.getModuleById(1);
    ASSERT_NE(module, nullptr);
    EXPECT_TRUE(module->verifyChecksum());
    EXPECT_TRUE(image.getDataStore()->isInitialized());
}

TEST(FirmwareIntelHex, RecordsAndAddressing)
{
    const QString text = lines({
        // Low byte first; the two top bits of the high byte are dropped.
        record(0x00, 0x0020, {0x34, 0x12, 0xFF, 0xFF}),
        kEof, // reading goes on
        record(0x04, 0, {0x00, 0x01}),
        record(0x00, 0x0000, {0x01, 0x00}), // byte 0x10000: a configuration word, skipped
        record(0x04, 0, {0x00, 0x00}), record(0x00, 0x0040, {0x02, 0x00}),
        record(0x02, 0, {0x08, 0x00}), // segment 0x800: byte base 0x8000
        record(0x00, 0x0010, {0x03, 0x00, 0x04, 0x00}),
        record(0x00, 0x7FFE, {0x05, 0x00, 0x06, 0x00}), // crosses byte 0x10000: the first word only
        record(0x02, 0, {0x10, 0x00}),                  // segment 0x1000: byte base 0x10000
        record(0x00, 0x0000, {0x07, 0x00}), record(0x03, 0, {0x00, 0x00, 0x12, 0x34}),
        record(0x05, 0, {0x00, 0x00, 0x12, 0x34}), record(0x00, 0x0060, {}), // no data
    });
    Firmware image;
    FirmwareTextError error;
    ASSERT_TRUE(image.importHexString(QStringLiteral("  ") + text.toLower(), &error))
        << error.toString().toStdString();
    EXPECT_EQ(image.getWord(0x10), 0x1234);
    EXPECT_EQ(image.getWord(0x11), 0x3FFF);
    EXPECT_EQ(image.getWord(0x20), 0x0002);
    EXPECT_EQ(image.getWord(0x4008), 0x0003);
    EXPECT_EQ(image.getWord(0x4009), 0x0004);
    EXPECT_EQ(image.getWord(0x7FFF), 0x0005);
    EXPECT_EQ(image.getFirmwareData().size(), 0x8000);
    EXPECT_EQ(image.getWord(0x30), -1);
}

TEST(FirmwareIntelHex, MalformedRecordsAreRefusedWhole)
{
    const QString good = record(0x00, 0x0000, {0x01, 0x00});
    QString badChecksum = good;
    badChecksum.replace(badChecksum.size() - 1, 1, QLatin1Char('0'));
    struct Case
    {
        const char* what;
        QString line;
        QString fault;
    };
    const Case cases[] = {
        {"checksum", badChecksum, QStringLiteral("checksum does not match")},
        {"count larger than the data", QStringLiteral(":04000000010002"),
            QStringLiteral("byte count 4 needs 19")},
        {"count smaller than the data", QStringLiteral(":0100000001000000FE"),
            QStringLiteral("byte count 1 needs 13")},
        {"odd byte count", record(0x00, 0x0000, {0x01, 0x00, 0x02}), QStringLiteral("even byte count")},
        {"odd address", record(0x00, 0x0001, {0x01, 0x00}), QStringLiteral("even byte count and address")},
        {"unknown type", record(0x06, 0x0000, {0x01, 0x00}), QStringLiteral("record type 06")},
        {"address record of 4 bytes", record(0x04, 0, {0, 0, 0, 1}),
            QStringLiteral("carries 2 bytes, not 4")},
        {"no start code", good.mid(1), QStringLiteral("starts with ':'")},
        {"too short", QStringLiteral(":0000"), QStringLiteral("5 characters is malformed")},
        {"odd length", good + QLatin1Char('0'), QStringLiteral("is malformed")},
        {"non-hex", QStringLiteral(":02000000X100FD"), QStringLiteral("character 10 is not")},
        {"inner blank", QStringLiteral(":02000000 0100FD"), QStringLiteral("character 10 is not")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Firmware image;
        FirmwareTextError error;
        LogCapture log;
        EXPECT_FALSE(image.importHexString(lines({good, kEof, c.line, good}), &error));
        EXPECT_EQ(error.line, 3);
        EXPECT_TRUE(error.fault.contains(c.fault)) << error.fault.toStdString();
        EXPECT_TRUE(image.getFirmwareData().isEmpty());
        EXPECT_FALSE(image.getDataStore()->isInitialized());
        EXPECT_TRUE(log.hasWarningContaining(QStringLiteral("line 3: ")));
    }
}

TEST(FirmwareIntelHex, EmptyTextIsAnEmptyImage)
{
    Firmware image;
    EXPECT_TRUE(image.importHexString(QStringLiteral("\n\r\n")));
    EXPECT_TRUE(image.getFirmwareData().isEmpty());
}
