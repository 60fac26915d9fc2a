#include "core/firmware.h"
#include "core/firmware_module.h"
#include "firmware_fixtures.h"
#include "log_capture.h"

#include <gtest/gtest.h>

using namespace tarvesk::core;
using tarvesk::test::LogCapture;
using tarvesk::test::sampleModuleText;

TEST(FirmwareModuleNames, FromFileName)
{
    struct Case
    {
        const char* path;
        bool matches;
        const char* fileName;
        int id, version, subversion, size, processor;
        const char* comment;
        const char* extension;
        int start, end;
    };
    const Case cases[] = {
        {"data/firmware_mods/I001V00203S008P05Test.HEX", true, "i001v00203s008p05test.hex", 1, 2, 3, 8, 5,
            "test", "hex", 0x2800, 0x2FFF},
        {"i000v00100s032.hex", true, "i000v00100s032.hex", 0, 1, 0, 32, 4, "", "hex", 0x0200,
            0x0200 + 32 * 256 - 1},
        {"i003v00100s004.hex", true, "i003v00100s004.hex", 3, 1, 0, 4, -1, "", "hex", 0x3000, 0x33FF},
        {"i004v00100s001.hex", true, "i004v00100s001.hex", 4, 1, 0, 1, -1, "", "hex", -1, 254},
        {"x/i998v00100s002-enc", true, "i998v00100s002-enc", 998, 1, 0, 2, -1, "", "enc", 0x3E00, 0x3FFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        FirmwareModule module(nullptr);
        ASSERT_EQ(module.fromFileNameString(QString::fromLatin1(c.path)), c.matches);
        EXPECT_EQ(module.getFileName(), QLatin1String(c.fileName));
        EXPECT_EQ(module.getModuleId(), c.id);
        EXPECT_EQ(module.getModuleVersion(), c.version);
        EXPECT_EQ(module.getModuleSubversion(), c.subversion);
        EXPECT_EQ(module.getModuleSize(), c.size);
        EXPECT_EQ(module.getProcessorId(), c.processor);
        EXPECT_EQ(module.getComment(), QLatin1String(c.comment));
        EXPECT_EQ(module.isDebugVersion(), *c.comment != 0);
        EXPECT_EQ(module.getEncryptionType(), QLatin1String(c.extension));
        EXPECT_EQ(module.getStartAddress(), c.start);
        EXPECT_EQ(module.getEndAddress(), c.end);
    }

    FirmwareModule other(nullptr);
    other.setModuleId(42);
    EXPECT_FALSE(other.fromFileNameString(QStringLiteral("dir/Module.hex")));
    EXPECT_EQ(other.getFileName(), QStringLiteral("module.hex"));
    EXPECT_EQ(other.getModuleId(), 42);
}

TEST(FirmwareModuleNames, PageInfoAndEncryption)
{
    FirmwareModule module(998, 1, 0, 2, QStringLiteral("hex"), -1);
    EXPECT_EQ(module.getStartAddress(), 0x3E00);
    EXPECT_EQ(module.getEndAddress(), 0x3FFF);
    EXPECT_EQ(module.getFileName(), QStringLiteral("i998v00100s002.hex"));
    EXPECT_EQ(module.getModuleName(), QStringLiteral("Paramstore"));
    EXPECT_EQ(module.getModulePage(), 7);
    EXPECT_EQ(module.getModuleSubsectionStart(), 6);
    EXPECT_EQ(module.getProcessorName(), QString());

    FirmwareModule dali(1, 2, 3, 8, QStringLiteral("hex"), 0x1000);
    EXPECT_EQ(dali.getFileName(), QStringLiteral("i001v00203s008.hex"));
    EXPECT_EQ(dali.getStartAddress(), 0x1000);
    dali.setEncryptionType(QStringLiteral("enc"));
    EXPECT_EQ(dali.getFileName(), QStringLiteral("i001v00203s008.enc"));
    dali.setEncryptionType(QString());
    EXPECT_EQ(dali.getFileName(), QStringLiteral("i001v00203s008.enc"));
    EXPECT_EQ(dali.getEncryptionType(), QString());

    EXPECT_EQ(FirmwareModule::getModuleNameByID(4), QStringLiteral("Undefined"));
    EXPECT_EQ(FirmwareModule::getModuleNameByID(32), QStringLiteral("Ostrevanne Core"));
    EXPECT_EQ(FirmwareModule::getModuleStartAddressById(5), 0x3000);
    EXPECT_EQ(FirmwareModule::getModuleStartAddressById(997), -1);
}

TEST(FirmwareModuleHeader, DecodingAndChecksumWord)
{
    Firmware image;
    const int a = 0x2000;
    image.setWord(a, 0x1BE6); // id bits 8..10 in word bits 11..13, size - 1 = 3
    image.setWord(a + 1, (5 << 8) | 7);
    for (int i = 0; i < 8; ++i)
        image.setWord(a + 3 + i, 0x100 + i);
    LogCapture log;
    FirmwareModule module(&image, a);
    EXPECT_EQ(module.getModuleId(), 998);
    EXPECT_EQ(module.getModuleSize(), 4);
    EXPECT_EQ(module.getEndAddress(), a + 1023);
    EXPECT_EQ(module.getModuleVersion(), 7);
    EXPECT_EQ(module.getModuleSubversion(), 5);
    EXPECT_EQ(module.getEntryWord(FirmwareModule::MAIN), 0x107);

    // The erased last word now holds the checksum, and the module's words sum to 0.
    int sum = 0;
    for (int w = a; w < a + 1023; ++w)
        sum += image.getUnsignedWord(w);
    EXPECT_EQ(image.getWord(a + 1023), (0x4000 - sum % 0x4000) & 0x3FFF);
    EXPECT_EQ(module.getChecksum(), 0x4000 - sum % 0x4000);
    EXPECT_TRUE(module.verifyChecksum());
    EXPECT_TRUE(log.warnings().isEmpty());

    // Read again (as a module file carries it): its checksum is in place, no fault.
    FirmwareModule again(&image, a);
    EXPECT_TRUE(log.warnings().isEmpty()) << log.warnings().join('\n').toStdString();
    EXPECT_TRUE(again.verifyChecksum());
    // A final word that is neither erased nor the checksum is a fault, and stays.
    image.setWord(a + 5, 0);
    EXPECT_FALSE(module.verifyChecksum());
    const int finalWord = image.getWord(a + 1023);
    FirmwareModule spoiled(&image, a);
    EXPECT_TRUE(log.hasWarningContaining(QStringLiteral("Final word in module 998 is not 0x3FFF")));
    EXPECT_EQ(image.getWord(a + 1023), finalWord);

    // Fixed slots are not read.
    FirmwareModule core(&image, 512);
    EXPECT_EQ(core.getModuleId(), 0);
    EXPECT_EQ(core.getEndAddress(), 0x1FFF);
    EXPECT_TRUE(core.verifyChecksum());
    EXPECT_TRUE(core.isCore());
}

TEST(FirmwareModuleHeader, WithoutAnImageNothingChanges)
{
    FirmwareModule module(3, 1, 0, 1, QStringLiteral("hex"), -1);
    EXPECT_FALSE(module.calcModuleData(0x2800));
    EXPECT_EQ(module.getStartAddress(), 0x3000);
    EXPECT_EQ(module.getModuleId(), 3);
    EXPECT_FALSE(module.verifyChecksum());
    EXPECT_FALSE(module.moveToPage(5));
    EXPECT_EQ(module.getStartAddress(), 0x3000);

    FirmwareModule core(0, 1, 0, 1, QStringLiteral("hex"), -1);
    EXPECT_TRUE(core.verifyChecksum()); // the Core module needs no image for it
}

TEST(FirmwareModuleHeader, UnbrickableRows)
{
    const QString erased31 = QStringLiteral("3FFF").repeated(31);
    const QString slotRow = QStringLiteral("004200000000") + QStringLiteral("0008").repeated(12)
        + QStringLiteral("3FFF").repeated(17);
    struct Case
    {
        int id;
        QString row;
    };
    const Case cases[] = {
        {0, QStringLiteral("0200285F") + erased31},
        {32, QStringLiteral("02A0285F") + erased31},
        {1, QStringLiteral("2800") + slotRow},
        {2, QStringLiteral("2800") + slotRow},
        {3, QStringLiteral("3000") + slotRow},
        {5, QStringLiteral("3000") + slotRow},
        {996, QStringLiteral("0000") + slotRow},
        {999, QStringLiteral("0000") + slotRow},
        {997, QString()},
        {998, QString()},
        {4, QString()}, // no slot of its own, so no row to put there
        {-1, QString()},
    };
    for (const Case& c : cases) {
        const QString row = FirmwareModule::getUnbrickableRowByModuleId(c.id);
        EXPECT_EQ(row, c.row) << c.id;
        EXPECT_TRUE(row.isEmpty() || row.size() == 132) << c.id;
    }
}

TEST(FirmwareModuleMove, MovesWordsAndWritesAFreshChecksum)
{
    Firmware image;
    QList<int> addresses;
    int first = 0;
    ASSERT_TRUE(
        image.importModString(sampleModuleText(QStringLiteral("i001v00203s001.hex")), addresses, first));
    FirmwareModule* module = image.getModuleById(1);
    ASSERT_NE(module, nullptr);
    const QVector<int> before = image.getFirmwareData();

    EXPECT_FALSE(module->moveToPage(16));
    EXPECT_FALSE(module->moveToPage(-1));
    ASSERT_TRUE(module->moveToPage(6));
    EXPECT_EQ(module->getStartAddress(), 0x3000);
    EXPECT_EQ(module->getEndAddress(), 0x30FF);
    for (int i = 0; i < 255; ++i)
        ASSERT_EQ(image.getWord(0x3000 + i), before.at(0x2800 + i)) << i;
    for (int a = 0x2800; a < 0x3000; ++a)
        ASSERT_EQ(image.getWord(a), -1) << a;
    EXPECT_TRUE(module->verifyChecksum());
    // The image files the module under its new start, once.
    EXPECT_EQ(image.getModuleByStartAddress(0x3000), module);
    QList<FirmwareModule*> modules;
    image.getModuleList(modules);
    EXPECT_EQ(modules.count(module), 1);
    EXPECT_EQ(modules.size(), 2);
}

TEST(FirmwareModuleMove, ModuleInTheFixedParamstoreSlotSurvivesTheSearch)
{
    Firmware image;
    FirmwareModule* paramstore = nullptr;
    image.searchModules();
    paramstore = image.getModuleById(998);
    ASSERT_NE(paramstore, nullptr);
    ASSERT_TRUE(paramstore->moveToPage(5));
    EXPECT_EQ(paramstore->getStartAddress(), 0x2800);
    EXPECT_EQ(image.getModuleByStartAddress(0x2800), paramstore);

    // A module that the image does not hold stays its caller's.
    image.setWord(0x2000, 0x0002);
    FirmwareModule own(&image, 0x2000);
    ASSERT_TRUE(own.moveToPage(4));
    QList<FirmwareModule*> modules;
    image.getModuleList(modules);
    EXPECT_FALSE(modules.contains(&own));
}
