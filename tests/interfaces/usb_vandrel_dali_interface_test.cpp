#include "sim_vandrel_dali_fixture.h"

#include "core/itf_error.h"
#include "log_capture.h"
#include "protocol/dali/dali_command_table.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/options.h"
#include "protocol/usb/vandrel_request.h"

#include "wait_until.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using namespace tarvesk;
using core::Device;
using test::SimVandrelDaliFixture;

namespace {

sim::SimBoxConfig firmware(int version)
{
    sim::SimBoxConfig config;
    config.firmwareVersion = quint8(version);
    return config;
}

class VandrelDali : public SimVandrelDaliFixture
{
};

// Older interfaces: the answer is polled with 0x0C and fetched with 0x0B.
TEST_F(VandrelDali, OlderInterfaceAnswersThroughStatusPolling)
{
    open(firmware(12), {});
    auto gear = addGear(3);
    device->monitor = [](proto::PacketMutex*) {};
    unsigned char answer = 0;
    EXPECT_EQ(dali->queryCommand(0x07, 0xA0, &answer), 0);
    EXPECT_EQ(answer, 254);
    EXPECT_EQ(dali->queryCommand(0x09, 0xA0, &answer), core::ITF_ERR_NO_REPLY); // nobody at 4
    EXPECT_EQ(dali->setParameterWithVerify(0x07, 0x2A, 200, 0xA1, 0), 0);
    EXPECT_EQ(gear->actualLevel(), 200);
    EXPECT_EQ(device->daliStatusSets, 1);
    ASSERT_FALSE(device->restarts.empty());
    EXPECT_EQ(device->restarts.front(), 5);

    addGear(3); // two gear at one address: the box reports nothing to fetch
    EXPECT_EQ(dali->queryCommand(0x07, 0xA0, &answer), core::ITF_ERR_NO_REPLY);
}

TEST_F(VandrelDali, RefusalsOfTheInterface)
{
    open(firmware(12), {});
    addGear(0);

    daliBus->setSupply(false);
    box->clearCallLog();
    EXPECT_EQ(dali->sendCommand(0x01, 0x05), core::ITF_ERR_TRANSFER);
    EXPECT_EQ(box->callCount(sim::SimCall::BulkOut), 1);
    daliBus->setSupply(true);

    box->editFaults([](sim::SimFaults& f) { f.unsupported(0x0A); });
    EXPECT_EQ(dali->sendCommand(0x01, 0x05), core::ITF_ERR_UNSUPPORTED_FEATURE);

    // Busy three times, then taken.
    box->editFaults([](sim::SimFaults& f) { f.notReady(0x0A, 2, 3); });
    box->clearCallLog();
    EXPECT_EQ(dali->sendCommand(0x01, 0x05), 0);
    EXPECT_EQ(box->callCount(sim::SimCall::BulkOut), 4);

    // Busy for ever: the resending ends at its deadline.
    box->editFaults([](sim::SimFaults& f) { f.notReady(0x0A, 2, sim::SimFaults::Forever); });
    EXPECT_EQ(dali->sendCommand(0x01, 0x05), core::ITF_ERR_BUSY);
    box->editFaults([](sim::SimFaults& f) { f.clear(); });

    // A frame the interface cannot send: nothing goes out, the lock stays free.
    proto::DaliPacket threeBytes(reinterpret_cast<const unsigned char*>("\x01\x02\x03"), 3);
    proto::DaliPacket* reply = nullptr;
    proto::Options options;
    box->clearCallLog();
    EXPECT_EQ(dali->sendDali(&threeBytes, &reply, &options), core::ITF_ERR_UNSUPPORTED_FEATURE);
    EXPECT_EQ(box->callCount(sim::SimCall::BulkOut), 0);
    auto free = std::async(std::launch::async, [&] {
        transport->lock();
        transport->unlock();
    });
    EXPECT_EQ(free.wait_for(std::chrono::seconds(5)), std::future_status::ready);

    device->setConnectionStatus(Device::DISCONNECTED);
    EXPECT_EQ(dali->sendCommand(0x01, 0x05), core::ITF_ERR_NO_DEVICE);
    EXPECT_EQ(box->callCount(sim::SimCall::BulkOut), 0);
}

// The request form follows the interface: one that can time the bus sends a
// 4-byte frame in the extended form, where the simple form refuses it unsent.
TEST_F(VandrelDali, TimingInterfaceSendsLongerFrames)
{
    open(firmware(21), {Device::CAP_VD_CONFIG_DALI_SETTLING_TIME});
    proto::DaliPacket fourBytes(reinterpret_cast<const unsigned char*>("\x01\x02\x03\x04"), 4);
    proto::DaliPacket* reply = nullptr;
    proto::Options options;
    box->clearCallLog();
    EXPECT_EQ(dali->sendDali(&fourBytes, &reply, &options), 0);
    EXPECT_EQ(box->callCount(sim::SimCall::BulkOut), 1);
    EXPECT_EQ(reply, nullptr);
}

TEST_F(VandrelDali, StatusThatNeverSettlesEndsAtItsDeadline)
{
    test::LogCapture log;
    open(firmware(12), {});
    addGear(0);
    box->editFaults([](sim::SimFaults& f) { f.notReady(0x0C, 0, sim::SimFaults::Forever); });
    unsigned char answer = 0;
    EXPECT_EQ(dali->queryCommand(0x01, 0xA0, &answer), core::ITF_ERR_TIMEOUT);
    EXPECT_GT(log.count("DALI get status error 172"), 0); // 0x8C with the not-ready bit
}

// Newer interfaces: the backward frame comes through the monitor's records.
// A stand-in monitor hands the records a case lists to the interface's record
// sink as soon as the request went out, then reports a drained pass every few
// milliseconds, as a healthy monitor whose box has nothing more would.
// A case may first send a frame without awaiting, whose records the list then
// holds too (the monitor ran late): the box took it at once, or called itself
// busy and then took it while the read of its reply failed. The first
// `earlierRecords` of them come before the query goes out (an awaited frame
// goes out only once no identical frame of ours is owed).
struct RecordCase
{
    const char* name;
    std::vector<QByteArray> records; // "~" a frame error, "?" a time-out event
    int status;
    int answer;
    QByteArray earlier = {};
    bool busyThenFailedRead = false;
    size_t earlierRecords = 0;
};

class VandrelDaliRecords : public SimVandrelDaliFixture, public ::testing::WithParamInterface<RecordCase>
{
};

TEST_P(VandrelDaliRecords, Answer)
{
    open(firmware(21),
        {Device::CAP_VD_LARGE_PACKETS, Device::CAP_VD_TIMEOUT_EVENT,
            Device::CAP_VD_CONFIG_DALI_SETTLING_TIME});
    // Without a record that ends the exchange, the guard does, once passes that
    // began after the window drained the box: an interface failure.
    itf::UsbVandrelDaliInterface::Limits limits;
    limits.answerGuardMs = 50;
    dali->setLimits(limits);
    ASSERT_EQ(device->sinks.size(), 1u);
    itf::IVandrelRecordSink* sink = device->sinks.front();
    int transfersBefore = 0;
    if (!GetParam().earlier.isEmpty()) {
        if (GetParam().busyThenFailedRead) {
            box->editFaults([](sim::SimFaults& f) {
                f.notReady(0x0A, 2, 1);
                f.failNext(sim::SimCall::BulkIn, 0, 1); // the busy reply arrives
                f.failNext(sim::SimCall::BulkIn, LIBUSB_ERROR_TIMEOUT, 1);
            });
        }
        transfersBefore = GetParam().busyThenFailedRead ? 2 : 1;
        EXPECT_EQ(dali->sendCommand(quint8(GetParam().earlier[0]), quint8(GetParam().earlier[1])),
            GetParam().busyThenFailedRead ? core::ITF_ERR_TIMEOUT : 0);
        ASSERT_EQ(box->callCount(sim::SimCall::BulkIn), transfersBefore);
    }
    std::atomic<bool> done {false};
    std::thread monitor([&] {
        sink->recordsFrom(~quint64(0)); // a poll after every transfer so far
        quint8 index = 0;
        for (const QByteArray& record : GetParam().records) {
            if (index == GetParam().earlierRecords
                && !test::waitUntil([&] { return box->callCount(sim::SimCall::BulkIn) > transfersBefore; }))
                return;
            proto::DaliPacket packet;
            packet.setIndex(index++);
            if (record == "~")
                packet.setFlags(proto::PACKET_FLAG_FRAME_ERROR);
            else if (record == "?")
                packet.setFlags(proto::PACKET_FLAG_TIMEOUT_EVENT);
            else
                packet.append(record);
            EXPECT_TRUE(sink->takeRecord(packet));
        }
        while (!done) {
            sink->passCompleted(itf::IVandrelRecordSink::Clock::now());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    unsigned char answer = 0;
    EXPECT_EQ(dali->queryCommand(0x07, 0xA0, &answer), GetParam().status);
    done = true;
    monitor.join();
    EXPECT_EQ(answer, GetParam().answer);
}

const QByteArray kQuery("\x07\xA0", 2);
const QByteArray kStatus("\x07\x90", 2); // QUERY STATUS

INSTANTIATE_TEST_SUITE_P(Records, VandrelDaliRecords,
    ::testing::Values(RecordCase {"echo_then_answer", {kQuery, "\x42"}, 0, 0x42},
        // An answer left over from an earlier exchange comes before this one's echo.
        RecordCase {"stale_answer_skipped", {"\x99", kQuery, "\x42"}, 0, 0x42},
        // Another master's frame after the echo: what answers next answers it.
        RecordCase {"answer_to_another_master", {kQuery, QByteArray("\x05\x05", 2), "\x42"},
            core::ITF_ERR_TIMEOUT, 0},
        RecordCase {"collision", {kQuery, "~"}, core::ITF_ERR_PACKET_FRAME, 0},
        RecordCase {"timeout_event", {kQuery, "?"}, core::ITF_ERR_NO_REPLY, 0},
        RecordCase {"echo_only", {kQuery}, core::ITF_ERR_TIMEOUT, 0},
        RecordCase {"no_echo", {"\x42"}, core::ITF_ERR_TIMEOUT, 0},
        // Another master's copy of the query, before the earlier frame reached
        // the bus: it is not ours, nor does it make us forget the earlier frame.
        RecordCase {"copy_of_the_query_ahead_of_an_earlier_frame",
            {kQuery, "\x11", kStatus, "\x10", kQuery, "\x42"}, 0, 0x42, kStatus},
        // The same frame sent before, taken after a busy reply although the read
        // of the box's reply failed: its records are its own, not the query's.
        RecordCase {"earlier_identical_frame_busy_then_failed_read", {kQuery, "\x10", kQuery, "\x42"}, 0,
            0x42, kQuery, true, 2}),
    [](const auto& info) { return std::string(info.param.name); });

// While the box calls our query busy it has not taken it: another master's
// identical query, answered, that a monitor poll reports meanwhile is not taken
// for ours, and ours gets its own answer once the box took it.
TEST_F(VandrelDali, AnIdenticalFrameReportedWhileTheBoxCallsOursBusyIsNotOurs)
{
    open(firmware(21),
        {Device::CAP_VD_LARGE_PACKETS, Device::CAP_VD_TIMEOUT_EVENT,
            Device::CAP_VD_CONFIG_DALI_SETTLING_TIME});
    itf::UsbVandrelDaliInterface::Limits limits;
    limits.busyDeadlineMs = 60000; // busy until the stand-in monitor lets it through
    limits.pauseMs = 500;          // the poll below comes between two busy replies
    dali->setLimits(limits);
    ASSERT_EQ(device->sinks.size(), 1u);
    itf::IVandrelRecordSink* sink = device->sinks.front();
    box->editFaults([](sim::SimFaults& f) { f.notReady(0x0A, 2, sim::SimFaults::Forever); });
    const int repliesBefore = box->callCount(sim::SimCall::BulkIn);
    const qint64 framesBefore = box->busStats().daliFrames;
    quint8 index = 0;
    const auto report = [&](const QByteArray& bytes) {
        proto::DaliPacket packet;
        packet.setIndex(index++);
        packet.append(bytes);
        EXPECT_TRUE(sink->takeRecord(packet));
    };
    std::atomic<bool> done {false};
    std::thread monitor([&] {
        if (!test::waitUntil([&] { return box->callCount(sim::SimCall::BulkIn) > repliesBefore; }))
            return; // no busy reply came
        const proto::VandrelReport bytes = proto::vandrelCommandRequest(proto::vandrel::VD_CMD_POLL_MONITOR);
        const proto::UsbVandrelPacket poll(bytes.data(), int(bytes.size()));
        proto::UsbVandrelPacket reply;
        // A poll as the monitor makes it: under the transfer mutex, so never
        // between our request's write and the ledger's note that it went out.
        const auto pollNow = [&] {
            quint64 from = 0;
            transport->transferPacket(device->handle, &poll, &reply, itf::LibUsbInterface::FailureLog::Logged,
                [&from](quint64 transfer) { from = transfer; });
            sink->recordsFrom(from);
        };
        pollNow();
        report(kQuery);
        report("\x11");
        box->editFaults([](sim::SimFaults& f) { f.clear(); });
        // Once the box took ours: a poll after it.
        if (!test::waitUntil([&] { return box->busStats().daliFrames > framesBefore; }))
            return;
        pollNow();
        report(kQuery);
        report("\x42");
        while (!done) {
            sink->passCompleted(itf::IVandrelRecordSink::Clock::now());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    unsigned char answer = 0;
    EXPECT_EQ(dali->queryCommand(0x07, 0xA0, &answer), 0);
    done = true;
    monitor.join();
    EXPECT_EQ(answer, 0x42);
}

TEST_F(VandrelDali, CommandsWithoutAnswerDoNotWaitOnTheMonitor)
{
    open(firmware(21), {Device::CAP_VD_LARGE_PACKETS});
    auto gear = addGear(1);
    int installs = 0;
    device->monitor = [&](proto::PacketMutex*) { ++installs; };
    EXPECT_EQ(dali->sendCommand(0x03, 0x00), 0);
    EXPECT_EQ(gear->actualLevel(), 0);
    EXPECT_EQ(installs, 0);
}

} // namespace

namespace {

// On a box without time-out events, every request of the query is followed on
// the bus by another master's identical frame and one answer: whose answer it
// is cannot be told. A query is asked again (three times at most) only when
// the gear answers it the same the second time, after the frames it depends
// on: a device type's own query from its ENABLE DEVICE TYPE on. The rest fail
// at once: READ and WRITE MEMORY LOCATION moved the gear's memory pointer on,
// QUERY NEXT DEVICE TYPE stepped the gear's list, and a device type's query
// sent alone would go to a gear that no longer has the type enabled; frames
// of three bytes are not known to answer the same.
struct DoubtCase
{
    const char* name;
    QByteArray frame;
    quint8 deviceType; // not 0: asked with queryExtendedCommand
    int status;
    int requests;
    // In place of the identical frame: another master's frame between our
    // ENABLE DEVICE TYPE and the query, which the gear then ignores.
    bool otherBetween = false;
};

class VandrelDaliDoubt : public SimVandrelDaliFixture, public ::testing::WithParamInterface<DoubtCase>
{
};

TEST_P(VandrelDaliDoubt, AnAnswerThatMayBeAnotherMastersIsNeverHandedOn)
{
    const DoubtCase& c = GetParam();
    open(firmware(15), {Device::CAP_VD_LARGE_PACKETS, Device::CAP_VD_CONFIG_DALI_SETTLING_TIME});
    ASSERT_EQ(device->sinks.size(), 1u);
    itf::IVandrelRecordSink* sink = device->sinks.front();
    const QByteArray enable = QByteArray(1, char(proto::DaliCommandTable::special("ENABLE DEVICE TYPE")))
                                  .append(char(c.deviceType));
    std::atomic<bool> done {false};
    std::thread monitor([&] {
        int answered = 0;
        quint8 index = 0;
        while (!done) {
            if (box->callCount(sim::SimCall::BulkIn) > answered) {
                // Before each query, the ENABLE DEVICE TYPE it depends on.
                const bool enabling = c.deviceType != 0 && answered % 2 == 0;
                ++answered;
                sink->recordsFrom(~quint64(0));
                const std::vector<QByteArray> records = enabling ? std::vector<QByteArray> {enable}
                    : c.otherBetween ? std::vector<QByteArray> {QByteArray("\x9F\x05", 2), c.frame, "\x42"}
                                     : std::vector<QByteArray> {c.frame, c.frame, "\x42"};
                for (const QByteArray& bytes : records) {
                    proto::DaliPacket record;
                    record.setIndex(index++);
                    record.append(bytes);
                    sink->takeRecord(record);
                }
            }
            sink->passCompleted(itf::IVandrelRecordSink::Clock::now());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    unsigned char answer = 0;
    int status = 0;
    if (c.frame.size() != 2) {
        proto::DaliPacket packet(reinterpret_cast<const unsigned char*>(c.frame.constData()), c.frame.size());
        proto::Options options;
        options.addOption(proto::option::ExpectAnswer, true);
        proto::DaliPacket* reply = nullptr;
        status = dali->sendDali(&packet, &reply, &options);
        delete reply;
    } else if (c.deviceType != 0) {
        status = dali->queryExtendedCommand(c.deviceType, quint8(c.frame[0]), quint8(c.frame[1]), &answer);
    } else {
        status = dali->queryCommand(quint8(c.frame[0]), quint8(c.frame[1]), &answer);
    }
    done = true;
    monitor.join();
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(box->callCount(sim::SimCall::BulkIn), c.requests);
}

QByteArray frame(std::initializer_list<quint8> bytes)
{
    QByteArray frame;
    for (quint8 b : bytes)
        frame.append(char(b));
    return frame;
}

using Dali = proto::DaliCommandTable;
constexpr quint8 Gear3 = 0x07; // short address 3, a command follows
constexpr quint8 Led = Dali::LedDeviceType;

INSTANTIATE_TEST_SUITE_P(Doubt, VandrelDaliDoubt,
    ::testing::Values(DoubtCase {"query_asked_again", frame({Gear3, Dali::opcode("QUERY ACTUAL LEVEL")}), 0,
                          core::ITF_ERR_TOO_MANY_RETRIES, 3},
        DoubtCase {"compare_asked_again", frame({Dali::special("COMPARE"), 0}), 0,
            core::ITF_ERR_TOO_MANY_RETRIES, 3},
        DoubtCase {"memory_read_not_asked_again", frame({0x01, Dali::opcode("READ MEMORY LOCATION")}), 0,
            core::ITF_ERR_PACKET_NOT_ANSWER, 1},
        DoubtCase {"memory_write_not_asked_again", frame({Dali::special("WRITE MEMORY LOCATION"), 0x55}), 0,
            core::ITF_ERR_PACKET_NOT_ANSWER, 1},
        DoubtCase {"next_device_type_not_asked_again", frame({Gear3, Dali::opcode("QUERY NEXT DEVICE TYPE")}),
            0, core::ITF_ERR_PACKET_NOT_ANSWER, 1},
        DoubtCase {"device_type_query_alone_not_asked_again",
            frame({Gear3, Dali::opcode("QUERY FEATURES", Led)}), 0, core::ITF_ERR_PACKET_NOT_ANSWER, 1},
        DoubtCase {"device_type_query_asked_again_after_enabling",
            frame({Gear3, Dali::opcode("QUERY FEATURES", Led)}), Led, core::ITF_ERR_TOO_MANY_RETRIES, 6},
        DoubtCase {"three_byte_frame_not_asked_again", frame({0x07, 0xFE, 0x30}), 0,
            core::ITF_ERR_PACKET_NOT_ANSWER, 1},
        // The one byte after our query is no answer of it: the gear ignored the
        // query once the other master's frame had taken the enabling.
        DoubtCase {"device_type_query_after_another_masters_frame_asked_again",
            frame({Gear3, Dali::opcode("QUERY FEATURES", Led)}), Led, core::ITF_ERR_TOO_MANY_RETRIES, 6,
            true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
