#include "sim_usb_fixture.h"

#include "core/itf_error.h"
#include "core/thread_manager.h"
#include "interfaces/ivandrel_record_sink.h"
#include "interfaces/usb_vandrel_data_monitor.h"
#include "log_capture.h"
#include "monitor_thread.h"
#include "protocol/packet_log.h"
#include "protocol/packet_mutex.h"
#include "protocol/raw_packet.h"
#include "protocol/usb/usb_packet.h"
#include "wait_until.h"

#include <QByteArray>

#include <atomic>
#include <thread>
#include <vector>

using namespace tarvesk;
using sim::SimCall;
using sim::SimFaults;
using tarvesk::test::LogCapture;
using tarvesk::test::waitUntil;

namespace {

QByteArray bytesOf(const proto::RawPacket* packet)
{
    return QByteArray(reinterpret_cast<const char*>(packet->getData()), packet->getDataSize());
}

QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((seed + i * 7) & 0xFF);
    return bytes;
}

} // namespace

// A data monitor on its own "USB monitor" thread, polling a simulated box and
// handing its packets to a packet log, as the Vandrel device sets it up.
class DataMonitor : public test::SimUsbFixture
{
protected:
    void SetUp() override
    {
        test::SimUsbFixture::SetUp();
        currentHandle = handle;
        monitor = new itf::UsbVandrelDataMonitor([this] { return currentHandle.load(); }, transport.get());
        thread = test::startMonitorOnThread(monitor, packetLog);
        ASSERT_TRUE(waitUntil([this] { return box->pollCount() > 0; }));
    }

    void TearDown() override
    {
        // The monitor is stopped before the device's handle closes (in the base's TearDown).
        if (monitor) {
            EXPECT_TRUE(monitor->stopAndWait());
        }
        endMonitorThread();
        test::SimUsbFixture::TearDown();
    }

    // Ends the monitor's thread (the monitor goes with it); every tick its timer
    // still had has run by then.
    void endMonitorThread()
    {
        if (monitor)
            test::endMonitorOnThread(monitor, thread);
    }

    std::vector<std::unique_ptr<proto::RawPacket>> loggedPackets() const
    {
        std::vector<std::unique_ptr<proto::RawPacket>> packets;
        packetLog.getPackets(packets, 0, 1);
        return packets;
    }

    std::atomic<libusb_device_handle*> currentHandle {nullptr};
    itf::UsbVandrelDataMonitor* monitor = nullptr;
    std::shared_ptr<core::Thread> thread;
    proto::PacketLog packetLog;
};

TEST_F(DataMonitor, RecordsArriveAsPacketsInOrder)
{
    box->pushRecord(2, 10, 0, QByteArray::fromHex("ffa0"));
    box->pushRecord(2, 11, 0, QByteArray::fromHex("fe"));
    box->pushRecord(1, 12, 0, pattern(513, 1));
    ASSERT_TRUE(waitUntil([this] { return packetLog.size() == 3; }));
    const auto packets = loggedPackets();
    EXPECT_EQ(packets[0]->getIndex(), 10);
    EXPECT_EQ(packets[0]->getPacketType(), proto::PACKET_TYPE_DALI);
    EXPECT_EQ(bytesOf(packets[0].get()), QByteArray::fromHex("ffa0"));
    EXPECT_EQ(bytesOf(packets[1].get()), QByteArray::fromHex("fe"));
    EXPECT_EQ(packets[2]->getIndex(), 12);
    EXPECT_EQ(bytesOf(packets[2].get()), pattern(513, 1));
    EXPECT_TRUE(monitor->isPolling());
}

TEST_F(DataMonitor, RecordSplitOverManyPollsReachesTheSenderAndTheLogOnce)
{
    proto::PacketMutex answer(42, true);
    monitor->installPacketMutex(&answer);
    // Each reply ends its pass, so the record comes together over many ticks.
    box->editFaults([](SimFaults& f) { f.setSplitPasses(true); });
    box->pushRecord(1, 41, 0, pattern(40, 2)); // someone else's
    box->pushRecord(1, 42, 0, pattern(700, 3));
    ASSERT_FALSE(answer.waitForReplyIndex(5000));
    EXPECT_EQ(answer.getPacket()->getIndex(), 42);
    EXPECT_EQ(bytesOf(answer.getPacket()), pattern(700, 3));
    ASSERT_TRUE(waitUntil([this] { return packetLog.size() == 2; }));
    monitor->installPacketMutex(nullptr);
    EXPECT_EQ(answer.pendingCount(), 0);
    EXPECT_EQ(answer.waitForReplyIndex(0), true);
    EXPECT_EQ(packetLog.size(), 2);
}

TEST_F(DataMonitor, TwoMatchingRecordsAreTakenByTwoWaitsInOrder)
{
    proto::PacketMutex answer(0, false);
    answer.setInterfaceType(proto::PACKET_TYPE_DALI);
    monitor->installPacketMutex(&answer);
    box->pushRecord(1, 1, 0, pattern(3, 4));               // DMX traffic does not match
    box->pushRecord(2, 2, 0, QByteArray::fromHex("ffa0")); // the forward frame
    box->pushRecord(2, 3, 0, QByteArray::fromHex("fe"));   // its backward frame
    ASSERT_FALSE(answer.waitForReplyIndex(5000));
    EXPECT_EQ(bytesOf(answer.getPacket()), QByteArray::fromHex("ffa0"));
    ASSERT_FALSE(answer.waitForReplyIndex(5000));
    EXPECT_EQ(bytesOf(answer.getPacket()), QByteArray::fromHex("fe"));
    monitor->installPacketMutex(nullptr);
    ASSERT_TRUE(waitUntil([this] { return packetLog.size() == 3; }));
}

TEST_F(DataMonitor, AnswerCompletedBeforeTheSenderWaitsIsTakenAtOnce)
{
    box->pushRecord(2, 5, 0, QByteArray::fromHex("01")); // before the install: only logged
    ASSERT_TRUE(waitUntil([this] { return packetLog.size() == 1; }));
    proto::PacketMutex answer(6, true);
    monitor->installPacketMutex(&answer);
    box->pushRecord(2, 5, 0, QByteArray::fromHex("02"));
    box->pushRecord(2, 6, 0, QByteArray::fromHex("03"));
    ASSERT_TRUE(waitUntil([this] { return packetLog.size() == 3; }));
    EXPECT_FALSE(answer.waitForReplyIndex(0));
    EXPECT_EQ(bytesOf(answer.getPacket()), QByteArray::fromHex("03"));
    monitor->installPacketMutex(nullptr);
}

// Counts the records offered to it; takes none.
class CountingSink : public itf::IVandrelRecordSink
{
public:
    bool takeRecord(const proto::RawPacket&) override
    {
        ++offered;
        return false;
    }
    void passCompleted(Clock::time_point) override { }
    void pollFailed(int) override { }
    void feedEnded(int status) override { feedStatus = status; }

    std::atomic<int> offered {0};
    std::atomic<int> feedStatus {0};
};

// A box opened anew that holds more than one polling pass takes (40 DMX
// records of 513 bytes, some 350 polls), or whose first poll fails: the owner's
// wait for the priming ends only once a pass drained the box, and none of the
// old records reaches a sink or a waiting sender; the next record does.
TEST_F(DataMonitor, PrimingEndsOnlyWithAPassThatDrainedTheBox)
{
    struct Case
    {
        const char* name;
        int failedPolls; // the first polls of the new feed that fail
    };
    const Case cases[] = {
        {"more records than one pass takes", 0},
        {"the first poll fails", 1},
        {"the first three polls fail", 3},
    };
    constexpr int Old = 40;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(monitor->stopAndWait());
        packetLog.clear();
        for (int i = 0; i < Old; ++i)
            box->pushRecord(1, quint8(i), 0, pattern(513, i));
        box->editFaults([&c](SimFaults& f) { f.failPolls(LIBUSB_ERROR_IO, c.failedPolls); });
        CountingSink sink;
        proto::PacketMutex waiter(0, false);
        waiter.setInterfaceType(proto::PACKET_TYPE_DMX);
        monitor->attachRecordSink(&sink);
        monitor->resume(itf::UsbVandrelDataMonitor::PollIntervalMs);
        monitor->installPacketMutex(&waiter);
        EXPECT_TRUE(monitor->waitUntilPrimed());
        EXPECT_EQ(packetLog.size(), Old);
        EXPECT_FALSE(box->hasStreamData());
        EXPECT_EQ(sink.offered, 0);
        EXPECT_EQ(waiter.pendingCount(), 0);
        EXPECT_EQ(waiter.feedEndStatus(), 0);

        box->pushRecord(1, 200, 0, QByteArray::fromHex("00ff"));
        ASSERT_TRUE(waitUntil([this] { return packetLog.size() == Old + 1; }));
        EXPECT_EQ(sink.offered, 1);
        EXPECT_EQ(waiter.pendingCount(), 1);
        monitor->installPacketMutex(nullptr);
        monitor->detachRecordSink(&sink);
    }
}

// A box that no pass drains within the owner's wait (it streams for ever): the
// owner sends anyway, so every exchange is refused as busy (the sinks and a
// waiting sender are told the feed ended) until a pass has drained the box;
// then the feed goes on, new to the sinks.
TEST_F(DataMonitor, AnOwnerThatGaveUpWaitingForThePrimingIsRefusedUntilItEnds)
{
    ASSERT_TRUE(monitor->stopAndWait());
    box->pushRecord(2, 1, 0, QByteArray::fromHex("01a0"));
    box->editFaults([](SimFaults& f) { f.setEndlessPass(true); });
    CountingSink sink;
    monitor->attachRecordSink(&sink);
    monitor->resume(itf::UsbVandrelDataMonitor::PollIntervalMs);
    EXPECT_FALSE(monitor->waitUntilPrimed(100));
    EXPECT_EQ(sink.feedStatus, core::ITF_ERR_BUSY);
    {
        proto::PacketMutex waiter(0, false);
        monitor->installPacketMutex(&waiter);
        EXPECT_EQ(waiter.feedEndStatus(), core::ITF_ERR_BUSY);
        monitor->installPacketMutex(nullptr);
    }
    // A restart of the timer does not lift the refusal.
    monitor->start(itf::UsbVandrelDataMonitor::PollIntervalMs);
    box->pushRecord(2, 2, 0, QByteArray::fromHex("2a"));
    ASSERT_TRUE(waitUntil([this] { return packetLog.size() == 2; }));
    EXPECT_FALSE(monitor->isPrimed());
    EXPECT_EQ(sink.feedStatus, core::ITF_ERR_BUSY);

    box->editFaults([](SimFaults& f) { f.setEndlessPass(false); });
    ASSERT_TRUE(waitUntil([this] { return monitor->isPrimed(); }));
    EXPECT_EQ(sink.feedStatus, 0);
    EXPECT_EQ(sink.offered, 0);
    proto::PacketMutex waiter(0, false);
    waiter.setInterfaceType(proto::PACKET_TYPE_DALI);
    monitor->installPacketMutex(&waiter);
    EXPECT_EQ(waiter.feedEndStatus(), 0);
    box->pushRecord(2, 3, 0, QByteArray::fromHex("01a0"));
    ASSERT_TRUE(waitUntil([this] { return packetLog.size() == 3; }));
    EXPECT_EQ(sink.offered, 1);
    EXPECT_EQ(waiter.pendingCount(), 1);
    monitor->installPacketMutex(nullptr);
    monitor->detachRecordSink(&sink);
}

// Polling again after a stop (the box opened anew): what the box held before
// goes to the packet log alone, never to the record sinks or a waiting sender,
// which see only what came after.
TEST_F(DataMonitor, RecordsHeldBeforeAFeedBeganReachOnlyThePacketLog)
{
    ASSERT_TRUE(monitor->stopAndWait());
    box->pushRecord(2, 1, 0, QByteArray::fromHex("01a0"));
    box->pushRecord(2, 2, 0, QByteArray::fromHex("2a"));
    CountingSink sink;
    proto::PacketMutex waiter(0, false);
    waiter.setInterfaceType(proto::PACKET_TYPE_DALI);
    monitor->attachRecordSink(&sink);
    monitor->resume(itf::UsbVandrelDataMonitor::PollIntervalMs);
    monitor->installPacketMutex(&waiter);
    ASSERT_TRUE(monitor->waitUntilPrimed());
    EXPECT_EQ(packetLog.size(), 2);
    EXPECT_EQ(sink.offered, 0);
    EXPECT_EQ(waiter.pendingCount(), 0);

    box->pushRecord(2, 3, 0, QByteArray::fromHex("01a0"));
    ASSERT_TRUE(waitUntil([this] { return packetLog.size() == 3; }));
    EXPECT_EQ(sink.offered, 1);
    EXPECT_EQ(waiter.pendingCount(), 1);
    monitor->installPacketMutex(nullptr);
    monitor->detachRecordSink(&sink);
}

TEST_F(DataMonitor, UnplugStopsPollingForGood)
{
    LogCapture log;
    box->unplug();
    ASSERT_TRUE(waitUntil([this] { return !monitor->isPolling(); }));
    const int outs = box->callCount(SimCall::BulkOut);
    // The loss is reported before the monitor says it stopped.
    EXPECT_EQ(log.count(QStringLiteral("Warning, device lost: stopping with polling")), 1);
    EXPECT_EQ(
        log.count(QStringLiteral("TRANSFER PACKET ERROR, stop usb monitor polling due to error: -3")), 1)
        << log.messages().join('\n').toStdString();
    endMonitorThread();
    EXPECT_EQ(box->callCount(SimCall::BulkOut), outs);
}

TEST_F(DataMonitor, OtherFailuresOnlyEndTheirPass)
{
    // An I/O error of one exchange passes too: only libusb's "no device" (or
    // "not found") says the box is gone.
    for (int error : {LIBUSB_ERROR_TIMEOUT, LIBUSB_ERROR_PIPE, LIBUSB_ERROR_OVERFLOW, LIBUSB_ERROR_IO}) {
        box->editFaults([error](SimFaults& f) { f.failNext(SimCall::BulkIn, error); });
        const int polls = box->pollCount();
        ASSERT_TRUE(waitUntil([&] { return box->pollCount() > polls + 2; })) << error;
        EXPECT_TRUE(monitor->isPolling());
    }
    // A short reply is a failure too: the record it carried is lost, and none of
    // its bytes reach the reassembly, so the next record comes through whole.
    box->editFaults([this](SimFaults& f) {
        f.shortReplies(20, SimFaults::Forever);
        box->pushRecord(2, 8, 0, QByteArray::fromHex("0808"));
    });
    ASSERT_TRUE(waitUntil([this] { return !box->hasStreamData(); }));
    // The next request shows that the (short) read of that reply is over.
    const int polls = box->pollCount();
    ASSERT_TRUE(waitUntil([&] { return box->pollCount() > polls; }));
    box->editFaults([](SimFaults& f) { f.clear(); });
    box->pushRecord(2, 9, 0, QByteArray::fromHex("0909"));
    ASSERT_TRUE(waitUntil([this] { return packetLog.size() == 1; }));
    EXPECT_EQ(loggedPackets()[0]->getIndex(), 9);
    EXPECT_EQ(bytesOf(loggedPackets()[0].get()), QByteArray::fromHex("0909"));
    EXPECT_TRUE(monitor->isPolling());
}

TEST_F(DataMonitor, ABoxThatNeverEndsAPassCannotHoldTheMonitor)
{
    LogCapture log;
    box->editFaults([](SimFaults& f) { f.setEndlessPass(true); });
    // Request threads still get their exchanges in between...
    proto::UsbPacket reply;
    const unsigned char getVersion[] = {0x0D, 0x00, 0x00};
    const proto::UsbPacket request(getVersion, 3);
    EXPECT_EQ(transport->transferPacket(handle, &request, &reply), core::ITF_OK);
    EXPECT_EQ(reply.getUint16(3), 21);
    // ...and every pass ends at its bound, so the next tick starts a new one.
    const int polls = box->pollCount();
    ASSERT_TRUE(waitUntil(
        [&] { return box->pollCount() > polls + 3 * itf::UsbVandrelDataMonitor::MaxPollsPerPass; }, 20000));
    ASSERT_TRUE(monitor->stopAndWait()); // the passes' messages are all written by now
    EXPECT_GE(log.count(QStringLiteral("USB monitor pass cut short after")), 2);
}

TEST_F(DataMonitor, StopAndWaitLeavesTheHandleFreeToClose)
{
    box->pushRecord(1, 1, 0, pattern(900, 5));
    EXPECT_TRUE(monitor->stopAndWait());
    EXPECT_FALSE(monitor->isPolling());
    const int outs = box->callCount(SimCall::BulkOut);
    // Closing the handle now cannot race a poll: none follows.
    transport->releaseClaim(handle);
    transport->closeDevice(handle);
    handle = nullptr;
    // Stopped for good: a restart request does not revive it.
    monitor->start(5);
    endMonitorThread();
    EXPECT_EQ(box->callCount(SimCall::BulkOut), outs);
}

TEST_F(DataMonitor, LostDeviceCanBeRestarted)
{
    box->editFaults([](SimFaults& f) { f.failNext(SimCall::BulkOut, LIBUSB_ERROR_NO_DEVICE); });
    ASSERT_TRUE(waitUntil([this] { return !monitor->isPolling(); }));
    monitor->start(5);
    ASSERT_TRUE(waitUntil([this] { return monitor->isPolling(); }));
    box->pushRecord(2, 1, 0, QByteArray::fromHex("aa"));
    ASSERT_TRUE(waitUntil([this] { return packetLog.size() == 1; }));
}

TEST_F(DataMonitor, RequestThreadsAndTheMonitorShareTheTransport)
{
    // Request threads exchange register reports while the monitor polls and
    // records flow; the box reports any request written over an unread reply
    // (checked when the fixture ends), and every reply belongs to its request.
    constexpr int Threads = 3;
    constexpr int Rounds = 100;
    constexpr int Records = 60;
    std::atomic<int> mismatches {0};
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < Rounds; ++i) {
                const unsigned char get[] = {0x0D, 0x00, static_cast<unsigned char>(t)};
                const proto::UsbPacket request(get, 3);
                proto::UsbPacket reply;
                if (transport->transferPacket(handle, &request, &reply) != core::ITF_OK || reply[0] != 0x8D
                    || reply[2] != t) {
                    ++mismatches;
                }
            }
        });
    }
    for (int i = 0; i < Records; ++i)
        box->pushRecord(1, static_cast<quint8>(i), 0, pattern(20 + i * 5, i));
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, 0);
    ASSERT_TRUE(waitUntil([this] { return packetLog.size() == Records; }));
    const auto packets = loggedPackets();
    for (int i = 0; i < Records; ++i) {
        EXPECT_EQ(packets[i]->getIndex(), i);
        EXPECT_EQ(bytesOf(packets[i].get()), pattern(20 + i * 5, i)) << i;
    }
}
