#include "bootloader_test_support.h"

#include "interfaces/bootloader/bootloader_state_factory.h"
#include "interfaces/bootloader/check_ready_bootloader_state.h"
#include "interfaces/bootloader/make_ready_bootloader_state.h"
#include "interfaces/bootloader/mode_active_bootloader_state.h"
#include "interfaces/bootloader/start_bootloader_state.h"
#include "interfaces/bootloader/usb_vd_bootloader_state_factory.h"
#include "interfaces/bootloader/verify_bootloader_state.h"
#include "plain_device.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace tarvesk;
using itf::BootloaderState;
using itf::BootloaderStateFactory;
using itf::BootloaderStateMachine;

namespace {

// What each hook answers, in order (the last answer repeats), and how often it was asked.
struct Script
{
    bool ready = true;
    std::vector<bool> makeReady, start, verify;
    int makeReadyCalls = 0, startCalls = 0, verifyCalls = 0;
    // Runs inside the start hook (a start that proves the bootloader at once).
    std::function<void()> duringStart;

    static bool next(const std::vector<bool>& answers, int& calls)
    {
        const int i = calls++;
        if (answers.empty())
            return false;
        return answers[size_t(std::min<int>(i, int(answers.size()) - 1))];
    }
};

class ScriptedCheckReady : public itf::CheckReadyBootloaderState
{
public:
    ScriptedCheckReady(BootloaderStateMachine* m, Script& s)
        : CheckReadyBootloaderState(m)
        , _s(s)
    { }
    bool checkReady() const override { return _s.ready; }
    Script& _s;
};

class ScriptedMakeReady : public itf::MakeReadyBootloaderState
{
public:
    ScriptedMakeReady(BootloaderStateMachine* m, Script& s)
        : MakeReadyBootloaderState(m)
        , _s(s)
    { }
    bool makeReady() override { return Script::next(_s.makeReady, _s.makeReadyCalls); }
    Script& _s;
};

class ScriptedStart : public itf::StartBootloaderState
{
public:
    ScriptedStart(BootloaderStateMachine* m, Script& s)
        : StartBootloaderState(m)
        , _s(s)
    { }
    bool startBootloader(qint64& startTime) override
    {
        if (_s.duringStart)
            _s.duringStart();
        startTime = 77;
        return Script::next(_s.start, _s.startCalls);
    }
    Script& _s;
};

class ScriptedVerify : public itf::VerifyBootloaderState
{
public:
    ScriptedVerify(BootloaderStateMachine* m, Script& s, qint64 startTime)
        : VerifyBootloaderState(m, startTime)
        , _s(s)
    { }
    bool verifyBootloader() override
    {
        EXPECT_EQ(getStartTime(), 77);
        return Script::next(_s.verify, _s.verifyCalls);
    }
    Script& _s;
};

class ScriptedFactory : public BootloaderStateFactory
{
public:
    explicit ScriptedFactory(Script& s)
        : _s(s)
    { }
    BootloaderState* createCheckReadyState() override
    {
        return new ScriptedCheckReady(getStateMachine(), _s);
    }
    BootloaderState* createMakeReadyState() override { return new ScriptedMakeReady(getStateMachine(), _s); }
    BootloaderState* createStartBootloadersState() override
    {
        return new ScriptedStart(getStateMachine(), _s);
    }
    BootloaderState* createVerifyState(qint64 startTime) override
    {
        return new ScriptedVerify(getStateMachine(), _s, startTime);
    }
    Script& _s;
};

class StateMachine : public ::testing::Test
{
protected:
    void build()
    {
        machine = std::make_unique<BootloaderStateMachine>(new ScriptedFactory(script));
        machine->setClock(&clock);
        test::recordMachine(*machine, events);
    }
    bool active() const { return machine->getState()->inBootloaderMode(); }

    Script script;
    test::ManualBootloaderClock clock;
    std::unique_ptr<BootloaderStateMachine> machine;
    QStringList events;
};

} // namespace

// Every entry runs inside startBootloader: the hooks are asked up to their
// try counts (make ready 4, start 5, verify 4) and the signals tell the path.
TEST_F(StateMachine, EntrySequencesAndTryCounts)
{
    struct Case
    {
        const char* name;
        bool ready;
        std::vector<bool> makeReady, start, verify;
        QStringList events;
        int makeReadyCalls, startCalls, verifyCalls;
    };
    const QStringList success
        = {"CHECK_READY", "START_BOOTLOADER", "VERIFY_BOOTLOADER", "MODE_ACTIVE", "succeeded"};
    const Case cases[] = {
        {"ready, started and verified at once", true, {}, {true}, {true}, success, 0, 1, 1},
        {"made ready on the third try", false, {false, false, true}, {true}, {true},
            {"CHECK_READY", "MAKE_READY", "START_BOOTLOADER", "VERIFY_BOOTLOADER", "MODE_ACTIVE",
                "succeeded"},
            3, 1, 1},
        {"never made ready: no start", false, {false}, {true}, {true},
            {"CHECK_READY", "MAKE_READY", "MODE_INACTIVE", "failed"}, 4, 0, 0},
        {"start taken on the fifth try", true, {}, {false, false, false, false, true}, {true}, success, 0, 5,
            1},
        {"start never taken", true, {}, {false}, {true},
            {"CHECK_READY", "START_BOOTLOADER", "MODE_INACTIVE", "failed"}, 0, 5, 0},
        {"verified on the fourth try", true, {}, {true}, {false, false, false, true}, success, 0, 1, 4},
        {"never verified", true, {}, {true}, {false},
            {"CHECK_READY", "START_BOOTLOADER", "VERIFY_BOOTLOADER", "MODE_INACTIVE", "failed"}, 0, 1, 4},
    };
    for (const Case& c : cases) {
        script = Script();
        script.ready = c.ready;
        script.makeReady = c.makeReady;
        script.start = c.start;
        script.verify = c.verify;
        events.clear();
        build();
        EXPECT_TRUE(events.isEmpty()) << c.name << ": nothing is signalled at construction";
        EXPECT_EQ(machine->getState()->getState(), BootloaderState::STATE_MODE_INACTIVE) << c.name;
        machine->startBootloader();
        EXPECT_EQ(events, c.events) << c.name;
        EXPECT_EQ(script.makeReadyCalls, c.makeReadyCalls) << c.name;
        EXPECT_EQ(script.startCalls, c.startCalls) << c.name;
        EXPECT_EQ(script.verifyCalls, c.verifyCalls) << c.name;
    }
}

// A start that proves the bootloader at once (the box's start function)
// re-enters the machine from inside the start state's trigger: the start
// state must outlive that nested transition (ASan would catch the use).
TEST_F(StateMachine, TransitionInsideATriggerKeepsTheRunningStateAlive)
{
    script.start = {true};
    script.verify = {true};
    build();
    script.duringStart = [this] { machine->bootloaderModeVerified(400, 3000); };
    machine->startBootloader();
    EXPECT_EQ(events,
        (QStringList {"CHECK_READY", "START_BOOTLOADER", "MODE_ACTIVE", "succeeded", "VERIFY_BOOTLOADER",
            "MODE_ACTIVE", "succeeded"}));
    EXPECT_TRUE(active());
}

TEST_F(StateMachine, ActiveModeTimesOutAndIsRearmedByVerifiedExchanges)
{
    script.start = {true};
    script.verify = {true};
    build();
    machine->startBootloader();
    ASSERT_TRUE(active());
    events.clear();

    // Still active: nothing is sent, nothing signalled.
    clock.now += 400;
    machine->startBootloader();
    EXPECT_TRUE(events.isEmpty());
    EXPECT_EQ(script.startCalls, 1);

    // Each verified exchange re-arms the mode from its own moment.
    machine->bootloaderModeVerified(400, 0);
    clock.now += 390;
    EXPECT_TRUE(active());

    // Just past the time the answer waits out the overrun, then says no.
    clock.now += 30;
    clock.sleeps.clear();
    EXPECT_FALSE(active());
    EXPECT_EQ(clock.sleeps, std::vector<int> {20});
    // Long past it answers at once.
    clock.now += 600;
    clock.sleeps.clear();
    EXPECT_FALSE(active());
    EXPECT_TRUE(clock.sleeps.empty());

    // A lapsed mode is not revived by a plain verification; the next start runs the entry again.
    machine->bootloaderModeVerified(400, 0);
    EXPECT_TRUE(events.isEmpty());
    machine->startBootloader();
    EXPECT_EQ(script.startCalls, 2);
}

TEST_F(StateMachine, VerificationWithExtraTimeStartsTheActiveModeAndStopEndsIt)
{
    build();
    machine->bootloaderModeVerified(400, 0);
    EXPECT_TRUE(events.isEmpty());
    EXPECT_EQ(machine->getState()->getState(), BootloaderState::STATE_MODE_INACTIVE);

    machine->bootloaderModeVerified(400, 2000);
    EXPECT_EQ(events, (QStringList {"MODE_ACTIVE", "succeeded"}));
    clock.now += 2400;
    EXPECT_TRUE(active());
    clock.now += 1;
    EXPECT_FALSE(active());

    machine->bootloaderModeVerified(400, 2000);
    events.clear();
    machine->bootloaderModeStopped();
    EXPECT_EQ(events, (QStringList {"MODE_INACTIVE", "failed"}));
    EXPECT_FALSE(active());
}

// The states of a Vandrel box's bus interface: the Dorvane options ask the
// device for its slave role and a device that refuses it four times gets no
// start; the DMX interface's (no options) start through the mode control (3 s)
// and verify with a row read of the bootloader.
TEST(UsbVdStateFactory, DorvaneSlaveRoleAndStartThroughTheModeControl)
{
    class RoleDevice : public test::PlainDevice
    {
    public:
        using test::PlainDevice::PlainDevice;
        bool isStatusTrue(Status status) override { return status == STATUS_DORVANE_SLAVE_ENABLED && slave; }
        int setStatus(Status status, int value) override
        {
            if (status != STATUS_DORVANE_SLAVE_ENABLED)
                return core::ITF_ERR_UNSUPPORTED_FEATURE;
            ++roleRequests;
            slave = accepts && value == 1;
            return accepts ? core::ITF_OK : core::ITF_ERR_NO_REPLY;
        }
        bool slave = false;
        bool accepts = false;
        int roleRequests = 0;
    };
    RoleDevice device(nullptr);
    test::FakeModeControl control;
    test::FakeBootloader bootloader;
    bootloader.checkResults = {false, true};
    const QList<BootloaderStateFactory::OPTIONS> dorvane
        = {BootloaderStateFactory::USE_VD_CHECK_READY, BootloaderStateFactory::USE_VD_MAKE_READY};

    BootloaderStateMachine refused(
        new itf::UsbVdBootloaderStateFactory(&device, &control, &bootloader, dorvane));
    refused.startBootloader();
    EXPECT_EQ(device.roleRequests, 4);
    EXPECT_TRUE(control.timeouts.empty());
    EXPECT_EQ(refused.getState()->getState(), BootloaderState::STATE_MODE_INACTIVE);

    device.accepts = true;
    BootloaderStateMachine dorvaneMachine(
        new itf::UsbVdBootloaderStateFactory(&device, &control, &bootloader, dorvane));
    dorvaneMachine.startBootloader();
    EXPECT_EQ(device.roleRequests, 5);
    EXPECT_EQ(control.timeouts, std::vector<int> {3000});
    EXPECT_EQ(bootloader.checks, 2);
    EXPECT_EQ(dorvaneMachine.getState()->getState(), BootloaderState::STATE_MODE_ACTIVE);
    EXPECT_EQ(device.getPacketLog()->size(), 3) << "start, verify, verify";

    // Without the options the role is never asked for; a start without entry is a failed try.
    device.slave = false;
    control.enters = false;
    BootloaderStateMachine dmxMachine(
        new itf::UsbVdBootloaderStateFactory(&device, &control, &bootloader, {}));
    dmxMachine.startBootloader();
    EXPECT_EQ(device.roleRequests, 5);
    EXPECT_EQ(control.timeouts.size(), 1u + 5u);
    EXPECT_EQ(dmxMachine.getState()->getState(), BootloaderState::STATE_MODE_INACTIVE);
}
