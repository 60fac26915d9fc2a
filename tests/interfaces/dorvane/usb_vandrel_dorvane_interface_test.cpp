#include "../scripted_dmx_interface.h"

#include "core/itf_error.h"
#include "core/parameters/parameter.h"
#include "core/parameters/raw_parameter_interface.h"
#include "core/universe.h"
#include "interfaces/usb_vandrel_dorvane_interface.h"
#include "log_capture.h"
#include "plain_device.h"
#include "protocol/dorvane/dorvane_packet.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tarvesk;
using core::Device;
using itf::DorvaneInterface;
using test::ScriptedDmxInterface;
using test::withChecksum;
using Reply = ScriptedDmxInterface::Reply;

namespace {

// The Vandrel device as the Dorvane interface sees it through the core Device
// API: its Dorvane status, its mode and reset parameters, its raw interface
// "dorvane_ram".
class BoxDevice : public test::PlainDevice
{
public:
    using test::PlainDevice::PlainDevice;

    bool isStatusTrue(Status status) override
    {
        return status == STATUS_DORVANE_CONNECTED && dorvaneConnected;
    }
    int setStatus(Status status, int value) override
    {
        statusSets.push_back({status, value});
        return 0;
    }
    int setParamCallback(core::Parameter* param, QVariant value) override
    {
        callbackSets << QStringLiteral("%1=%2").arg(param->getIdentifier(), value.toString());
        return core::Device::setParamCallback(param, value);
    }

    bool dorvaneConnected = true;
    std::vector<std::pair<Status, int>> statusSets;
    QStringList callbackSets;
};

// Records the writes into the box's Dorvane controller RAM.
class RecordingRam : public core::RawParameterInterface
{
public:
    RecordingRam(QObject* device)
        : core::RawParameterInterface(device, QStringLiteral("dorvane_ram"))
    { }
    int getParameter(core::NetworkResolution, int, unsigned int&) override
    {
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    }
    int setParameter(core::NetworkResolution resolution, int address, unsigned int value) override
    {
        writes << QStringLiteral("%1@%2=%3").arg(int(resolution)).arg(address).arg(value);
        return status;
    }
    QStringList writes;
    int status = 0;
};

class PausingDorvaneInterface : public itf::UsbVandrelDorvaneInterface
{
public:
    using itf::UsbVandrelDorvaneInterface::UsbVandrelDorvaneInterface;
    std::vector<int> pauses;

protected:
    void pause(int ms) override { pauses.push_back(ms); }
};

class VandrelDorvane : public ::testing::Test
{
protected:
    VandrelDorvane()
        : dmx(new ScriptedDmxInterface())
        , universe(QStringLiteral("USB"), dmx, nullptr)
        , device(&universe)
        , dorvane(&device, dmx)
    {
        device.setConnectionStatus(Device::CONNECTED);
        device.addParameter(new core::Parameter(
            QStringLiteral("dorvane_mode"), core::ITF_RES_WORD, core::Parameter::PARAM_READ_WRITE));
        dorvane.init();
    }

    // A Dorvane answer of the box's controller in a Wystrel answer.
    static Reply controllerAnswer(int command, int b4, int b5, int b6, int b7)
    {
        return Reply::answer(withChecksum({0xD0, command, 0, 0, b4, b5, b6, b7}));
    }

    int send(proto::Options& options, DorvaneInterface::DorvaneAction action, proto::DorvanePacket** reply)
    {
        const unsigned char bytes[] = {0x59, 0x0B, 0x10};
        proto::DorvanePacket request(bytes, 3);
        return dorvane.sendDorvane(&request, reply, &options, action);
    }

    ScriptedDmxInterface* dmx; // owned by the universe
    core::Universe universe;
    BoxDevice device;
    PausingDorvaneInterface dorvane;
};

// A 3-byte read request in the controller's Wystrel frame, with the options
// every controller exchange needs forced into the caller's set.
TEST_F(VandrelDorvane, RequestFrameAndAnswer)
{
    dmx->replies = {controllerAnswer(0x8D, 0x11, 0x22, 0x33, 0x44)};
    proto::Options options;
    proto::DorvanePacket* reply = nullptr;
    EXPECT_EQ(send(options, DorvaneInterface::DORVANE_ACTION_READ, &reply), 0);
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->getRawDataString(), QByteArray("\x11\x22\x33\x44", 4));
    delete reply;
    const int sum = (0xD0 + 0x0D + 0x59 + 0x0B + 0x10) & 0xFF;
    EXPECT_EQ(dmx->sent,
        QStringList {QStringLiteral("D0 0D 00 00 59 0B 10 %1").arg(sum, 2, 16, QLatin1Char('0')).toUpper()});
    const QVariantMap forced {{"internal", true}, {"expect_answer", true}, {"retry_invalid", true},
        {"answer_timeout", 65535}, {"is_dorvane", true}};
    EXPECT_EQ(test::optionsOf(options), forced);
    // The attempts are counted here: the DMX line carries each one once.
    QVariantMap once = forced;
    once.insert("retry_count", 1);
    EXPECT_EQ(dmx->sentOptions[0], once);

    // A write goes as WRITE; Corvalt frames carry the sub-command bit unless sent as master.
    device.addCapability(Device::CAP_VD_CORVALT_DALI);
    proto::Options corvalt;
    corvalt.addOption("dorvane_corvalt", true);
    send(corvalt, DorvaneInterface::DORVANE_ACTION_WRITE, &reply);
    EXPECT_TRUE(dmx->sent.back().startsWith("D0 1E 00 00"));
    corvalt.addOption("dorvane_master", true);
    send(corvalt, DorvaneInterface::DORVANE_ACTION_READ, &reply);
    EXPECT_TRUE(dmx->sent.back().startsWith("D0 0D 00 00"));
}

// "No reply received" from the controller ends the request at once, whatever
// the retry count; other errors are retried after a pause and end without
// success when the attempts are used up.
TEST_F(VandrelDorvane, ControllerErrors)
{
    test::LogCapture log;
    proto::Options options;
    options.addOption("retry_count", 5);
    proto::DorvanePacket* reply = nullptr;
    dmx->replies = {controllerAnswer(0x4D, 0, 0, 10, 0)};
    EXPECT_EQ(send(options, DorvaneInterface::DORVANE_ACTION_READ, &reply), core::ITF_ERR_NO_REPLY);
    EXPECT_EQ(dmx->sent.size(), 1);
    EXPECT_TRUE(dorvane.pauses.empty());

    dmx->sent.clear();
    dmx->replies = {controllerAnswer(0x4D, 0, 0, 8, 0), controllerAnswer(0xCD, 0, 0, 3, 0),
        Reply::timeoutEvent(), Reply::failure(core::ITF_ERR_PIPE)};
    EXPECT_EQ(send(options, DorvaneInterface::DORVANE_ACTION_READ, &reply), core::ITF_ERR_PIPE);
    EXPECT_EQ(reply, nullptr);
    EXPECT_EQ(dmx->sent.size(), 4);
    EXPECT_EQ(dorvane.pauses, std::vector<int> {35});
    EXPECT_TRUE(log.hasWarningContaining("Dorvane slave : Not connected retry 1"));
    EXPECT_TRUE(log.hasWarningContaining("Dorvane error flag detected: VDERR_UNSUPP_CMD"));
    EXPECT_TRUE(log.hasWarningContaining("DMX time-out for internal wystrel comm."));

    // No answer record at all: the box may have carried the frame, which is
    // never sent again (the driver would act on it twice); it ends with
    // ITF_ERR_NO_REPLY.
    // Nor is one whose exchange failed (the wait for what the box reported).
    for (const Reply& first : {Reply::none(), Reply::failure(core::ITF_ERR_TIMEOUT)}) {
        dmx->sent.clear();
        dmx->replies = {first, controllerAnswer(0x8D, 1, 2, 3, 4)};
        EXPECT_NE(send(options, DorvaneInterface::DORVANE_ACTION_READ, &reply), core::ITF_OK);
        EXPECT_EQ(reply, nullptr);
        EXPECT_EQ(dmx->sent.size(), 1);
    }
    EXPECT_TRUE(log.hasWarningContaining("Expecting answer but answer packet is empty"));

    // Attempts used up on answers without a usable one: no success.
    proto::Options once;
    dmx->replies = {controllerAnswer(0x4D, 0, 0, 3, 0)};
    EXPECT_EQ(send(once, DorvaneInterface::DORVANE_ACTION_READ, &reply), core::ITF_ERR_NO_REPLY);
    EXPECT_TRUE(log.hasWarningContaining("Unsupported command retry 0")); // counted from 0 without a count
    // An answer the driver flagged was an answer: its error, never "no reply".
    dmx->replies = {controllerAnswer(0xCD, 0, 0, 3, 0)};
    EXPECT_EQ(send(once, DorvaneInterface::DORVANE_ACTION_READ, &reply), core::dorvaneErrorToItfError(3));
    EXPECT_EQ(core::itfErrorToString(core::dorvaneErrorToItfError(3)), QStringLiteral("Unsupported command"));
    EXPECT_EQ(reply, nullptr);
}

// Without the box's correct checksums the controller's checksum is not checked.
// With them, a wrong one ends the request: the driver had the frame, and
// sending it again would run it twice.
TEST_F(VandrelDorvane, ChecksumOfOlderBoxes)
{
    QByteArray bad = withChecksum({0xD0, 0x8D, 0, 0, 1, 2, 3, 4});
    bad[8] = char(bad[8] + 1);
    proto::Options options;
    options.addOption("retry_count", 5);
    proto::DorvanePacket* reply = nullptr;
    dmx->replies = {Reply::answer(bad)};
    EXPECT_EQ(send(options, DorvaneInterface::DORVANE_ACTION_READ, &reply), 0);
    delete reply;
    reply = nullptr;
    device.addCapability(Device::CAP_VD_CORRECT_CHECKSUM);
    dmx->sent.clear();
    dmx->replies = {Reply::answer(bad), controllerAnswer(0x8D, 1, 2, 3, 4)};
    EXPECT_EQ(send(options, DorvaneInterface::DORVANE_ACTION_READ, &reply), core::ITF_ERR_PACKET_CHECKSUM);
    EXPECT_EQ(reply, nullptr);
    EXPECT_EQ(dmx->sent.size(), 1);
}

TEST_F(VandrelDorvane, NotConnected)
{
    test::LogCapture log;
    device.dorvaneConnected = false;
    proto::Options options;
    proto::DorvanePacket* reply = nullptr;
    EXPECT_EQ(send(options, DorvaneInterface::DORVANE_ACTION_READ, &reply), core::ITF_ERR_NO_DEVICE);
    EXPECT_TRUE(dmx->sent.isEmpty());
    EXPECT_EQ(dorvane.pauses, std::vector<int>(4, 60));
    EXPECT_EQ(log.count("Dorvane status not connected, retry"), 4);
    EXPECT_TRUE(log.hasWarningContaining("retry 4"));

    // The access command fails instead of reporting a write that never happened.
    EXPECT_EQ(dorvane.sendBootloaderModeAccessCommand(254, 0, 0xC3, true), core::ITF_ERR_NO_DEVICE);
    EXPECT_TRUE(dmx->sent.isEmpty());

    // A master request goes out without asking for a driver.
    options.addOption("dorvane_master", true);
    dmx->replies = {controllerAnswer(0x8D, 0, 0, 0, 0)};
    EXPECT_EQ(send(options, DorvaneInterface::DORVANE_ACTION_READ, &reply), 0);
    delete reply;

    device.dorvaneConnected = true;
    device.setConnectionStatus(Device::DISCONNECTED);
    EXPECT_FALSE(dorvane.isDorvaneDeviceConnected());
}

TEST_F(VandrelDorvane, ModeThroughTheDeviceParameter)
{
    dorvane.setDorvaneState(DorvaneInterface::DORVANE_2_LOGGER);
    QVariant value;
    device.getParameterInterface("dorvane_mode")->getValue(value, core::IParameter::UPDATE_NO);
    EXPECT_EQ(value.toString(), QStringLiteral("dv2_device"));
    EXPECT_EQ(dorvane.getDorvaneState(), DorvaneInterface::DORVANE_2_DEVICE);
    ASSERT_EQ(device.statusSets.size(), 1u);
    EXPECT_EQ(device.statusSets[0].first, Device::STATUS_DORVANE_RESET_TRIGGER);

    const std::pair<DorvaneInterface::DorvaneState, const char*> texts[]
        = {{DorvaneInterface::DORVANE_DISABLED, "off"}, {DorvaneInterface::DORVANE_1_DEVICE, "dv1_device"},
            {DorvaneInterface::DORVANE_1_HOST, "dv1_host"}, {DorvaneInterface::DORVANE_2_HOST, "dv2_host"}};
    device.addCapability(Device::CAP_VD_FIX_DORVANE_HANGUP);
    for (const auto& [state, text] : texts) {
        dorvane.setDorvaneState(state);
        device.getParameterInterface("dorvane_mode")->getValue(value, core::IParameter::UPDATE_NO);
        EXPECT_EQ(value.toString(), QLatin1String(text));
        EXPECT_EQ(dorvane.getDorvaneState(), state);
    }
    EXPECT_EQ(device.statusSets.size(), 1u); // a box that keeps its state needs no reset pulse
    device.getParameterInterface("dorvane_mode")
        ->setValue(QStringLiteral("dv2_log"), core::IParameter::UPDATE_NO);
    EXPECT_EQ(dorvane.getDorvaneState(), DorvaneInterface::DORVANE_DISABLED);
}

// In the Dorvane 2 device role the box takes the parameter into its RAM and
// the value in an internal command.
TEST_F(VandrelDorvane, Dorvane2AccessCommand)
{
    test::LogCapture log;
    dorvane.setDorvaneState(DorvaneInterface::DORVANE_2_DEVICE);
    EXPECT_EQ(dorvane.sendBootloaderModeAccessCommand(254, 0x00, 0xC3, true), core::ITF_ERR_NO_DEVICE);
    EXPECT_TRUE(log.hasWarningContaining("No raw interface \"dorvane_ram\" device for Dorvane 2 writes"));

    auto* ram = new RecordingRam(&device);
    device.addRawParameterInterface(ram, false);
    dmx->replies = {controllerAnswer(0x8E, 0, 0, 0, 0)};
    EXPECT_EQ(dorvane.sendBootloaderModeAccessCommand(254, 0x00, 0xC3, true), 0);
    EXPECT_EQ(ram->writes, QStringList {"1@4=254"});
    ASSERT_EQ(dmx->sent.size(), 1);
    EXPECT_TRUE(dmx->sent[0].startsWith("D0 0E 00 00 5B 0B C3 C3"));
    // Its five attempts are counted above the DMX line, which carries each once.
    EXPECT_EQ(dmx->sentOptions[0].value("retry_count"), 1);

    ram->status = core::ITF_ERR_NO_REPLY;
    EXPECT_EQ(dorvane.sendBootloaderModeAccessCommand(254, 0x00, 0xE6, false), core::ITF_ERR_NO_REPLY);
    EXPECT_TRUE(log.hasWarningContaining("Dorvane parameter not written correctly \"-11\""));
    EXPECT_EQ(dmx->sent.size(), 1);
}

// Other roles send the two internal commands of every Dorvane interface.
TEST_F(VandrelDorvane, Dorvane1AccessCommand)
{
    dorvane.setDorvaneState(DorvaneInterface::DORVANE_1_DEVICE);
    dmx->replies = {controllerAnswer(0x8E, 0, 0, 0, 0), controllerAnswer(0x8E, 0, 0, 0, 0)};
    EXPECT_EQ(dorvane.sendBootloaderModeAccessCommand(254, 0x00, 0xC3, true), 0);
    ASSERT_EQ(dmx->sent.size(), 2);
    EXPECT_TRUE(dmx->sent[0].startsWith("D0 0E 00 00 58 0B C3 C3"));
    EXPECT_TRUE(dmx->sent[1].startsWith("D0 0E 00 00 5B 0B FE 00"));
}

TEST_F(VandrelDorvane, ResetBeforeTheBootloader)
{
    auto* reset = new core::Parameter(
        QStringLiteral("dorvane_reset"), core::ITF_RES_WORD, core::Parameter::PARAM_READ_WRITE);
    device.addParameter(reset);
    dorvane.initializeForEnterBootloader();
    EXPECT_EQ(device.callbackSets, QStringList {"dorvane_reset=1"});
    EXPECT_EQ(dorvane.pauses, std::vector<int> {20});

    device.addCapability(Device::CAP_CORRECT_DV_MASTER_STATE);
    dorvane.initializeForEnterBootloader();
    EXPECT_EQ(device.callbackSets.size(), 1);
    bool entered = false;
    int elapsed = 0;
    EXPECT_EQ(dorvane.sendBootloaderSpam(100, entered, elapsed), core::ITF_ERR_UNSUPPORTED_FEATURE);
}

TEST_F(VandrelDorvane, CapabilitiesFromTheBox)
{
    BoxDevice box(&universe);
    for (auto capability : {Device::CAP_VD_DV_MASTER, Device::CAP_DV2, Device::CAP_VD_DORVANE_ATOMIC_READ,
             Device::CAP_VD_CORVALT_DALI, Device::CAP_VD_FACTORY, Device::CAP_VD_PARAM_GETSET})
        box.addCapability(capability);
    itf::UsbVandrelDorvaneInterface itf(&box, dmx);
    itf.init();
    for (auto capability : {core::ITF_CAP_DV_MASTER, core::ITF_CAP_DV2, core::ITF_CAP_DORVANE_ATOMIC_READ,
             core::ITF_CAP_CORVALT_DALI, core::ITF_CAP_FACTORY, core::ITF_CAP_PARAM_GETSET})
        EXPECT_TRUE(itf.hasCapability(capability)) << capability;
    EXPECT_FALSE(itf.hasCapability(core::ITF_CAP_EMBEDDED_BOOTLOADER_FUNCTIONS));
    // Parameter access through the box needs a box: without one, no device.
    unsigned int value = 0;
    EXPECT_EQ(itf.getParameter(core::ITF_RES_WORD, 0, value), core::ITF_ERR_NO_DEVICE);
}

} // namespace
