#include "../scripted_dmx_interface.h"

#include "interfaces/dmx/dmx_spi_internal_interface.h"
#include "log_capture.h"
#include "protocol/spi/spi_packet.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <gtest/gtest.h>

using namespace tarvesk;
using test::ScriptedDmxInterface;
using test::withChecksum;
using Reply = ScriptedDmxInterface::Reply;

namespace {

// The module's answer to an SPI pass-through frame: bytes 3 to 7 carry the SPI answer.
Reply spiAnswer(int b3, int b4, int b5, int b6, int b7)
{
    return Reply::answer(withChecksum({0xD0, 0x8B, 0x00, b3, b4, b5, b6, b7}));
}

class DmxSpi : public ::testing::Test
{
protected:
    ScriptedDmxInterface dmx;
    itf::DmxSpiInternalInterface spi {nullptr, &dmx};
    itf::DmxSpiInterface buffered {nullptr, &dmx, false};
};

TEST_F(DmxSpi, FrameAndOptionsOfTheInternalSide)
{
    proto::SpiPacket read(proto::SpiPacket::SPI_CMD_READ_EE16);
    read.setByte(2, 0x10);
    proto::SpiPacket* reply = nullptr;
    dmx.replies = {spiAnswer(0, 0x12, 0, 0x34, 0)};
    proto::Options options;
    EXPECT_EQ(spi.sendSpi(&read, &reply, &options), 0);
    delete reply;
    EXPECT_EQ(dmx.sent, QStringList {"D0 0B 00 E1 00 10 00 00 CC"});
    EXPECT_EQ(dmx.sentOptions[0],
        (QVariantMap {{"expect_answer", true}, {"answer_timeout", 65000}, {"internal", true},
            {"retry_invalid", true}, {"retry_count", 5}}));
    dmx.replies = {spiAnswer(0, 0x12, 0, 0x34, 0)};
    EXPECT_EQ(buffered.sendSpi(&read, &reply, &options), 0);
    EXPECT_EQ(dmx.sentOptions[1],
        (QVariantMap {{"expect_answer", true}, {"retry_invalid", true}, {"retry_count", 5}}));
}

// A non-UNI/O read answers two bytes: answer bytes 4 and 6, or 3 and 4 for a
// second-generation module.
TEST_F(DmxSpi, RamReads)
{
    unsigned int value = 0;
    dmx.replies = {spiAnswer(0x11, 0x12, 0x13, 0x34, 0)};
    EXPECT_EQ(spi.getRamParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV1, 9, 0x1C, value), 0);
    EXPECT_EQ(value, 0x1234u);
    EXPECT_EQ(dmx.sent.back(),
        QString::fromLatin1(withChecksum({0xD0, 0x0B, 0, 0x66, 0x15, 0x1C, 0, 0}).toHex(' ')).toUpper());
    EXPECT_EQ(dmx.sentOptions.back().value("internal"), true);

    dmx.replies = {spiAnswer(0x56, 0x78, 0x13, 0x34, 0)};
    EXPECT_EQ(spi.getRamParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV2, 3, 0x1C, value), 0);
    EXPECT_EQ(value, 0x5678u);
    dmx.replies = {spiAnswer(0x56, 0x78, 0x13, 0x34, 0)};
    EXPECT_EQ(spi.getRamParameter(core::ITF_RES_BYTE, itf::SPI_DEVICE_DV2, 3, 0x1C, value), 0);
    EXPECT_EQ(value, 0x56u);

    // A module that does not answer (byte 7 bit 0x02): no further attempt.
    dmx.sent.clear();
    dmx.replies = {spiAnswer(0, 0x12, 0, 0x34, 0x02)};
    EXPECT_EQ(
        spi.getRamParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV1, 0, 0x1C, value), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(dmx.sent.size(), 1);
    EXPECT_EQ(value, 0x56u);
}

// A read that expected an answer and got none never reports success.
TEST_F(DmxSpi, ReadsWithoutAnAnswerFail)
{
    unsigned int value = 7;
    dmx.replies = {Reply::timeoutEvent(), Reply::none(), Reply::timeoutEvent()};
    EXPECT_EQ(
        spi.getRamParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV1, 0, 0x1C, value), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(dmx.sent.size(), 3);
    EXPECT_EQ(value, 7u);

    dmx.sent.clear();
    EXPECT_EQ(spi.getRamParameter(core::ITF_RES_LONG, itf::SPI_DEVICE_DV1, 0, 0x1C, value),
        core::ITF_ERR_UNSUPPORTED_FEATURE);
    EXPECT_TRUE(dmx.sent.isEmpty());
    EXPECT_EQ(spi.sendUnioCommand(proto::SpiPacket::UNIO_WREN, 0, 0), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(spi.sendUnioCommand(0x42, 0, 0), core::ITF_ERR_INVALID_PARAM);

    // A failing send is returned at once; a flagged or malformed answer is no answer.
    dmx.sent.clear();
    dmx.replies = {Reply::failure(core::ITF_ERR_NO_DEVICE)};
    EXPECT_EQ(spi.getEEParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV1, 4, value), core::ITF_ERR_NO_DEVICE);
    EXPECT_EQ(dmx.sent.size(), 1);
    dmx.replies = {Reply::answer(withChecksum({0xD0, 0xCB, 0, 0, 0x12, 0, 0x34, 0}))};
    EXPECT_EQ(spi.getEEParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV1, 4, value), core::ITF_ERR_NO_REPLY);
    dmx.replies = {Reply::answer(QByteArray("\xD0\x8B\x00", 3))};
    EXPECT_EQ(spi.getEEParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV1, 4, value), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(value, 7u);
}

TEST_F(DmxSpi, RamWrites)
{
    dmx.replies = {spiAnswer(0, 0, 0, 0, 0), spiAnswer(0, 0, 0, 0, 0), spiAnswer(0, 0, 0, 0, 0)};
    EXPECT_EQ(spi.setRamParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV2, 3, 0x20, 0x1234), 0);
    EXPECT_EQ(spi.setRamParameter(core::ITF_RES_LONG, itf::SPI_DEVICE_DV2, 3, 0x20, 0x1234), 0);
    EXPECT_EQ(spi.setRamParameter(core::ITF_RES_BYTE, itf::SPI_DEVICE_DV1, 3, 0x20, 0x1234), 0);
    // DV2 write to module 3, register 0x20: the payload is 12 34 for a word, 34 otherwise.
    proto::SpiPacket word;
    word.DV2_setWriteCommand(3, 0x20, QByteArray("\x12\x34", 2), true);
    proto::SpiPacket longValue;
    longValue.DV2_setWriteCommand(3, 0x20, QByteArray("\x34", 1), true);
    proto::SpiPacket ram8;
    ram8.setWriteRam8(1, 0x20, 0x1234);
    const auto frameOf = [](const proto::SpiPacket& p) {
        return QString::fromLatin1(proto::WystrelPacket(&p).getRawDataString().toHex(' ')).toUpper();
    };
    EXPECT_EQ(dmx.sent, (QStringList {frameOf(word), frameOf(longValue), frameOf(ram8)}));
}

// EEPROM words are stored big-endian, one UNI/O byte write after a write enable each.
TEST_F(DmxSpi, EepromWordWrite)
{
    for (int i = 0; i < 4; ++i)
        dmx.replies.push_back(spiAnswer(0, 0, 0, 0, 0));
    EXPECT_EQ(spi.setEEParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV1, 0x10, 0xABCD), 0);
    proto::SpiPacket wren;
    wren.setUnioCommand(proto::SpiPacket::UNIO_WREN, 0, 0);
    proto::SpiPacket high;
    high.setUnioCommand(proto::SpiPacket::UNIO_WRITE, 0x10, 0xAB);
    proto::SpiPacket low;
    low.setUnioCommand(proto::SpiPacket::UNIO_WRITE, 0x11, 0xCD);
    const auto frameOf = [](const proto::SpiPacket& p) {
        return QString::fromLatin1(proto::WystrelPacket(&p).getRawDataString().toHex(' ')).toUpper();
    };
    EXPECT_EQ(dmx.sent, (QStringList {frameOf(wren), frameOf(high), frameOf(wren), frameOf(low)}));

    // A refused write enable stops everything.
    dmx.sent.clear();
    dmx.replies = {Reply::failure(core::ITF_ERR_TRANSFER)};
    EXPECT_EQ(
        spi.setEEParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV1, 0x10, 0xABCD), core::ITF_ERR_TRANSFER);
    EXPECT_EQ(dmx.sent.size(), 1);
}

// Buffered: the frame goes out, then the answer bytes are read back from the
// module's answer registers 0x3D and 0x3F.
TEST_F(DmxSpi, BufferedReadBack)
{
    unsigned int value = 0;
    dmx.replies
        = {spiAnswer(0, 0, 0, 0, 0), Reply::answer(withChecksum({0xD0, 0xCD, 0, 0, 0x3D, 0x40, 0x00, 0xAB})),
            Reply::answer(withChecksum({0xD0, 0xCD, 0, 0, 0x3F, 0x40, 0x00, 0xCD}))};
    EXPECT_EQ(buffered.getEEParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV1, 4, value), 0);
    EXPECT_EQ(value, 0xABCDu);
    ASSERT_EQ(dmx.sent.size(), 3);
    EXPECT_EQ(dmx.sent[1],
        QString::fromLatin1(withChecksum({0xD0, 0x0D, 0, 0, 0x3D, 0x40, 0, 0}).toHex(' ')).toUpper());
    EXPECT_EQ(dmx.sent[2],
        QString::fromLatin1(withChecksum({0xD0, 0x0D, 0, 0, 0x3F, 0x40, 0, 0}).toHex(' ')).toUpper());

    // The high register holds no data: one byte comes back, too short for a word.
    test::LogCapture log;
    dmx.replies
        = {spiAnswer(0, 0, 0, 0, 0), Reply::answer(withChecksum({0xD0, 0x8D, 0, 0, 0x3D, 0x40, 0, 0})),
            Reply::answer(withChecksum({0xD0, 0xCD, 0, 0, 0x3F, 0x40, 0x00, 0xCD}))};
    EXPECT_EQ(buffered.getEEParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV1, 4, value),
        core::ITF_ERR_UNSUPPORTED_FEATURE);
    EXPECT_TRUE(log.hasWarningContaining("isn't equal or greater than the size"));

    // Never taken: the module answer of the last attempt, or -6 when none came.
    dmx.replies = {spiAnswer(0, 0, 0, 0, 2), spiAnswer(0, 0, 0, 0, 2), spiAnswer(0, 0, 0, 0, 2)};
    EXPECT_EQ(
        buffered.getEEParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV1, 4, value), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(
        buffered.getEEParameter(core::ITF_RES_WORD, itf::SPI_DEVICE_DV1, 4, value), core::ITF_ERR_TIMEOUT);
    EXPECT_EQ(value, 0xABCDu);
}

} // namespace
