#include "../scripted_dmx_interface.h"

#include "core/universe.h"
#include "interfaces/dorvane/dorvane_dali_interface.h"
#include "interfaces/dorvane/dorvane_interface.h"
#include "interfaces/virtual_interface.h"
#include "plain_device.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/dorvane/dorvane_packet.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>

using namespace tarvesk;
using itf::DorvaneInterface;

namespace {

// A Dorvane bus whose other end is a script: requests, their options and
// actions are recorded; each request takes the next scripted reply.
class ScriptedDorvaneInterface : public DorvaneInterface
{
public:
    struct Reply
    {
        int status = core::ITF_OK;
        QByteArray bytes; // empty: no answer
    };

    ScriptedDorvaneInterface()
        : DorvaneInterface(nullptr)
    { }

    DorvaneState getDorvaneState() const override { return DORVANE_1_DEVICE; }
    void setDorvaneState(DorvaneState) override { }
    void init() override { }
    int sendDorvane(proto::DorvanePacket* packet, proto::DorvanePacket** reply, proto::Options* options,
        DorvaneAction action) override
    {
        sent << QString::fromLatin1(packet->getRawDataString().toHex(' ')).toUpper();
        sentOptions.push_back(options ? test::optionsOf(*options) : QVariantMap());
        actions.push_back(action);
        if (replies.empty())
            return core::ITF_OK;
        const Reply next = replies.front();
        replies.pop_front();
        if (!next.bytes.isEmpty())
            *reply = new proto::DorvanePacket(
                reinterpret_cast<const unsigned char*>(next.bytes.constData()), next.bytes.size());
        return next.status;
    }
    bool isDorvaneDeviceConnected() override { return connected; }
    int getParameter(core::NetworkResolution, int, unsigned int&) override
    {
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    }
    int setParameter(core::NetworkResolution, int, unsigned int) override
    {
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    }

    bool connected = true;
    std::deque<Reply> replies;
    QStringList sent;
    std::vector<QVariantMap> sentOptions;
    std::vector<int> actions;
    std::vector<int> pauses;

protected:
    void pause(int ms) override { pauses.push_back(ms); }
};

ScriptedDorvaneInterface::Reply answer(int b0, int b1, int b2, int b3)
{
    QByteArray bytes;
    for (int b : {b0, b1, b2, b3})
        bytes.append(char(b));
    return {core::ITF_OK, bytes};
}

struct ModuleCase
{
    int byte2, byte3;
    int status;
    int value;
};

// A Corvalt driver's DALI module reports in byte 2 whether it handled the frame
// and whether a backward frame came; byte 3 carries the backward frame.
TEST(DorvaneDali, CorvaltModuleCheck)
{
    const ModuleCase cases[] = {{0x41, 0x7F, 0, 0x7F}, {0x81, 0x22, 0, 0x22},
        {0x80, 0x22, core::ITF_ERR_NO_REPLY, -1}, {0x01, 0x22, core::ITF_ERR_NO_REPLY, -1}};
    for (const ModuleCase& c : cases) {
        ScriptedDorvaneInterface dorvane;
        dorvane.addCapability(core::ITF_CAP_CORVALT_DALI);
        itf::DorvaneDaliInterface dali(nullptr, &dorvane, true);
        dorvane.replies = {answer(0x40, 0x0B, c.byte2, c.byte3)};
        unsigned char value = 0;
        EXPECT_EQ(dali.queryCommand(0x03, 0x91, &value, true), c.status) << c.byte2;
        if (c.status == 0) {
            EXPECT_EQ(value, c.value);
        }
        EXPECT_EQ(dorvane.actions, std::vector<int> {DorvaneInterface::DORVANE_ACTION_READ});
        EXPECT_EQ(dorvane.sentOptions[0],
            (QVariantMap {{"expect_answer", true}, {"retry_count", 5}, {"dorvane_corvalt", true}}));
    }

    // The empty answer of a frame the module did not handle carries its own flag.
    ScriptedDorvaneInterface dorvane;
    dorvane.addCapability(core::ITF_CAP_CORVALT_DALI);
    dorvane.replies = {answer(0x40, 0x0B, 0x01, 0x22)};
    proto::DaliPacket query;
    query.setCommand(0x03, 0x91);
    proto::Options options;
    options.addOption("expect_answer", true);
    options.addOption("module_check", true);
    proto::DaliPacket* reply = nullptr;
    EXPECT_EQ(dorvane.sendVirtualDali(&query, &reply, &options), 0);
    ASSERT_NE(reply, nullptr);
    EXPECT_TRUE(reply->isNotHandledByModule());
    EXPECT_EQ(reply->getDataSize(), 0);
    delete reply;
}

TEST(DorvaneDali, AnswerWithoutCorvalt)
{
    ScriptedDorvaneInterface dorvane;
    itf::DorvaneDaliInterface dali(nullptr, &dorvane, false);
    dorvane.replies = {answer(0, 0, 0x55, 0x66), answer(0, 0, 0x80, 0x66)};
    unsigned char value = 0;
    EXPECT_EQ(dali.queryCommand(0x03, 0x91, &value, true), 0);
    EXPECT_EQ(value, 0x55);
    EXPECT_EQ(dali.queryCommand(0x03, 0x91, &value, true), 0);
    EXPECT_EQ(value, 0x80);
}

struct AddressCase
{
    int address;
    bool corvalt;
    QVariantMap options;
    const char* frame;
};

// Byte 0 of the virtual DALI frame: 0x40, +1 internal addressing (a Corvalt
// driver's group commands unless the caller decided), +2 to the physical DALI bus.
TEST(DorvaneDali, FrameBytes)
{
    const AddressCase cases[] = {{0x81, true, {}, "41 0B 05 81"}, {0x81, false, {}, "40 0B 05 81"},
        {0x81, true, {{"internal_addressing", false}}, "40 0B 05 81"}, {0x06, true, {}, "40 0B 05 06"},
        {0x06, true, {{"send_to_physical_dali", true}}, "42 0B 05 06"}, {0xFF, false, {}, "40 0B 05 FF"}};
    for (const AddressCase& c : cases) {
        ScriptedDorvaneInterface dorvane;
        itf::DorvaneDaliInterface dali(nullptr, &dorvane, c.corvalt);
        proto::DaliPacket frame;
        frame.setCommand(quint8(c.address), 0x05);
        proto::Options options;
        for (auto it = c.options.cbegin(); it != c.options.cend(); ++it)
            options.addOption(it.key(), it.value());
        proto::DaliPacket* reply = nullptr;
        EXPECT_EQ(dali.sendDali(&frame, &reply, &options), 0);
        EXPECT_EQ(reply, nullptr);
        EXPECT_EQ(dorvane.sent, QStringList {c.frame}) << c.frame;
        EXPECT_EQ(options.getOption("dorvane_corvalt"), c.corvalt); // the caller's set carries it
    }
}

TEST(DorvaneInterface, SendTwice)
{
    ScriptedDorvaneInterface dorvane;
    proto::DaliPacket frame;
    frame.setCommand(0x06, 0x2A);
    proto::Options options;
    options.addOption("send_twice", true);
    proto::DaliPacket* reply = nullptr;
    EXPECT_EQ(dorvane.sendVirtualDali(&frame, &reply, &options), 0);
    EXPECT_EQ(dorvane.sent.size(), 2);
    EXPECT_TRUE(dorvane.pauses.empty());

    dorvane.replies = {{}, {core::ITF_ERR_TRANSFER, {}}};
    EXPECT_EQ(dorvane.sendVirtualDali(&frame, &reply, &options), core::ITF_ERR_TRANSFER);
    EXPECT_EQ(dorvane.pauses, std::vector<int> {120});
}

TEST(DorvaneInterface, NoDeviceNoFrame)
{
    ScriptedDorvaneInterface dorvane;
    dorvane.connected = false;
    proto::DaliPacket frame;
    frame.setCommand(0x06, 0x2A);
    proto::DaliPacket* reply = nullptr;
    EXPECT_EQ(dorvane.sendVirtualDali(&frame, &reply, nullptr), core::ITF_ERR_NO_DEVICE);
    EXPECT_EQ(dorvane.sendRawBytes(1, 2, 3, 4), core::ITF_ERR_NO_DEVICE);
    EXPECT_TRUE(dorvane.sent.isEmpty());

    dorvane.connected = true;
    EXPECT_EQ(dorvane.sendRawBytes(0x101, 2, 3, -1), 0);
    EXPECT_EQ(dorvane.sent, QStringList {"01 02 03 FF"});
    EXPECT_EQ(dorvane.sentOptions[0], (QVariantMap {{"expect_answer", true}, {"retry_count", 5}}));
    EXPECT_EQ(dorvane.actions, std::vector<int> {DorvaneInterface::DORVANE_ACTION_WRITE});

    EXPECT_EQ(dorvane.sendSetpoint({1}, core::ITF_RES_BYTE, 0), core::ITF_ERR_UNSUPPORTED_FEATURE);
    itf::VirtualInterface virtualItf(nullptr);
    EXPECT_EQ(virtualItf.sendSetpoint({1}, core::ITF_RES_BYTE, 0), core::ITF_ERR_UNSUPPORTED_FEATURE);
    EXPECT_EQ(virtualItf.getInterfaceType(), core::ITF_TYPE_VIRTUAL);
}

// The access command is two internal commands: 0x58 with the low byte twice,
// then 0x5B with the parameter and the high byte; a missing answer stops it.
TEST(DorvaneInterface, BootloaderAccess)
{
    ScriptedDorvaneInterface dorvane;
    dorvane.replies = {answer(0, 0, 0, 0), answer(0, 0, 0, 0)};
    EXPECT_EQ(dorvane.sendBootloaderModeAccessCommand(254, 0x00, 0xC3, false), 0);
    EXPECT_EQ(dorvane.sent, (QStringList {"58 0B C3 C3", "5B 0B FE 00"}));
    EXPECT_EQ(dorvane.sentOptions[0], (QVariantMap {{"expect_answer", true}, {"retry_count", 3}}));

    dorvane.sent.clear();
    EXPECT_EQ(dorvane.sendPrimeUnlock(), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(dorvane.sent.size(), 1);
    EXPECT_EQ(itf::DorvaneInterface::dorvaneStateToString(2), QStringLiteral("Dorvane 2 device"));
    EXPECT_EQ(itf::DorvaneInterface::dorvaneStateToString(9), QStringLiteral("Unknown state"));
}

// Requests for a driver's memory go to the packet log of the device that asked.
TEST(DorvaneInterface, AddressedRequestsAreLogged)
{
    auto* carrier = new test::ScriptedDmxInterface();
    core::Universe universe(QStringLiteral("DMX"), carrier, nullptr);
    test::PlainDevice device(&universe);
    ScriptedDorvaneInterface dorvane;
    dorvane.replies = {answer(1, 2, 3, 4)};
    const unsigned char bytes[] = {0x59, 0x0B, 0x10, 0x00};
    proto::DorvanePacket request(bytes, 4);
    proto::DorvanePacket* reply = nullptr;
    EXPECT_EQ(dorvane.sendAddressesDorvane(
                  &device, &request, &reply, nullptr, DorvaneInterface::DORVANE_ACTION_READ),
        0);
    ASSERT_NE(reply, nullptr);
    delete reply;
    reply = nullptr;
    EXPECT_EQ(device.getPacketLog()->size(), 2);
    EXPECT_EQ(dorvane.sendAddressesDorvane(
                  &device, &request, &reply, nullptr, DorvaneInterface::DORVANE_ACTION_READ),
        0);
    EXPECT_EQ(device.getPacketLog()->size(), 3);
}

} // namespace
