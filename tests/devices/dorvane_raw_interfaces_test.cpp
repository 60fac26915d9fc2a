#include "core/itf_error.h"
#include "devices/dorvane_device_raw_brask_interface.h"
#include "devices/dorvane_device_raw_cur_interface.h"
#include "devices/dorvane_legacy_device_raw_brask_interface.h"
#include "devices/dorvane_legacy_device_raw_cur_interface.h"
#include "devices/dorvane_slave_device_raw_ee_interface.h"
#include "interfaces/dmx/spi_interface.h"
#include "interfaces/dorvane/dorvane_interface.h"
#include "protocol/dorvane/dorvane_packet.h"
#include "protocol/spi/spi_packet.h"

#include <QByteArray>
#include <QList>
#include <QMap>

#include <gtest/gtest.h>

#include <functional>

using namespace tarvesk;
using core::ITF_RES_BYTE;
using core::ITF_RES_WORD;
using devices::DorvaneLegacyDeviceRawCurInterface;

namespace {

QByteArray bytesOf(std::initializer_list<int> bytes)
{
    QByteArray out;
    for (int b : bytes)
        out.append(char(b));
    return out;
}

// A Dorvane port whose driver answers from a script: each frame sent is kept,
// the answer (or none) comes from `answer`.
class ScriptedDorvane : public itf::DorvaneInterface
{
public:
    ScriptedDorvane()
        : DorvaneInterface(nullptr)
    { }
    DorvaneState getDorvaneState() const override { return DORVANE_1_DEVICE; }
    void setDorvaneState(DorvaneState) override { }
    void init() override { }
    int sendDorvane(proto::DorvanePacket* packet, proto::DorvanePacket** reply, proto::Options*,
        DorvaneAction action) override
    {
        const QByteArray frame(reinterpret_cast<const char*>(packet->getData()), packet->getDataSize());
        frames << frame;
        actions << action;
        const std::optional<QByteArray> bytes = answer ? answer(frame) : std::nullopt;
        if (!bytes)
            return core::ITF_ERR_NO_REPLY;
        if (reply)
            *reply = new proto::DorvanePacket(reinterpret_cast<const unsigned char*>(bytes->constData()), 4);
        return core::ITF_OK;
    }
    bool isDorvaneDeviceConnected() override { return true; }
    int getParameter(core::NetworkResolution, int, unsigned int&) override
    {
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    }
    int setParameter(core::NetworkResolution, int, unsigned int) override
    {
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    }

    std::function<std::optional<QByteArray>(const QByteArray&)> answer;
    QList<QByteArray> frames;
    QList<DorvaneAction> actions;
};

class NoPauseBrask : public devices::DorvaneDeviceRawBraskInterface
{
public:
    using DorvaneDeviceRawBraskInterface::DorvaneDeviceRawBraskInterface;
    QList<int> pauses;

protected:
    void pause(int ms) override { pauses << ms; }
};

// Every address request is answered with the address as value (low in byte 2, high in byte 3).
std::optional<QByteArray> echoAddress(const QByteArray& frame)
{
    return frame;
}

TEST(DorvaneDeviceRawInterfaces, ChipWindowsSitInTheParameterSpace)
{
    ScriptedDorvane dorvane;
    dorvane.addCapability(core::ITF_CAP_DORVANE_ATOMIC_READ);
    dorvane.answer = echoAddress;
    NoPauseBrask brask(nullptr, QStringLiteral("presmonde"), &dorvane);
    const struct
    {
        int index;
        core::Device::MemoryLocation memory;
        int address;
        int expected;
    } rows[] = {{2, core::Device::MEM_RAM, 0x10, 0x4210}, {1, core::Device::MEM_EE, 0x10, 0x0010},
        {1, core::Device::MEM_RAM, 0x10, 0x4010}, {2, core::Device::MEM_EE, 0x10, 0x0210}};
    for (const auto& row : rows) {
        devices::DorvaneDeviceRawCurInterface chip(
            nullptr, QStringLiteral("chip"), &brask, row.index, row.memory);
        dorvane.frames.clear();
        unsigned int value = 0;
        ASSERT_EQ(chip.getParameter(ITF_RES_WORD, row.address, value), 0);
        ASSERT_EQ(dorvane.frames.size(), 1);
        EXPECT_EQ(dorvane.frames.at(0), bytesOf({0x59, 0x0B, row.expected & 0xFF, row.expected >> 8}));
        // Atomic reads carry the value low in byte 2, high in byte 3.
        EXPECT_EQ(value, unsigned(row.expected));
    }
}

TEST(DorvaneDeviceRawInterfaces, ReadWithoutAtomicReadAsksForTheValue150msLater)
{
    ScriptedDorvane dorvane;
    dorvane.answer = [](const QByteArray& frame) -> std::optional<QByteArray> {
        if (frame.at(0) == 0x02)
            return bytesOf({0x02, 0x08, 0x12, 0x34}); // high in byte 2, low in byte 3
        return frame;
    };
    NoPauseBrask brask(nullptr, QStringLiteral("presmonde"), &dorvane);
    unsigned int value = 0;
    ASSERT_EQ(brask.getParameter(ITF_RES_WORD, 0x3FE6, value), 0);
    EXPECT_EQ(value, 0x1234u);
    EXPECT_EQ(
        dorvane.frames, QList<QByteArray>({bytesOf({0x59, 0x0B, 0xE6, 0x3F}), bytesOf({0x02, 0x08, 0, 0})}));
    EXPECT_EQ(brask.pauses, QList<int>({150}));
    ASSERT_EQ(brask.getParameter(ITF_RES_BYTE, 5, value), 0);
    EXPECT_EQ(value, 0x34u);

    dorvane.answer = nullptr;
    EXPECT_EQ(brask.getParameter(ITF_RES_WORD, 0, value), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(brask.getParameter(core::ITF_RES_LONG, 0, value), core::ITF_ERR_UNSUPPORTED_FEATURE);
}

TEST(DorvaneDeviceRawInterfaces, WriteTakesTheValueThenTheAddress)
{
    ScriptedDorvane dorvane;
    dorvane.answer = echoAddress;
    NoPauseBrask brask(nullptr, QStringLiteral("presmonde"), &dorvane);
    ASSERT_EQ(brask.setParameter(ITF_RES_WORD, 0x0151, 0x0203), 0);
    EXPECT_EQ(dorvane.frames,
        QList<QByteArray>({bytesOf({0x58, 0x0B, 0x03, 0x02}), bytesOf({0x5F, 0x0B, 0x51, 0x01})}));
    EXPECT_TRUE(brask.pauses.isEmpty());
}

// A legacy driver with its chip mailbox: registers 112 (address), 114 (data), 116 (command, status).
class LegacyDriver
{
public:
    explicit LegacyDriver(ScriptedDorvane& dorvane)
    {
        dorvane.answer = [this](const QByteArray& frame) -> std::optional<QByteArray> {
            const int first = quint8(frame.at(0));
            const int address = first & 0x7F;
            const bool word = first & 0x80;
            return bytesOf(
                {first, 0x0A, memory.value(address) & 0xFF, word ? memory.value(address) >> 8 : 0});
        };
    }
    QMap<int, int> memory; // answers every read; writes leave it as it is
};

TEST(DorvaneLegacyRawInterfaces, WordReadSetsTheWordBitAndDaliTakesTheHighAddresses)
{
    ScriptedDorvane dorvane;
    LegacyDriver driver(dorvane);
    driver.memory[5] = 0x1234;
    devices::DorvaneLegacyDeviceRawBraskInterface brask(
        nullptr, QStringLiteral("presmonde"), &dorvane, nullptr);
    unsigned int value = 0;
    ASSERT_EQ(brask.getParameter(ITF_RES_WORD, 5, value), 0);
    EXPECT_EQ(dorvane.frames.value(0), bytesOf({0x85, 0x0A, 0, 0}));
    EXPECT_EQ(value, 0x1234u);
    ASSERT_EQ(brask.getParameter(ITF_RES_BYTE, 5, value), 0);
    EXPECT_EQ(value, 0x34u);
    // Without a DALI side the parameters from 128 on cannot be read; a write there
    // would land on another parameter (the address byte has 7 bits) and is refused.
    EXPECT_EQ(brask.getParameter(ITF_RES_BYTE, 130, value), core::ITF_ERR_UNSUPPORTED_FEATURE);
    dorvane.frames.clear();
    EXPECT_EQ(brask.setParameter(ITF_RES_BYTE, 130, 1), core::ITF_ERR_UNSUPPORTED_FEATURE);
    EXPECT_TRUE(dorvane.frames.isEmpty());
    dorvane.answer = nullptr;
    EXPECT_EQ(brask.getParameter(ITF_RES_BYTE, 5, value), core::ITF_ERR_NO_DEVICE);
}

TEST(DorvaneLegacyRawInterfaces, ChipMailbox)
{
    ScriptedDorvane dorvane;
    LegacyDriver driver(dorvane);
    devices::DorvaneLegacyDeviceRawBraskInterface brask(
        nullptr, QStringLiteral("presmonde"), &dorvane, nullptr);
    DorvaneLegacyDeviceRawCurInterface eeprom(
        nullptr, QStringLiteral("nordhune2_ee"), &brask, 2, core::Device::MEM_EE);
    unsigned int value = 0;

    // Data ready: the EEPROM word travels byte-swapped; a byte is its low byte.
    driver.memory[DorvaneLegacyDeviceRawCurInterface::CommandRegister] = 0x02;
    driver.memory[DorvaneLegacyDeviceRawCurInterface::DataRegister] = 0x3412;
    ASSERT_EQ(eeprom.getParameter(ITF_RES_WORD, 7, value), 0);
    EXPECT_EQ(value, 0x1234u);
    EXPECT_EQ(dorvane.frames.value(0), bytesOf({0x80 | 112, 0x0A, 7, 0x02})); // 7 + 0x200 for the second chip
    EXPECT_EQ(dorvane.frames.value(1), bytesOf({116, 0x0A, 0x41, 0}));
    ASSERT_EQ(eeprom.getParameter(ITF_RES_BYTE, 7, value), 0);
    EXPECT_EQ(value, 0x34u);

    // Busy for ever: ten status reads, then a time-out (not a stale value).
    driver.memory[DorvaneLegacyDeviceRawCurInterface::CommandRegister] = 0x04;
    dorvane.frames.clear();
    value = 77;
    EXPECT_EQ(eeprom.getParameter(ITF_RES_WORD, 7, value), core::ITF_ERR_TIMEOUT);
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(dorvane.frames.count(bytesOf({116, 0x0A, 0, 0})), 10);
}

// A slave module port whose SPI frames fail from a given frame on.
class FailingSpi : public itf::SpiInterface
{
public:
    FailingSpi()
        : SpiInterface(nullptr)
    { }
    int sendSpi(proto::SpiPacket* packet, proto::SpiPacket** reply, proto::Options*) override
    {
        frames << QByteArray(reinterpret_cast<const char*>(packet->getData()), packet->getDataSize());
        if (frames.size() >= failFrom)
            return core::ITF_ERR_NO_REPLY;
        *reply = new proto::SpiPacket(packet->getData(), packet->getDataSize());
        return core::ITF_OK;
    }
    int failFrom = 1000;
    QList<QByteArray> frames;
};

TEST(DorvaneSlaveRawInterfaces, EepromWritesReportTheFirstFailingStep)
{
    for (int failing = 1; failing <= 4; ++failing) {
        SCOPED_TRACE(failing);
        FailingSpi spi;
        spi.failFrom = failing;
        devices::DorvaneSlaveDeviceRawEEInterface ee(
            nullptr, QStringLiteral("ee"), &spi, itf::SPI_DEVICE_DV2, 3);
        EXPECT_EQ(ee.setParameter(ITF_RES_BYTE, 9, 0x5A), core::ITF_ERR_NO_REPLY);
        EXPECT_EQ(spi.frames.size(), failing);
    }
    FailingSpi spi;
    devices::DorvaneSlaveDeviceRawEEInterface ee(nullptr, QStringLiteral("ee"), &spi, itf::SPI_DEVICE_DV2, 3);
    EXPECT_EQ(ee.setParameter(ITF_RES_BYTE, 9, 0x5A), 0);
    EXPECT_EQ(spi.frames.size(), 4);
}

TEST(DorvaneSlaveRawInterfaces, Dv1WordWritePutsTheHighByteFirst)
{
    FailingSpi spi;
    devices::DorvaneSlaveDeviceRawEEInterface ee(nullptr, QStringLiteral("ee"), &spi, itf::SPI_DEVICE_DV1, 0);
    ASSERT_EQ(ee.setParameter(ITF_RES_WORD, 10, 0xA1B2), 0);
    // RAM 5 := value, RAM 2 := 64, RAM 3 := address, for 10 then 11.
    ASSERT_EQ(spi.frames.size(), 6);
    proto::SpiPacket expected;
    const int rows[][2] = {{5, 0xA1}, {2, 64}, {3, 10}, {5, 0xB2}, {2, 64}, {3, 11}};
    for (int i = 0; i < 6; ++i) {
        expected.setWriteRam8(1, quint8(rows[i][0]), quint16(rows[i][1]));
        EXPECT_EQ(spi.frames.at(i),
            QByteArray(reinterpret_cast<const char*>(expected.getData()), expected.getDataSize()))
            << i;
    }
    EXPECT_EQ(ee.setParameter(core::ITF_RES_LONG, 10, 1), core::ITF_ERR_UNSUPPORTED_FEATURE);
}

} // namespace
