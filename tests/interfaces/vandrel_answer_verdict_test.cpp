#include "sim_vandrel_monitored_fixture.h"

#include "core/itf_error.h"
#include "dali/sim_dali_master.h"
#include "interfaces/vandrel_answer_wait.h"
#include "log_capture.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

using namespace tarvesk;
using core::Device;

namespace {

constexpr quint8 DaliRequest = 0x0A;

// The two kinds of monitored box: one that reports a time-out event for an
// awaited answer that did not come, one that says nothing then.
struct BoxKind
{
    const char* name;
    int firmware;
    bool timeoutEvents;
};

const BoxKind kEventBox {"events", 21, true};
const BoxKind kQuietBox {"quiet", 15, false};

class MonitoredBox : public test::SimVandrelMonitoredFixture
{
protected:
    void openBox(const BoxKind& kind)
    {
        sim::SimBoxConfig config;
        config.firmwareVersion = quint8(kind.firmware);
        std::vector<Device::Capability> capabilities;
        if (kind.timeoutEvents) {
            capabilities.push_back(Device::CAP_VD_TIMEOUT_EVENT);
            capabilities.push_back(Device::CAP_VD_CONFIG_DALI_SETTLING_TIME);
        }
        openMonitored(config, capabilities);
        limits.answerWindowMs = 60;
        dali->setLimits(limits);
    }
    // The monitor's next pass after each DALI request waits this long, outside
    // every lock: the request thread runs ahead of it.
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

// Whether a DALI gear answered is what the box recorded, however late the
// host's monitor thread runs: the simulated libusb holds the monitor's next
// pass back after a chosen request, while the box records as it always does.
struct HoldBackCase
{
    const char* name;
    BoxKind box;
    int holdMs;
};

class AnswerVerdict : public MonitoredBox, public ::testing::WithParamInterface<HoldBackCase>
{
protected:
    void SetUp() override
    {
        openBox(GetParam().box);
        limits.answerGuardMs = 5000;
        dali->setLimits(limits);
    }
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
    if (c.box.timeoutEvents) {
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
    ::testing::Values(HoldBackCase {"events_0", kEventBox, 0}, HoldBackCase {"events_70", kEventBox, 70},
        HoldBackCase {"events_300", kEventBox, 300}, HoldBackCase {"events_1000", kEventBox, 1000},
        HoldBackCase {"quiet_0", kQuietBox, 0}, HoldBackCase {"quiet_70", kQuietBox, 70},
        HoldBackCase {"quiet_300", kQuietBox, 300}, HoldBackCase {"quiet_1000", kQuietBox, 1000}),
    [](const auto& info) { return std::string(info.param.name); });

// A frame sent without awaiting still owes its echo, and a query its answer:
// an awaited frame after it takes only its own records, however far the
// monitor lags behind the request thread.
struct UnawaitedCase
{
    const char* name;
    BoxKind box;
    bool dapcBetween; // QUERY ACTUAL LEVEL, DAPC, QUERY ACTUAL LEVEL; else READ MEMORY LOCATION twice
    int holdMs;
};

class UnawaitedThenAwaited : public MonitoredBox, public ::testing::WithParamInterface<UnawaitedCase>
{
};

TEST_P(UnawaitedThenAwaited, TheAwaitedFrameGetsItsOwnAnswer)
{
    const UnawaitedCase& c = GetParam();
    openBox(c.box);
    auto gear = addGear(3);
    holdBackAfterDali(c.holdMs);
    constexpr int Rounds = 20;
    for (int round = 0; round < Rounds; ++round) {
        unsigned char answer = 0;
        if (c.dapcBetween) {
            const quint8 level = quint8(10 + round);
            ASSERT_EQ(dali->sendCommand(0x07, 0xA0), 0);  // QUERY ACTUAL LEVEL, not awaited
            ASSERT_EQ(dali->sendCommand(0x06, level), 0); // DAPC
            ASSERT_EQ(dali->queryCommand(0x07, 0xA0, &answer), 0);
            EXPECT_EQ(answer, level) << "round " << round;
        } else {
            const quint8 location = quint8(3 + round % 8);
            const std::optional<quint8> expected = gear->memory().read(0, location + 1);
            ASSERT_TRUE(expected);
            ASSERT_EQ(dali->sendCommand(0xC3, 0x00), 0);     // DTR1: bank 0
            ASSERT_EQ(dali->sendCommand(0xA3, location), 0); // DTR0
            ASSERT_EQ(dali->sendCommand(0x07, 0xC5), 0);     // READ MEMORY LOCATION, not awaited
            ASSERT_EQ(dali->queryCommand(0x07, 0xC5, &answer), 0);
            EXPECT_EQ(answer, *expected) << "round " << round;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(OwedRecords, UnawaitedThenAwaited,
    ::testing::Values(UnawaitedCase {"events_read", kEventBox, false, 0},
        UnawaitedCase {"events_read_late_monitor", kEventBox, false, 40},
        UnawaitedCase {"events_level", kEventBox, true, 0},
        UnawaitedCase {"events_level_late_monitor", kEventBox, true, 40},
        UnawaitedCase {"quiet_read", kQuietBox, false, 0},
        UnawaitedCase {"quiet_read_late_monitor", kQuietBox, false, 40},
        UnawaitedCase {"quiet_level", kQuietBox, true, 0},
        UnawaitedCase {"quiet_level_late_monitor", kQuietBox, true, 40}),
    [](const auto& info) { return std::string(info.param.name); });

class BoxKinds : public MonitoredBox, public ::testing::WithParamInterface<BoxKind>
{
};

// A host stalled longer than the guard: the monitor's next pass comes 3.5 s
// after the request, and the answer the box recorded is still the verdict.
TEST_P(BoxKinds, AMonitorHeldBackBeyondTheGuardStillBringsTheAnswer)
{
    openBox(GetParam());
    addGear(3);
    ASSERT_EQ(limits.answerGuardMs, itf::VandrelAnswerWait::GuardMs);
    holdBackAfterDali(itf::VandrelAnswerWait::GuardMs + 500);
    test::LogCapture log;
    unsigned char answer = 0;
    EXPECT_EQ(dali->queryCommand(0x07, 0x91, &answer), 0); // QUERY CONTROL GEAR PRESENT
    EXPECT_EQ(answer, 0xFF);
    EXPECT_EQ(log.count("reported nothing"), 0);
}

// Another master puts a forward frame on the bus every 20 ms. On a box that
// reports no time-out events, those records are not this exchange's: they
// neither end its quiet window nor restart it, so a silent address is "no
// answer", never the box "stopped reporting".
TEST_P(BoxKinds, AnotherMastersFramesLeaveTheVerdictAlone)
{
    openBox(GetParam());
    addGear(3);
    auto master
        = std::make_shared<sim::SimDaliMaster>(QByteArray("\x9F\x05", 2), std::chrono::milliseconds(20));
    box->addBusModel(master);
    limits.answerGuardMs = 60000; // "stopped reporting" would hang the test, not pass it
    dali->setLimits(limits);
    unsigned char answer = 0;
    for (int i = 0; i < 3; ++i) {
        const int heardBefore = master->framesSent();
        EXPECT_EQ(dali->queryCommand(0x13, 0x91, &answer), core::ITF_ERR_NO_REPLY); // nobody at 9
        EXPECT_EQ(dali->queryCommand(0x07, 0x91, &answer), 0);
        EXPECT_EQ(answer, 0xFF);
        // The master went on meanwhile (polls bring its frames).
        EXPECT_TRUE(test::waitUntil([&] { return master->framesSent() > heardBefore; }));
    }
}

// The records of a query given up at the guard (the box reported them late)
// come while no exchange waits: they are taken on its behalf, and the next
// identical frame gets its own answer (location 4), not the late one (3).
TEST_P(BoxKinds, RecordsOfAGivenUpQueryArrivingLaterReachNobody)
{
    if (!GetParam().timeoutEvents)
        GTEST_SKIP() << "a box without time-out events closes the window by its quiet passes";
    openBox(GetParam());
    auto gear = addGear(0);
    limits.answerGuardMs = 100;
    dali->setLimits(limits);
    const std::optional<quint8> location4 = gear->memory().read(0, 4);
    ASSERT_TRUE(location4);
    ASSERT_NE(gear->memory().read(0, 3), location4);

    ASSERT_EQ(dali->sendCommand(0xC3, 0x00), 0); // DTR1: bank 0
    ASSERT_EQ(dali->sendCommand(0xA3, 0x03), 0); // DTR0: location 3
    ASSERT_TRUE(test::waitUntil([this] { return !box->hasStreamData(); }));
    // The read's records reach the stream only after 100 more polls.
    box->editFaults([](sim::SimFaults& f) { f.delayRecords(100); });
    test::LogCapture log;
    unsigned char answer = 0;
    EXPECT_EQ(dali->queryCommand(0x01, 0xC5, &answer), core::ITF_ERR_TIMEOUT);
    EXPECT_GT(log.count("reported nothing on a DALI query"), 0);
    box->editFaults([](sim::SimFaults& f) { f.delayRecords(0); });
    // The late echo and answer come while nothing is installed.
    ASSERT_TRUE(test::waitUntil([this] { return !box->hasStreamData(); }));
    EXPECT_EQ(dali->queryCommand(0x01, 0xC5, &answer), 0);
    EXPECT_EQ(answer, *location4);
}

// A box whose polls fail for ever: the sender ends at once with the poll's
// status (never at its guard), polling backs off, and the log says so once
// when it starts and once when it ends, not once per poll.
TEST_P(BoxKinds, PollsThatKeepFailingBackOffAndEndTheWaitWithTheirStatus)
{
    openBox(GetParam());
    addGear(3);
    limits.answerGuardMs = 60000;
    dali->setLimits(limits);
    test::LogCapture log;
    box->editFaults([](sim::SimFaults& f) { f.failPolls(LIBUSB_ERROR_IO, sim::SimFaults::Forever); });
    unsigned char answer = 0;
    EXPECT_EQ(dali->queryCommand(0x07, 0x91, &answer), core::ITF_ERR_IO);
    ASSERT_TRUE(test::waitUntil([this] { return box->failedPollCount() >= 12; }));
    EXPECT_EQ(monitor->currentIntervalMs(), itf::UsbVandrelDataMonitor::MaxBackOffMs);
    EXPECT_TRUE(monitor->isPolling());
    EXPECT_EQ(log.count("Libusb: IO"), 1);
    EXPECT_EQ(log.count("USB monitor polls fail"), 1);

    box->editFaults([](sim::SimFaults& f) { f.clear(); });
    ASSERT_TRUE(test::waitUntil([this] { return monitor->currentIntervalMs() == 5; }));
    EXPECT_EQ(log.count("USB monitor polls work again"), 1);
    EXPECT_EQ(log.count("Libusb: IO"), 1);
    EXPECT_EQ(dali->queryCommand(0x07, 0x91, &answer), 0);
}

INSTANTIATE_TEST_SUITE_P(Boxes, BoxKinds, ::testing::Values(kEventBox, kQuietBox),
    [](const auto& info) { return std::string(info.param.name); });

class GivenUpExchange : public test::SimVandrelMonitoredFixture
{
};

// The device closes its handle while the monitor's poll is stuck in a slow
// transfer for longer than the stop waits: the close waits for the transfer to
// end, and nothing ever runs on the closed handle.
TEST_F(GivenUpExchange, AHandleClosesOnlyAfterTheMonitorsTransferOnItEnded)
{
    sim::SimBoxConfig config;
    config.firmwareVersion = 21;
    openMonitored(config, {Device::CAP_VD_TIMEOUT_EVENT});
    constexpr int SlowMs = 600;
    box->editFaults([](sim::SimFaults& f) { f.slowNext(sim::SimCall::BulkIn, SlowMs); });
    const auto plannedDelays = [this] {
        int count = 0;
        box->editFaults([&count](sim::SimFaults& f) { count = f.plannedDelayCount(sim::SimCall::BulkIn); });
        return count;
    };
    ASSERT_TRUE(test::waitUntil([&] { return plannedDelays() == 0; })); // a poll is in the slow read
    EXPECT_FALSE(monitor->stopAndWait(10));
    // What the device does on disconnect: forget the handle, then close it.
    libusb_device_handle* closing = handle.exchange(nullptr);
    transport->releaseClaim(closing);
    transport->closeDevice(closing);
    device->handle = nullptr;
    EXPECT_TRUE(test::waitUntil([this] { return monitor->stopAndWait(10); }));
    EXPECT_TRUE(libUsb->violations().isEmpty()) << libUsb->violations().join('\n').toStdString();
    EXPECT_FALSE(monitor->isPolling());
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
