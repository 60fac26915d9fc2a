#include "bootloader_test_support.h"

#include "../scripted_dmx_interface.h"
#include "interfaces/bootloader/usb_vandrel_legacy_bootloader.h"
#include "interfaces/bootloader/wystrel_bootloader.h"
#include "log_capture.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace tarvesk;
using test::ScriptedDmxInterface;
using test::withChecksum;

namespace {

QString hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' ')).toUpper();
}

// The answer to a row read as the bootloader sends it: the request's header
// turned round, the version byte, the 32 words low byte first, a zero byte.
QByteArray rowAnswer(int address, quint8 version, const std::vector<int>& words)
{
    QByteArray answer;
    for (int b : {0xD0, 0x98, 0x00, 0x00, 0xFE, address >> 8, address & 0xE0, int(version)})
        answer.append(char(b));
    for (int i = 0; i < 32; ++i) {
        const int w = i < int(words.size()) ? words[size_t(i)] : 0x3FFF;
        answer.append(char(w & 0xFF));
        answer.append(char(w >> 8));
    }
    answer.append('\0');
    quint8 sum = 0;
    for (char c : answer)
        sum = quint8(sum + quint8(c));
    answer.append(char(sum));
    return answer;
}

// A compact row text: address, then 32 words of four hex digits, high byte first.
QString rowText(int address, int firstWord)
{
    QString text = QStringLiteral("%1").arg(address, 4, 16, QLatin1Char('0'));
    for (int i = 0; i < 32; ++i)
        text += QStringLiteral("%1").arg((firstWord + i) & 0x3FFF, 4, 16, QLatin1Char('0'));
    return text.toUpper();
}

QByteArray writeAnswer(int address, quint8 status)
{
    return withChecksum({0xD0, 0x98, 0x00, 0x00, 0xFF, address >> 8, address & 0xFF, status});
}

} // namespace

// One frame per operation, pinned byte for byte: flash word addresses high
// byte first, the read row's low five address bits cleared, the erase page
// held to 1..15.
TEST(WystrelBootloaderFrames, RequestBytesPerOperation)
{
    ScriptedDmxInterface dmx;
    itf::WystrelBootloader bootloader(&dmx, false);
    unsigned char version = 0;
    QString text;
    unsigned short first = 0;
    unsigned short second = 0;

    EXPECT_FALSE(bootloader.checkDeviceInBootloaderMode());
    bootloader.readRowAddress(0x7A5, version, text, 4);
    bootloader.erasePage(0);
    bootloader.erasePage(20);
    bootloader.getHardwareSystemInfo(first, second);
    bootloader.stopBootloaderMode();

    const QStringList expected = {
        hex(withChecksum({0xD0, 0x18, 0x00, 0x00, 0xFE, 0x07, 0x80, 0x00})),
        hex(withChecksum({0xD0, 0x18, 0x00, 0x04, 0xFE, 0x07, 0xA0, 0x00})),
        hex(withChecksum({0xD0, 0x18, 0x00, 0x00, 0xFD, 0x02, 0x21, 0x00})),
        hex(withChecksum({0xD0, 0x18, 0x00, 0x00, 0xFD, 0x02, 0x2F, 0x00})),
        hex(withChecksum({0xD0, 0x18, 0x00, 0x00, 0xFD, 0x01, 0xFE, 0x00})),
        hex(withChecksum({0xD0, 0x18, 0x00, 0x00, 0xFD, 0x01, 0xFF, 0x00})),
    };
    EXPECT_EQ(dmx.sent, expected);

    // The write frame carries the row's words high byte first after the address.
    dmx.sent.clear();
    int count = 0;
    int retries = 0;
    dmx.replies.push_back(ScriptedDmxInterface::Reply::answer(writeAnswer(0x780, 0)));
    EXPECT_EQ(bootloader.writeRows({rowText(0x780, 0x1234)}, count, retries, 0), core::ITF_OK);
    QByteArray write;
    for (int b : {0xD0, 0x18, 0x00, 0x00, 0xFF, 0x07, 0x80})
        write.append(char(b));
    for (int i = 0; i < 32; ++i) {
        write.append(char((0x1234 + i) >> 8));
        write.append(char((0x1234 + i) & 0xFF));
    }
    write.append('\0');
    quint8 sum = 0;
    for (char c : write)
        sum = quint8(sum + quint8(c));
    write.append(char(sum));
    EXPECT_EQ(dmx.sent, QStringList {hex(write)});
}

// The options of each exchange: the plain protocol marks every frame internal
// and waits 5000 (65000 for an erase); the box-assisted one replaces the wait
// with 10000 and marks frames internal only in banana mode.
TEST(WystrelBootloaderFrames, ExchangeOptions)
{
    ScriptedDmxInterface dmx;
    itf::WystrelBootloader plain(&dmx, false);
    itf::UsbVandrelLegacyBootloader legacy(nullptr, nullptr, &dmx, false);
    itf::UsbVandrelLegacyBootloader banana(nullptr, nullptr, &dmx, true);
    plain.checkDeviceInBootloaderMode();
    plain.erasePage(3);
    legacy.erasePage(3);
    banana.checkDeviceInBootloaderMode();
    plain.stopBootloaderMode();

    const QVariantMap read = {{"internal", true}, {"banana_mode", false}, {"retry_count", 5},
        {"expect_answer", true}, {"retry_invalid", true}, {"answer_timeout", 5000}};
    QVariantMap erase = read;
    erase["answer_timeout"] = 65000;
    const QVariantMap legacyErase
        = {{"retry_count", 5}, {"expect_answer", true}, {"retry_invalid", true}, {"answer_timeout", 10000}};
    const QVariantMap bananaRead = {{"internal", true}, {"banana_mode", true}, {"retry_count", 5},
        {"expect_answer", true}, {"retry_invalid", true}, {"answer_timeout", 10000}};
    const QVariantMap stop = {{"internal", true}, {"banana_mode", false}, {"retry_count", 5},
        {"expect_answer", false}, {"answer_timeout", 5000}};
    ASSERT_EQ(dmx.sentOptions.size(), 5u);
    EXPECT_EQ(dmx.sentOptions[0], read);
    EXPECT_EQ(dmx.sentOptions[1], erase);
    EXPECT_EQ(dmx.sentOptions[2], legacyErase);
    EXPECT_EQ(dmx.sentOptions[3], bananaRead);
    EXPECT_EQ(dmx.sentOptions[4], stop);
}

// Answers: a row read is decoded low byte first; a missing answer is -11; an
// answer with a bad checksum still proves the plain bootloader there (signal)
// but not the box-assisted one; stopping signals only once the frame went out.
TEST(WystrelBootloaderFrames, AnswersAndSignals)
{
    ScriptedDmxInterface dmx;
    itf::WystrelBootloader plain(&dmx, false);
    itf::UsbVandrelLegacyBootloader legacy(nullptr, nullptr, &dmx, false);
    QSignalSpy plainVerified(&plain, &itf::IBootloader::bootloaderModeVerified);
    QSignalSpy legacyVerified(&legacy, &itf::IBootloader::bootloaderModeVerified);
    QSignalSpy stopped(&plain, &itf::IBootloader::bootloaderModeStopped);
    unsigned char version = 0;
    QString text;

    dmx.replies.push_back(ScriptedDmxInterface::Reply::answer(rowAnswer(0x780, 7, {0x1234, 0x0001})));
    EXPECT_EQ(plain.readRowAddress(0x780, version, text, 0), core::ITF_OK);
    EXPECT_EQ(version, 7);
    EXPECT_EQ(text.size(), 130);
    EXPECT_TRUE(text.startsWith(QStringLiteral("34120100FF3F"))) << text.toStdString();
    EXPECT_EQ(plainVerified.size(), 1);
    EXPECT_EQ(plainVerified.at(0).at(0).toUInt(), 400u);

    QByteArray corrupt = rowAnswer(0x780, 7, {});
    corrupt[corrupt.size() - 1] = char(corrupt.back() + 1);
    dmx.replies.push_back(ScriptedDmxInterface::Reply::answer(corrupt));
    EXPECT_EQ(plain.readRowAddress(0x780, version, text, 0), core::ITF_ERR_PACKET_CHECKSUM);
    EXPECT_EQ(plainVerified.size(), 2);
    dmx.replies.push_back(ScriptedDmxInterface::Reply::answer(corrupt));
    EXPECT_EQ(legacy.readRowAddress(0x780, version, text, 0), core::ITF_ERR_PACKET_CHECKSUM);
    EXPECT_EQ(legacyVerified.size(), 0);
    dmx.replies.push_back(ScriptedDmxInterface::Reply::answer(rowAnswer(0x780, 7, {})));
    EXPECT_EQ(legacy.readRowAddress(0x780, version, text, 0), core::ITF_OK);
    ASSERT_EQ(legacyVerified.size(), 1);
    EXPECT_EQ(legacyVerified.at(0).at(0).toUInt(), 500u);

    dmx.replies.push_back(ScriptedDmxInterface::Reply::timeoutEvent());
    EXPECT_EQ(plain.readRowAddress(0x780, version, text, 0), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(plain.readRowAddress(0x780, version, text, 0), core::ITF_ERR_NO_REPLY);

    dmx.replies.push_back(ScriptedDmxInterface::Reply::failure(core::ITF_ERR_NO_DEVICE));
    EXPECT_EQ(plain.stopBootloaderMode(), core::ITF_ERR_NO_DEVICE);
    EXPECT_EQ(stopped.size(), 0);
    EXPECT_EQ(plain.stopBootloaderMode(), core::ITF_OK);
    EXPECT_EQ(stopped.size(), 1);

    unsigned short first = 0;
    unsigned short second = 0;
    dmx.replies.push_back(
        ScriptedDmxInterface::Reply::answer(withChecksum({0xD0, 0x98, 0, 0, 0xFD, 0x23, 0x41, 0x56})));
    EXPECT_EQ(plain.getHardwareSystemInfo(first, second), core::ITF_OK);
    EXPECT_EQ(first, 0x123);
    EXPECT_EQ(second, 0x456);
    dmx.replies.push_back(
        ScriptedDmxInterface::Reply::answer(withChecksum({0xD0, 0x98, 0, 0, 0xFD, 0x01, 0, 0})));
    EXPECT_EQ(plain.erasePage(2), core::ITF_ERR_FW_ADDRESS_RANGE);
}

// A row list is checked whole before the first row goes out: a bad row
// anywhere writes nothing. A failing row ends the upload after the rows before it.
TEST(WystrelBootloaderFrames, RowListCheckedBeforeTheFirstWrite)
{
    struct Case
    {
        const char* name;
        QString secondRow;
        int status;
    };
    const Case cases[] = {
        {"not a hex address", QStringLiteral("ZZ12") + rowText(0x7A0, 0).mid(4),
            core::ITF_ERR_FW_HEX_CONVERSION},
        {"off a row boundary", rowText(0x7A1, 0), core::ITF_ERR_FW_ADDRESS_RANGE},
        {"short row", rowText(0x7A0, 0).left(100), core::ITF_ERR_FW_HEX_LENGTH},
        {"not hex data", rowText(0x7A0, 0).left(131) + QLatin1Char('G'), core::ITF_ERR_FW_HEX_CONVERSION},
    };
    for (const Case& c : cases) {
        ScriptedDmxInterface dmx;
        itf::WystrelBootloader bootloader(&dmx, false);
        test::LogCapture log;
        int count = 0;
        int retries = 0;
        EXPECT_EQ(bootloader.writeRows({rowText(0x780, 0), c.secondRow}, count, retries, 0), c.status)
            << c.name;
        EXPECT_TRUE(dmx.sent.isEmpty()) << c.name;
        EXPECT_TRUE(log.hasWarningContaining(QStringLiteral("to a valid address, aborting"))) << c.name;
    }

    ScriptedDmxInterface dmx;
    itf::WystrelBootloader bootloader(&dmx, false);
    dmx.replies = {ScriptedDmxInterface::Reply::answer(writeAnswer(0x780, 0)),
        ScriptedDmxInterface::Reply::answer(writeAnswer(0x7A0, 0)),
        ScriptedDmxInterface::Reply::failure(core::ITF_ERR_TRANSFER)};
    int count = 0;
    int retries = 0;
    QStringList rows;
    for (int row = 0; row < 5; ++row)
        rows << rowText(0x780 + 32 * row, row);
    test::LogCapture log;
    EXPECT_EQ(bootloader.writeRows(rows, count, retries, 0), core::ITF_ERR_TRANSFER);
    EXPECT_EQ(dmx.sent.size(), 3);
    EXPECT_EQ(retries, 0);
    EXPECT_TRUE(log.hasWarningContaining(QStringLiteral("Breaking off firmware upload")));
}
