#include "sim_vandrel_monitored_fixture.h"

#include "core/itf_error.h"
#include "log_capture.h"

#include <atomic>
#include <thread>

using namespace tarvesk;
using core::Device;

namespace {

constexpr quint8 DaliRequest = 0x0A;

// Whether a DALI gear answered is what the box recorded, however late the
// host's monitor thread runs: the simulated libusb holds the monitor's next
// poll back after a chosen request, while the box records as it always does.
struct HoldBackCase
{
    const char* name;
    int firmware;       // 21: the box reports time-out events; 14: it does not
    bool timeoutEvents; // the device's capabilities for them and for the extended request
    int holdMs;
};

class AnswerVerdict : public test::SimVandrelMonitoredFixture,
                      public ::testing::WithParamInterface<HoldBackCase>
{
protected:
    void SetUp() override
    {
        sim::SimBoxConfig config;
        config.firmwareVersion = quint8(GetParam().firmware);
        std::vector<Device::Capability> capabilities;
        if (GetParam().timeoutEvents) {
            capabilities.push_back(Device::CAP_VD_TIMEOUT_EVENT);
            capabilities.push_back(Device::CAP_VD_CONFIG_DALI_SETTLING_TIME);
        }
        openMonitored(config, capabilities);
        limits.answerGuardMs = 5000;
        dali->setLimits(limits);
    }

    // The next monitor poll after each DALI request waits this long.
    void holdBackAfterDali(int holdMs)
    {
        box->editFaults([holdMs](sim::SimFaults& f) {
            f.setPollHoldBack([holdMs](const QByteArray& request) {
                return quint8(request.at(0)) == DaliRequest ? holdMs : 0;
            });
        });
    }

    itf::UsbVandrelDaliInterface::Limits limits;
};

TEST_P(AnswerVerdict, AnsweredQueryAndSilentAddress)
{
    const HoldBackCase& c = GetParam();
    addGear(3);
    holdBackAfterDali(c.holdMs);

    unsigned char answer = 0;
    EXPECT_EQ(dali->queryCommand(0x07, 0x91, &answer), 0);
    EXPECT_EQ(answer, 0xFF);

    const int pollsBefore = box->pollCount();
    EXPECT_EQ(dali->queryCommand(0x09, 0x91, &answer), core::ITF_ERR_NO_REPLY);
    const int polls = box->pollCount() - pollsBefore;
    if (c.timeoutEvents) {
        // The verdict is the time-out event the box recorded: it has been fetched.
        EXPECT_FALSE(box->hasStreamData());
    } else {
        // One pass brought the echo; then a full window of passes brought nothing.
        const int quietPasses = (limits.answerWindowMs + itf::UsbVandrelDataMonitor::PollIntervalMs - 1)
            / itf::UsbVandrelDataMonitor::PollIntervalMs;
        EXPECT_GE(polls, 1 + quietPasses);
    }
}

INSTANTIATE_TEST_SUITE_P(HeldBack, AnswerVerdict,
    ::testing::Values(HoldBackCase {"events_0", 21, true, 0}, HoldBackCase {"events_70", 21, true, 70},
        HoldBackCase {"events_300", 21, true, 300}, HoldBackCase {"events_1000", 21, true, 1000},
        HoldBackCase {"quiet_0", 14, false, 0}, HoldBackCase {"quiet_70", 14, false, 70},
        HoldBackCase {"quiet_300", 14, false, 300}, HoldBackCase {"quiet_1000", 14, false, 1000}),
    [](const auto& info) { return std::string(info.param.name); });

class GivenUpExchange : public test::SimVandrelMonitoredFixture
{
};

// READ MEMORY LOCATION moves DTR0 on by itself, so two reads send the same
// frame. When the box stops reporting during the first, its echo and answer
// come late, and the second read must not take them for its own.
TEST_F(GivenUpExchange, ALateAnswerIsNotTakenForTheNextIdenticalFrame)
{
    sim::SimBoxConfig config;
    config.firmwareVersion = 21;
    openMonitored(config, {Device::CAP_VD_TIMEOUT_EVENT, Device::CAP_VD_CONFIG_DALI_SETTLING_TIME});
    auto gear = addGear(0);
    itf::UsbVandrelDaliInterface::Limits limits;
    limits.answerGuardMs = 100;
    dali->setLimits(limits);
    const std::optional<quint8> location3 = gear->memory().read(0, 3);
    const std::optional<quint8> location4 = gear->memory().read(0, 4);
    ASSERT_TRUE(location3 && location4);
    ASSERT_NE(*location3, *location4);

    std::atomic<int> reads {0};
    box->editFaults([&reads](sim::SimFaults& f) {
        f.setPollHoldBack([&reads](const QByteArray& request) {
            // The extended request carries the frame from byte 4 on.
            const bool read = quint8(request.at(0)) == DaliRequest && quint8(request.at(5)) == 0xC5;
            return read && reads++ == 0 ? 600 : 0;
        });
    });
    test::LogCapture log;
    ASSERT_EQ(dali->sendCommand(0xC3, 0x00), 0); // DTR1: bank 0
    ASSERT_EQ(dali->sendCommand(0xA3, 0x03), 0); // DTR0: location 3
    unsigned char answer = 0;
    // The box reports nothing within the guard: an interface failure, never "no answer".
    EXPECT_EQ(dali->queryCommand(0x01, 0xC5, &answer), core::ITF_ERR_TIMEOUT);
    EXPECT_GT(log.count("reported nothing on a DALI query"), 0);
    limits.answerGuardMs = 5000;
    dali->setLimits(limits);
    EXPECT_EQ(dali->queryCommand(0x01, 0xC5, &answer), 0);
    EXPECT_EQ(answer, *location4);
}

} // namespace

namespace {

// A box pulled out while a query waits: the monitor's next poll finds it gone,
// and the query ends with "no device" then, not at its liveness guard ("Timeout").
TEST_F(GivenUpExchange, AQueryOnABoxPulledOutEndsWithNoDevice)
{
    sim::SimBoxConfig config;
    config.firmwareVersion = 21;
    openMonitored(config, {Device::CAP_VD_TIMEOUT_EVENT, Device::CAP_VD_CONFIG_DALI_SETTLING_TIME});
    addGear(3);
    std::atomic<bool> sent {false};
    box->editFaults([&sent](sim::SimFaults& f) {
        f.setPollHoldBack([&sent](const QByteArray& request) {
            if (quint8(request.at(0)) != DaliRequest)
                return 0;
            sent = true;
            return 200;
        });
    });
    std::thread puller([this, &sent] {
        if (test::waitUntil([&sent] { return sent.load(); }))
            box->unplug();
    });
    unsigned char answer = 0;
    EXPECT_EQ(dali->queryCommand(0x07, 0x91, &answer), core::ITF_ERR_NO_DEVICE);
    puller.join();
    // A later query fails at its request.
    EXPECT_EQ(dali->queryCommand(0x07, 0x91, &answer), core::ITF_ERR_NO_DEVICE);
}

} // namespace
