#include "core/firmware.h"
#include "core/firmware_module.h"
#include "core/itf_error.h"
#include "firmware_fixtures.h"
#include "log_capture.h"

#include <gtest/gtest.h>

#include <type_traits>

using namespace tarvesk::core;
using tarvesk::test::LogCapture;
using tarvesk::test::sampleModuleNames;
using tarvesk::test::sampleModuleText;
using tarvesk::test::wordsOfModuleText;

static_assert(!std::is_copy_constructible_v<Firmware> && !std::is_copy_assignable_v<Firmware>,
    "an image owns its datastore and modules");

namespace {

// The swapped form as the datastore keeps some values: the word's low byte
// high, its bits 8..13 in bits 7..2.
int swapped(int word)
{
    return ((word & 0xFF) << 8) | (((word >> 8) & 0x3F) << 2);
}

} // namespace

TEST(FirmwareWords, StoreAndReadConventions)
{
    Firmware image;
    image.setWord(40, 5);
    EXPECT_EQ(image.getFirmwareData().size(), 41);
    for (int a = 0; a < 40; ++a)
        ASSERT_EQ(image.getWord(a), -1) << a;
    EXPECT_EQ(image.getWord(40), 5);

    image.setWord(41, 0xFFFF);
    EXPECT_EQ(image.getWord(41), 0x3FFF);
    image.setWord(41, -1);
    EXPECT_EQ(image.getWord(41), -1);
    EXPECT_EQ(image.getFirstRow(), 1);
    EXPECT_EQ(image.getLastRow(), 1);

    // Unset, past the end and negative addresses all read alike, raw and as flash.
    for (const int address : {0, 41, 500, -1, -40000}) {
        EXPECT_EQ(image.getWord(address), -1) << address;
        EXPECT_EQ(image.getUnsignedWord(address), 0x3FFF) << address;
        EXPECT_EQ(image.getUnsignedWord(address, true), 0xFFFC) << address;
        EXPECT_EQ(image.getWord(address, true), 0xFFFC) << address;
        EXPECT_EQ(image.getSignedWord(address), -1) << address;
        EXPECT_EQ(image.getSignedWord(address, true), -4) << address;
    }

    // Neither a negative address nor one past any device's reach grows the image.
    LogCapture log;
    image.setWord(-1, 7);
    image.setWord(Firmware::kWordLimit, 7);
    EXPECT_EQ(image.getFirmwareData().size(), 42);
    EXPECT_EQ(log.warnings().size(), 2);
}

TEST(FirmwareWords, EmptyImageHasNoRows)
{
    Firmware image;
    EXPECT_EQ(image.getFirstRow(), 0);
    EXPECT_EQ(image.getLastRow(), 0);
    EXPECT_TRUE(image.getFirmwareData().isEmpty());
}

TEST(FirmwareWords, SignedAndSwappedReads)
{
    struct Case
    {
        int stored;
        bool swap;
        int unsignedValue;
        int signedValue;
    };
    const Case cases[] = {
        {0x2000, false, 0x2000, -8192},
        {0x1FFF, false, 0x1FFF, 8191},
        {0x3FFF, false, 0x3FFF, -1},
        {0x0000, false, 0x0000, 0},
        {0x0080, true, 0x8000, -32768},
        {0x0020, true, 0x2000, 8192},
        {0x3FFF, true, 0xFFFC, -4},
        {0x1234, true, 0x3448, 0x3448},
    };
    for (const Case& c : cases) {
        Firmware image;
        image.setWord(3, c.stored);
        EXPECT_EQ(image.getUnsignedWord(3, c.swap), c.unsignedValue) << c.stored;
        EXPECT_EQ(image.getSignedWord(3, c.swap), c.signedValue) << c.stored;
        EXPECT_EQ(image.getWord(3, c.swap), c.swap ? swapped(c.stored) : c.stored);
    }
}

TEST(FirmwareWords, EverySwappedValueRoundTrips)
{
    Firmware image;
    for (int value = 0; value <= 0xFFFC; value += 4) {
        image.setSwappedWord(0, value);
        ASSERT_EQ(image.getUnsignedWord(0, true), value);
        ASSERT_EQ(swapped(image.getWord(0)), value);
    }
}

TEST(FirmwareWords, ImportedDataMapIsKeptTo14Bits)
{
    Firmware image;
    image.importDataMap({5, -1, 0xFFFF, 0x4001});
    EXPECT_EQ(image.getFirmwareData(), (QVector<int> {5, -1, 0x3FFF, 0x0001}));
}

TEST(FirmwareRows, TextOfARow)
{
    Firmware image;
    image.setWord(64, 0x12);
    image.setWord(95, 0x3ABC);
    QString readable = QStringLiteral("0040 : 0012 ");
    QString compact = QStringLiteral("00400012");
    for (int i = 1; i < 31; ++i) {
        readable += QStringLiteral("---- ");
        compact += QStringLiteral("3FFF");
    }
    readable += QStringLiteral("3ABC ");
    compact += QStringLiteral("3ABC");
    EXPECT_EQ(image.getRowHexString(2, true), readable);
    EXPECT_EQ(readable.size(), 167);
    EXPECT_EQ(image.getRowHexString(2, false), compact);
    EXPECT_EQ(compact.size(), 132);
    // Past the end.
    EXPECT_EQ(
        image.getRowHexString(400, false), QStringLiteral("3200") + QStringLiteral("3FFF").repeated(32));
}

TEST(FirmwareRows, BootloaderRowText)
{
    QString row;
    for (int i = 0; i < 32; ++i)
        row += QStringLiteral("%1%2").arg(i, 2, 16, QLatin1Char('0')).arg(0x30 + i, 2, 16, QLatin1Char('0'));
    row += QStringLiteral("ZZ"); // the two closing characters are not read

    Firmware image;
    EXPECT_EQ(image.setFirmwareRow(0x40, row, false), 0);
    EXPECT_EQ(image.getWord(0x40), 0x0030);
    EXPECT_EQ(image.getWord(0x5F), 0x1F4F);
    EXPECT_EQ(image.setFirmwareRow(0x40, row, true), 0); // low byte first
    EXPECT_EQ(image.getWord(0x40), 0x3000);
    EXPECT_EQ(image.getWord(0x5F), 0x0F1F); // 0x4F1F kept to 14 bits

    LogCapture log;
    Firmware wrongLength;
    EXPECT_EQ(wrongLength.setFirmwareRow(0, row.left(129), false), ITF_ERR_FW_HEX_LENGTH);
    EXPECT_EQ(wrongLength.setFirmwareRow(0, row + QLatin1Char('0'), false), ITF_ERR_FW_HEX_LENGTH);
    EXPECT_TRUE(wrongLength.getFirmwareData().isEmpty());
    EXPECT_TRUE(log.hasWarningContaining(
        QStringLiteral("has not expected length of        130 characters, but has 129")));

    for (const QString& bad : {QStringLiteral("G"), QStringLiteral("+"), QStringLiteral(" ")}) {
        Firmware partial;
        QString text = row;
        text.replace(20, 1, bad); // first byte of group 5
        EXPECT_EQ(partial.setFirmwareRow(0, text, false), ITF_ERR_FW_HEX_CONVERSION);
        EXPECT_EQ(partial.getFirmwareData().size(), 5);
        EXPECT_EQ(partial.getWord(4), 0x0434);
    }
}

TEST(FirmwareRows, EmptyEqualAndPages)
{
    Firmware a;
    Firmware b;
    a.setWord(2048 + 5, 0x3FFF);
    EXPECT_TRUE(a.isRowEmpty(0));
    EXPECT_FALSE(a.isRowEmpty(64));
    EXPECT_TRUE(a.isPageEmpty(0));
    EXPECT_FALSE(a.isPageEmpty(1));    // an erased word is content
    EXPECT_TRUE(a.isRowEqual(64, &b)); // erased and unset read alike
    b.setWord(2048 + 6, 1);
    EXPECT_FALSE(a.isRowEqual(64, &b));
    EXPECT_FALSE(a.isRowEqual(64, nullptr));

    LogCapture log;
    EXPECT_TRUE(a.isPageEmpty(8));
    EXPECT_TRUE(a.isPageEmpty(-1));
    EXPECT_TRUE(log.hasWarningContaining(QStringLiteral("Invalid page number:          8")));

    a.randomPageData(2);
    for (int i = 0; i < 2048; ++i) {
        const int word = a.getWord(2 * 2048 + i);
        ASSERT_GE(word, 0);
        ASSERT_LT(word, 0x3FFF);
    }
}

TEST(FirmwareChecksum, EdgeCases)
{
    Firmware image;
    EXPECT_EQ(image.calcChecksum(10, 10), 0x4000);
    EXPECT_EQ(image.calcChecksum(11, 10), 0x4000);
    EXPECT_EQ(image.calcChecksum(0, 2), 0x4000 - 0x3FFE); // two unset words
    image.setWord(0, 0x2000);
    image.setWord(1, 0x2000);
    EXPECT_EQ(image.calcChecksum(0, 2), 0x4000); // a sum of 0 is not reduced
    image.setWord(1, 0x0123);
    EXPECT_EQ(image.calcChecksum(0, 2), 0x4000 - 0x2123);
}

TEST(FirmwareModuleText, ExportRangesAndShape)
{
    Firmware image;
    QString out = QStringLiteral("kept");
    EXPECT_EQ(image.exportBlockString(out, 511, 600), ITF_ERR_FW_ADDRESS_RANGE);
    EXPECT_EQ(image.exportBlockString(out, 600, 600), ITF_ERR_FW_ADDRESS_RANGE);
    EXPECT_EQ(image.exportModString(out, 77), ITF_ERR_FW_MODULE_NOT_FOUND);
    EXPECT_EQ(out, QStringLiteral("kept"));

    image.setWord(600, 0x00AB);
    EXPECT_EQ(image.exportBlockString(out, 600, 639), 0);
    const QStringList lines = out.mid(4).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("025800AB") + QStringLiteral("3FFF").repeated(31));
    EXPECT_EQ(lines[1], QStringLiteral("0278") + QStringLiteral("3FFF").repeated(8));
}

TEST(FirmwareModuleText, SampleModulesRoundTrip)
{
    for (const QString& name : sampleModuleNames()) {
        SCOPED_TRACE(name.toStdString());
        const QString text = sampleModuleText(name);
        Firmware image;
        QList<int> addresses {-7};
        int first = -1;
        ASSERT_TRUE(image.importModString(text, addresses, first));
        FirmwareModule fromName(nullptr);
        ASSERT_TRUE(fromName.fromFileNameString(name));
        EXPECT_EQ(first, fromName.getStartAddress());
        ASSERT_EQ(addresses.size(), 9);
        EXPECT_EQ(addresses.first(), -7); // appended to what the list held
        EXPECT_EQ(addresses.last(), fromName.getStartAddress() + 7 * 32);

        const QMap<int, int> expected = wordsOfModuleText(text);
        for (auto it = expected.constBegin(); it != expected.constEnd(); ++it)
            ASSERT_EQ(image.getWord(it.key()), it.value()) << it.key();

        FirmwareModule* module = image.getModuleById(fromName.getModuleId());
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(module->getStartAddress(), fromName.getStartAddress());
        EXPECT_EQ(module->getModuleVersion(), fromName.getModuleVersion());
        EXPECT_EQ(module->getModuleSubversion(), fromName.getModuleSubversion());
        EXPECT_TRUE(module->verifyChecksum());

        QString exported;
        ASSERT_EQ(image.exportModString(exported, fromName.getModuleId()), 0);
        EXPECT_EQ(exported, text);
    }
}

TEST(FirmwareModuleText, UnsetWordsComeBackErased)
{
    Firmware image;
    image.setWord(0x2800, 0x0001);
    QString text;
    ASSERT_EQ(image.exportBlockString(text, 0x2800, 0x28FF), 0);
    Firmware again;
    QList<int> addresses;
    int first = -1;
    ASSERT_TRUE(again.importModString(text, addresses, first));
    EXPECT_EQ(first, 0x2800);
    EXPECT_EQ(again.getWord(0x2800), 0x0001);
    EXPECT_EQ(again.getWord(0x2801), 0x3FFF);
}

TEST(FirmwareModuleText, LinesThatAreAccepted)
{
    const QString row = QStringLiteral("3FE0") + QStringLiteral("0a0B").repeated(32);
    // Trailing blanks, CR line ends, empty lines and lower-case digits; the last
    // row of program flash.
    const QString text
        = QStringLiteral("\n") + row + QStringLiteral("  \r\n\r\n") + row + QStringLiteral("\t");
    Firmware image;
    QList<int> addresses;
    int first = -1;
    FirmwareTextError error;
    ASSERT_TRUE(image.importModString(text, addresses, first, &error)) << error.toString().toStdString();
    EXPECT_EQ(addresses, (QList<int> {0x3FE0, 0x3FE0}));
    EXPECT_EQ(image.getWord(0x3FFF), 0x0A0B);
}

TEST(FirmwareModuleText, MalformedLinesAreRefusedWhole)
{
    const QString words = QStringLiteral("0123").repeated(32);
    const QString good = QStringLiteral("2800") + words;
    struct Case
    {
        const char* what;
        QString line;
        QString fault;
    };
    const Case cases[] = {
        {"sign in a group", QStringLiteral("2800+123") + words.mid(4), QStringLiteral("character 5 is not")},
        {"blank in a group", QStringLiteral("2800 123") + words.mid(4), QStringLiteral("character 5 is not")},
        {"non-hex group", QStringLiteral("2800") + words.left(60) + QStringLiteral("01G3") + words.mid(64),
            QStringLiteral("character 67 is not")},
        {"leading blank", QStringLiteral(" ") + good, QStringLiteral("character 1 is not")},
        {"short line", good.left(131), QStringLiteral("this line has 131")},
        {"31 words", QStringLiteral("2800") + words.left(124), QStringLiteral("this line has 128")},
        {"text after the words", good + QStringLiteral("00"), QStringLiteral("this line has 134")},
        {"comment after the words", good + QStringLiteral(" ; x"), QStringLiteral("this line has 136")},
        {"address inside a row", QStringLiteral("2810") + words, QStringLiteral("0x2810 is not the start")},
        {"row past program flash", QStringLiteral("4000") + words, QStringLiteral("0x4000 lies outside")},
        {"configuration row", QStringLiteral("8000") + words, QStringLiteral("0x8000 lies outside")},
        {"no address", words, QStringLiteral("this line has 128")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Firmware image;
        QList<int> addresses;
        int first = -5;
        FirmwareTextError error;
        // Two good lines before the bad one: nothing of them is stored.
        const QString text
            = good + QStringLiteral("\n") + good + QStringLiteral("\n") + c.line + QStringLiteral("\n");
        LogCapture log;
        EXPECT_FALSE(image.importModString(text, addresses, first, &error));
        EXPECT_EQ(error.line, 3);
        EXPECT_TRUE(error.fault.contains(c.fault)) << error.fault.toStdString();
        EXPECT_TRUE(image.getFirmwareData().isEmpty());
        EXPECT_TRUE(addresses.isEmpty());
        EXPECT_EQ(first, -5);
        QList<FirmwareModule*> modules;
        image.getModuleList(modules);
        EXPECT_TRUE(modules.isEmpty());
        EXPECT_TRUE(log.hasWarningContaining(QStringLiteral("line 3: ")));
    }
}

TEST(FirmwarePackedAscii, ReadAndWrite)
{
    Firmware image;
    // "Hi!" by hand: 'H' = 0x48 -> bit 6 to word bit 7, bits 0..5 to bits 8..13.
    image.setWord(100, 3);
    image.setWord(101, (0x08 << 8) | 0x80 | 'i');
    image.setWord(102, (('!' & 0x3F) << 8));
    EXPECT_EQ(image.getPackedAsciiString(100, 116), QStringLiteral("Hi!"));

    const QString thirty = QStringLiteral("The quick brown fox jumps over");
    ASSERT_EQ(thirty.size(), 30);
    EXPECT_EQ(image.setPackedAsciiString(200, 216, thirty + QLatin1Char('!')), ITF_ERR_FW_HEX_CONVERSION);
    EXPECT_EQ(image.getWord(200), -1);
    EXPECT_EQ(image.setPackedAsciiString(200, 216, thirty), 0);
    EXPECT_EQ(image.getPackedAsciiString(200, 216), thirty);
    EXPECT_EQ(image.setPackedAsciiString(200, 216, QStringLiteral("ab")), 0);
    EXPECT_EQ(image.getPackedAsciiString(200, 216), QStringLiteral("ab"));

    // Every 7-bit character survives, in both halves of a word.
    QString all;
    for (int c = 0; c < 128; ++c)
        all += QChar(c);
    for (int at = 0; at < 128; at += 30) {
        const QString part = all.mid(at, 30);
        ASSERT_EQ(image.setPackedAsciiString(300, 316, part), 0);
        ASSERT_EQ(image.getPackedAsciiString(300, 316), part);
    }
}

TEST(FirmwarePackedAscii, ErasedTooLongAndForeignTexts)
{
    LogCapture log;
    Firmware image;
    // Unset and erased count words read as empty text.
    EXPECT_EQ(image.getPackedAsciiString(100, 116), QString());
    image.setWord(100, 0x3FFF);
    EXPECT_EQ(image.getPackedAsciiString(100, 116), QString());
    // An empty text leaves an erased field erased.
    EXPECT_EQ(image.setPackedAsciiString(100, 116, QString()), 0);
    EXPECT_EQ(image.getWord(100), 0x3FFF);
    EXPECT_EQ(image.getWord(101), -1);
    // A count above the capacity is cut to it.
    image.setWord(120, 0x7F);
    for (int a = 121; a < 124; ++a)
        image.setWord(a, ('a' << 8) | 'b');
    // 'a' (0x61) keeps bits 0..5 in the word's bits 8..13 and its bit 6 in bit 7,
    // which this word does not hold: it reads back as 0x21.
    EXPECT_EQ(image.getPackedAsciiString(120, 124), QStringLiteral("!b!b!b"));
    EXPECT_TRUE(
        log.hasWarningContaining(QStringLiteral("ASCII string length is 127 too long at location 0x0078")));
    // Text that is not ASCII is refused, nothing written.
    EXPECT_EQ(
        image.setPackedAsciiString(200, 216, QString::fromUtf8("caf\xc3\xa9")), ITF_ERR_FW_HEX_CONVERSION);
    EXPECT_EQ(image.getWord(200), -1);
    // A programmed field emptied gets a count of 0.
    ASSERT_EQ(image.setPackedAsciiString(200, 216, QStringLiteral("x")), 0);
    ASSERT_EQ(image.setPackedAsciiString(200, 216, QString()), 0);
    EXPECT_EQ(image.getWord(200), 0);
    EXPECT_EQ(image.setPackedAsciiString(200, 200, QString()), ITF_ERR_FW_ADDRESS_RANGE);
}

TEST(FirmwareModules, SearchFindsTheSampleModules)
{
    Firmware image;
    QList<int> addresses;
    int first = 0;
    ASSERT_TRUE(
        image.importModString(sampleModuleText(QStringLiteral("i001v00203s001.hex")), addresses, first));
    ASSERT_TRUE(
        image.importModString(sampleModuleText(QStringLiteral("i003v00105s001.hex")), addresses, first));
    QList<FirmwareModule*> modules;
    image.getModuleList(modules);
    ASSERT_EQ(modules.size(), 3);
    EXPECT_EQ(modules[0]->getModuleId(), 998); // always there
    EXPECT_EQ(modules[1]->getModuleId(), 3);
    EXPECT_EQ(modules[2]->getModuleId(), 1);
    EXPECT_EQ(image.getModuleByStartAddress(0x2800), modules[2]);
    EXPECT_EQ(image.getModuleByStartAddress(0x28FE), modules[2]);
    EXPECT_EQ(image.getModuleByStartAddress(0x28FF), nullptr); // the checksum word
    EXPECT_EQ(image.getModuleByStartAddress(0x3000), modules[1]);
    EXPECT_EQ(image.getModuleById(2), nullptr);
    EXPECT_EQ(modules[2]->getEntryWord(FirmwareModule::INIT), 0x2820);

    // A set word at 512 brings the Core module in.
    image.setWord(512, 0x1234);
    image.searchModules();
    EXPECT_NE(image.getModuleById(0), nullptr);
    image.clearModules();
    EXPECT_EQ(image.getModuleById(998), nullptr);
}

TEST(FirmwareModules, AddRemovesEveryOverlappedModule)
{
    Firmware image;
    image.addModule(new FirmwareModule(1, 1, 0, 1, QStringLiteral("hex"), 0x2800)); // 0x2800..0x28FF
    image.addModule(new FirmwareModule(2, 1, 0, 1, QStringLiteral("hex"), 0x2900)); // 0x2900..0x29FF
    image.addModule(new FirmwareModule(3, 1, 0, 1, QStringLiteral("hex"), 0x2A00));
    image.addModule(new FirmwareModule(5, 1, 0, 1, QStringLiteral("hex"), 0x29FF)); // at 2's last word
    QList<FirmwareModule*> modules;
    image.getModuleList(modules);
    ASSERT_EQ(modules.size(), 3); // 5 overlapped 3 (0x2A00 < 0x2AFE), not 2
    EXPECT_EQ(image.getModuleById(3), nullptr);
    EXPECT_NE(image.getModuleById(2), nullptr);

    // One module over all three: they all go.
    auto* big = new FirmwareModule(7, 1, 0, 2, QStringLiteral("hex"), 0x2880);
    image.addModule(big);
    modules.clear();
    image.getModuleList(modules);
    EXPECT_EQ(modules, (QList<FirmwareModule*> {big}));
    image.addModule(big); // adding it again keeps it
    EXPECT_EQ(image.getModuleById(7), big);
    image.addModule(nullptr);
}
