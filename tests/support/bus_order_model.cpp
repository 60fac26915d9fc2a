#include "bus_order_model.h"

#include "core/itf_error.h"
#include "interfaces/ilib_usb.h"
#include "interfaces/lib_usb_interface.h"
#include "interfaces/usb_vandrel_data_monitor.h"
#include "interfaces/vandrel_dali_ledger.h"
#include "interfaces/vandrel_record_index.h"
#include "protocol/dali/dali_packet.h"
#include "protocol/dmx/dmx_packet.h"
#include "protocol/packet_mutex.h"
#include "protocol/usb/usb_vandrel_packet_factory.h"
#include "protocol/usb/vandrel_commands.h"
#include "vandrel_monitor_stream_encoder.h"

#include <QByteArray>
#include <QCoreApplication>

#include <libusb.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <sstream>

namespace tarvesk::test::busorder {

namespace {

using itf::VandrelDaliLedger;
using itf::VandrelRecordIndex;
using Clock = proto::PacketMutex::Clock;
using Count = VandrelRecordIndex::Count;

// What the sender tells the ledger when the write of a request fails: the
// transport runs its going-out hook only once the report reached the box, so
// the frame never went out, and the box did not take it.
void requestNotWritten(VandrelDaliLedger& ledger, VandrelDaliLedger::Ticket ticket)
{
    ledger.refused(ticket);
}

// The input read as choices; once it is used up every choice is 0, the most
// ordinary one, and the scenario winds down.
class Choices
{
public:
    Choices(const uint8_t* data, size_t size)
        : _data(data)
        , _size(size)
    { }
    bool done() const { return _at >= _size; }
    int pick(int range)
    {
        if (range <= 1 || _at >= _size)
            return 0;
        return _data[_at++] % range;
    }
    // True one time in `outOf` (never once the input is used up).
    bool rarely(int outOf) { return pick(outOf) == outOf - 1; }

private:
    const uint8_t* _data;
    size_t _size;
    size_t _at = 0;
};

// DALI frames by IEC 62386-102.
constexpr quint8 Dtr0 = 0xA3;
constexpr quint8 Dtr1 = 0xC3;
constexpr quint8 Initialise = 0xA5;
constexpr quint8 EnableDeviceType = 0xC1;
constexpr quint8 WriteMemory = 0xC7;
constexpr quint8 WriteMemoryNoReply = 0xC9;
constexpr quint8 QueryActualLevel = 0xA0;
constexpr quint8 ReadMemory = 0xC5;
constexpr quint8 StoreActualLevelInDtr0 = 0x21;
constexpr quint8 QueryGearType = 0xED; // device type 6 (IEC 62386-207)
constexpr quint8 OneByteFrame = 0x5A;

QByteArray frame(quint8 first, quint8 second)
{
    return QByteArray(1, char(first)) + char(second);
}

// What made a record, carried out of band in its creation time: our frame
// `id` (positive) or another master's (negative), and which of its records.
enum RecordKind { Echo = 0, Answer = 1, TimeoutEvent = 2, FrameError = 3 };

qint64 tagOf(int id, RecordKind kind)
{
    return id > 0 ? qint64(id) * 4 + kind : -(qint64(-id) * 4 + kind);
}
int idOf(qint64 tag)
{
    return tag >= 0 ? int(tag / 4) : -int(-tag / 4);
}
RecordKind kindOf(qint64 tag)
{
    return RecordKind((tag >= 0 ? tag : -tag) % 4);
}

// One DALI control gear: level, DTR0/DTR1, three small memory banks.
struct Gear
{
    int address = 0;
    int group = 0;
    quint8 gearType = 0;
    quint8 level = 0x10;
    quint8 dtr0 = 0;
    quint8 dtr1 = 0;
    bool enabled6 = false; // the frame before was ENABLE DEVICE TYPE 6
    std::array<std::array<quint8, 16>, 3> memory {};

    bool addressedBy(quint8 first) const
    {
        if (first >= 0xFE)
            return true;
        if (first < 0x80)
            return (first >> 1) == address;
        if (first < 0xA0)
            return ((first >> 1) & 0x0F) == group;
        return false;
    }
    bool hasLocation() const { return dtr1 < memory.size() && dtr0 < memory[0].size(); }
};

// What the gear did with a forward frame: its backward frame (two or more
// answering collide into a frame error).
struct Reaction
{
    int answers = 0;
    quint8 byte = 0;
};

enum class VerdictKind { None, Value, NoAnswer, FrameError, Error };
struct Verdict
{
    VerdictKind kind = VerdictKind::None;
    quint8 byte = 0;
    int status = 0;
};

// One frame of ours as the ledger knows it.
struct Sent
{
    int id = 0;
    QByteArray bytes;
    int copies = 1;
    bool awaited = false;
    bool closes = false;
    VandrelDaliLedger::Ticket ticket = 0;
    std::unique_ptr<proto::PacketMutex> mutex;
    bool farPassSeen = false; // a pass that shows lost records began after it was armed
    // Sent while a DALI frame of ours whose echo the box lost was still owed.
    bool behindLostEcho = false;
    // Truth, from the bus and the box.
    bool answerMade = false;     // the gear answered (or collided) on its first copy
    bool answerReported = false; // that record reached the sinks
    bool answerLost = false;     // the box lost it
    Count lostAnswerAt = -1;     // its index
    bool lossShownAtVerdict = false; // a record made after it was reported before the verdict
    bool echoReported = false;
    bool enableUsedUp = false; // a device type's query whose enable another frame used up
    bool memoryRead = false;
    // Of a READ MEMORY LOCATION: the location our own selection points to,
    // and the byte there when the frame was on the bus.
    int expectBank = 0;
    int expectLocation = 0;
    quint8 expectedByte = 0;
    bool expectedKnown = false;
    Verdict verdict;
};

enum class Kind { Query, QueryEmpty, Dapc, OneByte, Initialise, MemoryRead, DeviceTypeQuery };

// A request thread of the service, one exchange at a time.
struct Thread
{
    int number = 0;
    bool busy = false;
    Kind kind = Kind::Query;
    int waiting = 0; // the id of the frame it waits for
    int asking = 1;
    int attempt = 1;
    int step = 0;
    quint8 bank = 0;
    quint8 location = 0;
    int count = 1;
    quint8 level = 0;
    bool oneByteAwaited = false;
    // (e): the exchange began once a disturbance had ended, and none came since.
    bool judged = false;
};

struct DmxExchange
{
    int id = 0;
    Count count = 0; // the box's true index of the frame
    bool awaited = false;
    bool recordsMade = false;
    bool answers = false;
    std::unique_ptr<proto::PacketMutex> mutex;
    int older = 0;
    bool answerReported = false;
    bool allowedMiss = false;
    // A pass that began after the frame went out drained the box: only then
    // does the index hand on the answer (until then it cannot tell it from an
    // older frame's), and only then may the sender's wait end without it.
    bool passAfterSeen = false;
    bool concluded = false;
    // On the line: when it went out, how long the line takes with it before
    // the box records it, and how many records numbered after it come first.
    Clock::time_point goneOut;
    int lineMs = 23;
    int lateBy = 0;
    bool judged = false; // (e), as a thread's exchange
    // Given while so many records were unreported that the index byte cannot
    // place it: the record gaps may read its records, when they come, as
    // records lost.
    bool misplaced = false;
};

struct BoxRecord
{
    bool dmx = false;
    QByteArray bytes;
    quint8 flags = 0;
    Count index = 0;
    qint64 tag = 0;
    bool old = false; // in the box when it was opened anew
};

// The box's USB side while the real data monitor primes a feed: each monitor
// poll takes the whole records that fit in one reply from the front of the
// box's buffer (those left stay in it), and says whether more wait. A poll
// planned to fail loses its reply (the records in it).
class BoxUsb : public itf::ILibUsb
{
public:
    explicit BoxUsb(std::deque<BoxRecord>& buffer)
        : _buffer(buffer)
    { }
    int failAt = -1; // the poll (counted in polls) that fails
    int polls = 0;   // polls answered or failed

    int init(libusb_context** context) override
    {
        *context = nullptr;
        return 0;
    }
    void exit(libusb_context*) override { }
    ssize_t getDeviceList(libusb_context*, libusb_device*** list) override
    {
        *list = nullptr;
        return 0;
    }
    void freeDeviceList(libusb_device**, int) override { }
    int getDeviceDescriptor(libusb_device*, libusb_device_descriptor*) override { return LIBUSB_ERROR_NOT_FOUND; }
    libusb_device* refDevice(libusb_device* device) override { return device; }
    void unrefDevice(libusb_device*) override { }
    int open(libusb_device*, libusb_device_handle**) override { return LIBUSB_ERROR_NOT_FOUND; }
    void close(libusb_device_handle*) override { }
    int kernelDriverActive(libusb_device_handle*, int) override { return 0; }
    int detachKernelDriver(libusb_device_handle*, int) override { return 0; }
    int claimInterface(libusb_device_handle*, int) override { return 0; }
    int releaseInterface(libusb_device_handle*, int) override { return 0; }
    int bulkTransfer(libusb_device_handle*, unsigned char endpoint, unsigned char* data, int length,
        int* transferred, unsigned int) override
    {
        if (!(endpoint & 0x80)) {
            *transferred = length;
            return 0;
        }
        ++polls;
        const QByteArray reply = nextReply();
        if (polls == failAt) {
            *transferred = 0;
            return LIBUSB_ERROR_TIMEOUT;
        }
        const int size = std::min(length, int(reply.size()));
        std::copy(reply.begin(), reply.begin() + size, data);
        *transferred = size;
        return 0;
    }
    int controlTransfer(libusb_device_handle*, uint8_t, uint8_t, uint16_t, uint16_t, unsigned char*, uint16_t,
        unsigned int) override
    {
        return LIBUSB_ERROR_NOT_SUPPORTED;
    }
    int clearHalt(libusb_device_handle*, unsigned char) override { return 0; }
    int resetDevice(libusb_device_handle*) override { return 0; }

private:
    QByteArray nextReply()
    {
        using Encoder = sim::VandrelMonitorStreamEncoder;
        QByteArray reply(Encoder::ReportSize, '\0');
        reply[0] = char(Encoder::PollReplyCommandByte);
        // Whole records only, with a zero byte after the last (the closing
        // record type): the host takes each at once.
        int at = 4;
        while (!_buffer.empty()) {
            const BoxRecord& record = _buffer.front();
            sim::MonitorRecord encoded;
            encoded.type = record.dmx ? proto::UsbVandrelPacketFactory::RECORD_DMX
                                      : proto::UsbVandrelPacketFactory::RECORD_DALI;
            encoded.index = quint8(record.index & 0xFF);
            encoded.flags = record.flags;
            encoded.payload = record.bytes;
            const QByteArray bytes = Encoder::encodeRecord(encoded);
            if (at + bytes.size() >= Encoder::ReportSize)
                break;
            std::copy(bytes.begin(), bytes.end(), reply.begin() + at);
            at += int(bytes.size());
            _buffer.pop_front();
        }
        reply[1] = char(_buffer.empty() ? Encoder::LastOfBurst : proto::vandrel::PollMoreData);
        return reply;
    }

    std::deque<BoxRecord>& _buffer;
};

class Model
{
public:
    Model(const uint8_t* data, size_t size, const Features& features, bool trace)
        : _in(data, size)
        , _features(features)
        , _tracing(trace)
    {
        _gears[0].address = 0;
        _gears[0].group = 0;
        _gears[0].gearType = 0x02;
        _gears[1].address = 1;
        _gears[1].group = 1;
        _gears[1].gearType = 0x04;
        for (size_t g = 0; g < _gears.size(); ++g)
            for (size_t b = 0; b < 3; ++b)
                for (size_t l = 0; l < 16; ++l)
                    _gears[g].memory[b][l] = quint8(g * 101 + b * 37 + l * 11 + 5);
        for (int t = 0; t < std::max(1, std::min(3, features.threads)); ++t) {
            _threads.emplace_back();
            _threads.back().number = t;
        }
    }

    Outcome run();
    // A line the ledger or the monitor logged, in a traced run.
    void logged(const std::string& line) { note("  log: " + line); }

private:
    // The box and its bus.
    void putOnBus(const QByteArray& bytes, int id, bool closes, bool firstCopy);
    void busStep();
    void flushBus();
    void foreignFrame(const QByteArray& bytes);
    void foreignStep();
    bool answeredCopyAhead(const QByteArray& bytes) const;
    Reaction react(const QByteArray& bytes);
    void make(bool dmx, const QByteArray& bytes, quint8 flags, qint64 tag, Count index = -1);
    void makeDmxRecords();

    // The monitor.
    void poll(int records);
    void drainedPass(Clock::time_point began);
    // A drained pass begun then, with what the model makes of it: DMX frames
    // whose line time is over recorded first, the oracle's look after it.
    void drainedPassAt(Clock::time_point began);
    void freshPasses(int count);
    void latePass();
    void failedPoll();
    void farPass();
    void reopen();
    void offer(const BoxRecord& record);

    // The service's senders.
    void hostStep(Thread& thread);
    void startExchange(Thread& thread);
    QByteArray nextFrame(const Thread& thread) const;
    bool nextAwaited(const Thread& thread) const;
    void send(Thread& thread, const QByteArray& bytes, bool awaited, int copies);
    void evaluate();
    void evaluate(Thread& thread);
    void conclude(Thread& thread, Sent& sent, Verdict verdict);
    void endExchange(Thread& thread, const Sent* last, Verdict verdict);
    void dmxStep();
    void evaluateDmx();
    void concludeDmx(const char* how);

    // Bus orders after which the service is to recover (see (e)).
    void disturb(const std::string& what);
    bool quiet() const;
    // A DMX frame given where the index cannot place it, its records still to come.
    bool misplacedDmxToCome() const;
    void judge(bool judged, const std::string& name, const Verdict& verdict, int askings);
    void quickPass();
    void stall();
    void stalledWaits();
    void prime();
    void pollingClient();
    void failedTransfer(Thread& thread, Sent& s);
    void makeDmxRecords(Clock::time_point upTo);
    void makeDmxRecords(DmxExchange& dmx);

    void violation(char clause, const std::string& what)
    {
        _outcome.violations.push_back({clause, what});
        note("VIOLATION (" + std::string(1, clause) + "): " + what);
    }
    void note(const std::string& line)
    {
        if (_tracing)
            _outcome.trace += line + "\n";
    }
    static std::string hex(const QByteArray& bytes) { return bytes.toHex(' ').toStdString(); }

    Choices _in;
    const Features _features;
    const bool _tracing;
    Outcome _outcome;

    VandrelDaliLedger _ledger;
    VandrelRecordIndex _index;
    std::array<Gear, 2> _gears;
    bool _timeoutEvents = false;
    bool _ourDali = true; // our request threads send DALI frames (else only the DMX sender)
    // Nothing disturbs the bus: no record lost, no poll or transfer failing, no
    // other master, no box opened anew (what (f) judges).
    bool _calm = false;
    bool _lastOnBusOpen = false; // our frame (or a copy of one) was on the bus last and nothing followed it yet
    int _lastAnswerByte = -1; // the byte that answered it, if it was answered (else -1)
    bool _lastCopiesClosingFrame = false; // another master's copy of a queued frame of ours that the box closes

    std::map<int, std::unique_ptr<Sent>> _sent;
    std::deque<std::pair<int, int>> _queue; // our frames the box took, not yet on the bus: id, copy
    int _lastOnBus = 0;                     // our frame put on the bus last (0: another master's)
    bool _lastWasOurEnable = false;
    int _nextId = 1;
    int _nextForeign = 1;
    quint64 _transfer = 0;
    bool _collideNext = false;

    Count _counter = 0; // the box's next record index
    Count _dmxLineSince = std::numeric_limits<Count>::max(); // the oldest DMX frame whose records are to come
    std::deque<BoxRecord> _buffer;
    int _loseNext = 0;
    int _lostRun = 0;
    Count _lastOffered = -1;
    bool _keptSinceOpen = false; // a record made since the box was opened reached its buffer
    Count _highestKept = -1;     // the highest index of a record kept since the box was opened
    bool _firstDmxSinceOpen = true;
    bool _longRunPending = false;
    bool _dmxGivenSinceLongRun = false;
    Clock::time_point _lastPollStart = Clock::now();
    Clock::time_point _farBegan = Clock::now();

    std::vector<Thread> _threads;
    // The bytes of our requests whose write failed, while the ledger may still owe them.
    std::vector<QByteArray> _unwritten;
    bool _failNextWrite = false;
    // Records the box is to lose when it makes them (aimed losses), by tag.
    std::set<qint64> _loseTags;
    int _disturbances = 0; // in the whole scenario so far
    int _quietRounds = 0;  // rounds of drained passes since the last one
    bool _ourEchoLost = false; // the box lost the echo of a DALI frame of ours not yet given up
    bool _lossUnshown = false; // the box lost a record and reported none numbered after it yet
    bool _reportedSinceOpen = false; // a record reached the ledger since its feed began
    Count _lastLost = -1;
    // The real data monitor that primes a box opened anew, on a USB stand-in
    // serving the box's buffer (made at the first such opening).
    std::shared_ptr<BoxUsb> _boxUsb;
    std::unique_ptr<itf::LibUsbInterface> _usb;
    std::unique_ptr<itf::UsbVandrelDataMonitor> _monitor;
    // Every DMX frame sent; those whose records are not made yet are still on the line.
    std::vector<std::unique_ptr<DmxExchange>> _dmxFrames;
    DmxExchange* _dmx = nullptr; // the awaited exchange under way
};

// ---- the bus ------------------------------------------------------------------

Reaction Model::react(const QByteArray& bytes)
{
    Reaction reaction;
    if (bytes.size() != 2)
        return reaction; // gear take no other frames
    const auto first = quint8(bytes.at(0));
    const auto second = quint8(bytes.at(1));
    const bool command = (first & 0x01) && (first < 0xA0 || first >= 0xFC);
    for (Gear& gear : _gears) {
        const bool enabled = gear.enabled6;
        gear.enabled6 = false;
        int answer = -1;
        if (!(first & 0x01) && (first < 0xA0 || first == 0xFE)) {
            if (gear.addressedBy(first) && second != 0xFF)
                gear.level = second;
        } else if (command) {
            if (!gear.addressedBy(first))
                continue;
            switch (second) {
            case QueryActualLevel:
                answer = gear.level;
                break;
            case ReadMemory:
                if (gear.hasLocation())
                    answer = gear.memory[gear.dtr1][gear.dtr0];
                if (gear.dtr0 < 0xFF)
                    ++gear.dtr0;
                break;
            case StoreActualLevelInDtr0:
                gear.dtr0 = gear.level;
                break;
            case QueryGearType:
                if (enabled)
                    answer = gear.gearType;
                break;
            default:
                break;
            }
        } else {
            switch (first) {
            case Dtr0:
                gear.dtr0 = second;
                break;
            case Dtr1:
                gear.dtr1 = second;
                break;
            case EnableDeviceType:
                gear.enabled6 = second == 6;
                break;
            case WriteMemory:
            case WriteMemoryNoReply:
                if (gear.hasLocation()) {
                    gear.memory[gear.dtr1][gear.dtr0] = second;
                    if (first == WriteMemory)
                        answer = second;
                }
                if (gear.dtr0 < 0xFF)
                    ++gear.dtr0;
                break;
            default:
                break;
            }
        }
        if (answer >= 0) {
            ++reaction.answers;
            reaction.byte = quint8(answer);
        }
    }
    return reaction;
}

void Model::make(bool dmx, const QByteArray& bytes, quint8 flags, qint64 tag, Count index)
{
    // A DMX frame on the line is recorded once the line has carried it: the
    // records numbered after it that the box made meanwhile come first.
    if (!dmx && index < 0 && _counter - _dmxLineSince >= 2) {
        // The line carries the frames one after the other: none is recorded
        // before the one sent ahead of it.
        for (auto& pending : _dmxFrames) {
            if (pending->recordsMade)
                continue;
            if (_counter - pending->count < 2 + pending->lateBy)
                break;
            makeDmxRecords(*pending);
        }
    }
    BoxRecord record;
    record.dmx = dmx;
    record.bytes = bytes;
    record.flags = flags;
    record.index = index >= 0 ? index : _counter++;
    record.tag = tag;
    // What the box itself loses of its DALI records before it kept one since
    // it was opened leaves no trace in the index (README says so).
    const bool mayLose = dmx || !_ourDali || (_features.daliRecordsLost && _keptSinceOpen);
    // Without the long runs, lost runs end by 32 indices even where two meet.
    // Beside our DALI frames no run is a whole number of wraps long: the
    // one-byte index cannot show it (README says so).
    // Counted in indices since the highest record kept: an answer slot a DMX
    // frame left empty is part of the run too.
    const bool wholeWraps = _ourDali && _features.daliRecordsLost
        && ((_lostRun + 1) % 256 == 0
            || (_highestKept >= 0 && record.index > _highestKept && (record.index - _highestKept) % 256 == 0));
    const bool aimed = _loseTags.erase(tag) > 0;
    if ((aimed || _loseNext > 0) && mayLose && !wholeWraps && (_features.longLostRuns || _lostRun < 32)) {
        if (!aimed)
            --_loseNext;
        ++_lostRun;
        disturb("a record lost");
        // Long in indices too: the empty answer slots and the DMX records
        // kept out of index order within it count.
        const bool longRun = _lostRun >= 224 || (_highestKept >= 0 && record.index - _highestKept > 224);
        if (longRun && !_longRunPending) {
            _longRunPending = true;
            _dmxGivenSinceLongRun = false;
            if (_dmx)
                _dmx->allowedMiss = true; // the exchange under way may miss its answer
        }
        if (tag > 0 && kindOf(tag) != Echo) {
            auto sent = _sent.find(idOf(tag));
            if (sent != _sent.end()) {
                sent->second->answerLost = true;
                sent->second->lostAnswerAt = record.index;
            }
        }
        if (tag > 0 && kindOf(tag) == Echo && !dmx)
            _ourEchoLost = true;
        _lossUnshown = true;
        _lastLost = std::max(_lastLost, record.index); // a record a failed poll took may lie above it
        note("  (lost) #" + std::to_string(record.index));
        return;
    }
    _lostRun = 0;
    _keptSinceOpen = true;
    _highestKept = std::max(_highestKept, record.index);
    _buffer.push_back(record);
}

void Model::putOnBus(const QByteArray& bytes, int id, bool closes, bool firstCopy)
{
    Sent* ours = id > 0 ? _sent.at(id).get() : nullptr;
    if (!ours)
        disturb("another master's frame");
    else if (bytes.size() == 1 && (_lastOnBusOpen || _lastAnswerByte == quint8(bytes.at(0))))
        // On the bus it is a backward frame, as an answer to the frame before
        // is (or that answer's byte again): which it was, what the box
        // reports cannot show.
        disturb("our one-byte frame where an answer may come");
    const bool enableBefore = _gears[0].enabled6;
    if (ours && ours->memoryRead && !ours->expectedKnown) {
        ours->expectedByte = _gears[0].memory[size_t(ours->expectBank)][size_t(ours->expectLocation)];
        ours->expectedKnown = true;
    }
    const Reaction reaction = react(bytes);
    if (ours && quint8(bytes.at(bytes.size() - 1)) == QueryGearType && bytes.size() == 2 && !enableBefore)
        ours->enableUsedUp = true;
    note(std::string(ours ? "bus: our #" + std::to_string(id) : "bus: another master's") + " " + hex(bytes)
        + (reaction.answers ? " -> answer " + hex(QByteArray(1, char(reaction.byte))) : ""));
    make(false, bytes, 0, tagOf(id, Echo));
    const bool collide = reaction.answers > 1 || (reaction.answers == 1 && _collideNext);
    if (reaction.answers > 0)
        _collideNext = false;
    if (ours && firstCopy && reaction.answers > 0)
        ours->answerMade = true;
    if (collide)
        make(false, QByteArray(1, char(reaction.byte ^ 0x5C)), proto::PACKET_FLAG_FRAME_ERROR,
            tagOf(id, FrameError));
    else if (reaction.answers == 1)
        make(false, QByteArray(1, char(reaction.byte)), 0, tagOf(id, Answer));
    else if (ours && closes)
        make(false, QByteArray(), proto::PACKET_FLAG_TIMEOUT_EVENT, tagOf(id, TimeoutEvent));
    _lastOnBus = ours ? id : 0;
    // Another master's copy of a queued frame of ours looks like ours on the bus.
    const bool copyOfOurs = !ours && std::any_of(_queue.begin(), _queue.end(), [&](const std::pair<int, int>& q) {
        return _sent.at(q.first)->bytes == bytes;
    });
    _lastOnBusOpen = (ours || copyOfOurs) && reaction.answers == 0 && !closes;
    _lastAnswerByte = (ours || copyOfOurs) && reaction.answers == 1 && !collide ? reaction.byte : -1;
    _lastCopiesClosingFrame = copyOfOurs && std::any_of(_queue.begin(), _queue.end(), [&](const std::pair<int, int>& q) {
        return _sent.at(q.first)->bytes == bytes && _sent.at(q.first)->closes;
    });
    _lastWasOurEnable = ours && bytes.size() == 2 && quint8(bytes.at(0)) == EnableDeviceType;
}

void Model::busStep()
{
    if (_queue.empty())
        return;
    const auto [id, copy] = _queue.front();
    _queue.pop_front();
    const Sent& sent = *_sent.at(id);
    if (_features.aimedLosses && !_calm && copy == 0 && _in.rarely(12)) {
        // The box loses our echo, what followed it, or both.
        const int which = 1 + _in.pick(3);
        note("box: loses " + std::string(which == 1 ? "the echo" : which == 2 ? "the answer" : "both records")
            + " of our #" + std::to_string(id));
        if (which & 1)
            _loseTags.insert(tagOf(id, Echo));
        if (which & 2)
            for (RecordKind kind : {Answer, TimeoutEvent, FrameError})
                _loseTags.insert(tagOf(id, kind));
    }
    putOnBus(sent.bytes, id, sent.closes, copy == 0);
    for (RecordKind kind : {Echo, Answer, TimeoutEvent, FrameError})
        _loseTags.erase(tagOf(id, kind));
    // Another master's frame right after our ENABLE DEVICE TYPE uses it up.
    if (_lastWasOurEnable && !_calm && _features.foreignBetweenEnableAndQuery && _in.rarely(3))
        foreignStep();
}

void Model::flushBus()
{
    while (!_queue.empty())
        busStep();
    makeDmxRecords();
}

void Model::foreignFrame(const QByteArray& bytes)
{
    putOnBus(bytes, -(_nextForeign++), false, true);
}

void Model::foreignStep()
{
    if (_calm)
        return;
    if (_lastWasOurEnable && !_features.foreignBetweenEnableAndQuery)
        return; // a known fault: the enable is used up (see Features)
    if (_lastCopiesClosingFrame && !_features.frameAfterCopyOnClosingBox)
        return; // a known fault (see Features)
    QByteArray bytes;
    switch (_in.pick(16)) {
    case 0:
        bytes = frame(0x9F, 0x05); // a group command for gear not on our bus
        break;
    case 1:
        bytes = frame(0x03, QueryActualLevel); // the other gear's level
        break;
    case 2:
        if (!_queue.empty())
            bytes = _sent.at(_queue.front().first)->bytes; // a copy of our next frame
        break;
    case 3:
        if (!_queue.empty())
            bytes = _sent.at(_queue[size_t(_in.pick(int(_queue.size())))].first)->bytes;
        break;
    case 4:
        if (_lastOnBus > 0)
            bytes = _sent.at(_lastOnBus)->bytes; // a copy right after ours
        break;
    case 5: {
        const Thread& thread = _threads[size_t(_in.pick(int(_threads.size())))];
        if (thread.busy && !thread.waiting)
            bytes = nextFrame(thread); // a copy of what a thread is about to send
        break;
    }
    case 6:
        bytes = frame(Dtr0, quint8(_in.pick(256)));
        break;
    case 7:
        bytes = frame(Dtr1, quint8(_in.pick(4)));
        break;
    case 8:
        bytes = frame(0x03, ReadMemory);
        break;
    case 9:
        bytes = frame(0xFF, ReadMemory);
        break;
    case 10:
        bytes = frame(WriteMemory, quint8(_in.pick(256)));
        break;
    case 11:
        bytes = frame(0x01, StoreActualLevelInDtr0);
        break;
    case 12:
        bytes = QByteArray(1, char(_in.rarely(2) ? OneByteFrame : _in.pick(256)));
        break;
    case 13:
        bytes = frame(0x00, quint8(_in.pick(256)));
        break;
    case 14:
        bytes = frame(EnableDeviceType, 6);
        break;
    case 15:
        bytes = frame(0x01, QueryActualLevel);
        break;
    }
    if (bytes.isEmpty())
        return;
    if (!_features.foreignCopyOfUnwrittenRequest
        && std::find(_unwritten.begin(), _unwritten.end(), bytes) != _unwritten.end())
        return; // a known fault (see Features)
    if (!_features.answeredCopyAhead && answeredCopyAhead(bytes))
        return; // undecidable from what the box reports (see Features)
    if (!_features.foreignOneByteAfterOurFrame && bytes.size() == 1 && _lastOnBusOpen)
        return; // on the bus, a backward frame (see Features)
    foreignFrame(bytes);
}

bool Model::answeredCopyAhead(const QByteArray& bytes) const
{
    // A frame the gear answers, identical to one of ours that went out (or is
    // about to) and is not on the bus yet.
    if (bytes.size() != 2 || (quint8(bytes.at(0)) & 0x01) == 0 || quint8(bytes.at(0)) >= 0xA0)
        return false;
    const auto opcode = quint8(bytes.at(1));
    if (opcode != QueryActualLevel && opcode != ReadMemory && opcode != QueryGearType)
        return false;
    for (const auto& queued : _queue)
        if (_sent.at(queued.first)->bytes == bytes)
            return true;
    return false;
}

void Model::makeDmxRecords()
{
    for (auto& pending : _dmxFrames)
        if (!pending->recordsMade)
            makeDmxRecords(*pending);
}

void Model::makeDmxRecords(Clock::time_point upTo)
{
    for (auto& pending : _dmxFrames) {
        if (pending->recordsMade)
            continue;
        if (pending->goneOut + std::chrono::milliseconds(pending->lineMs) > upTo)
            break; // the frames behind it are still on the line too
        makeDmxRecords(*pending);
    }
}

void Model::makeDmxRecords(DmxExchange& dmx)
{
    for (auto& earlier : _dmxFrames) {
        if (earlier.get() == &dmx)
            break;
        if (!earlier->recordsMade)
            makeDmxRecords(*earlier);
    }
    dmx.recordsMade = true;
    const QByteArray payload = QByteArray(1, '\0') + char(dmx.id & 0xFF);
    note("DMX: frame #" + std::to_string(dmx.id) + " recorded at " + std::to_string(dmx.count)
        + (dmx.answers ? ", answered" : ""));
    make(true, payload, 0, tagOf(dmx.id, Echo), dmx.count);
    if (dmx.answers)
        make(true, payload + char(0x42), 0, tagOf(dmx.id, Answer), dmx.count + 1);
    else if (dmx.awaited && _timeoutEvents)
        make(true, QByteArray(), proto::PACKET_FLAG_TIMEOUT_EVENT, tagOf(dmx.id, TimeoutEvent), dmx.count + 1);
    for (RecordKind kind : {Echo, Answer, TimeoutEvent})
        _loseTags.erase(tagOf(dmx.id, kind));
    _dmxLineSince = std::numeric_limits<Count>::max();
    for (auto& pending : _dmxFrames)
        if (!pending->recordsMade)
            _dmxLineSince = std::min(_dmxLineSince, pending->count);
}

// ---- the monitor ------------------------------------------------------------------

void Model::offer(const BoxRecord& record)
{
    std::unique_ptr<proto::RawPacket> packet;
    const auto* data = reinterpret_cast<const unsigned char*>(record.bytes.constData());
    if (record.dmx)
        packet = std::make_unique<proto::DmxPacket>(data, int(record.bytes.size()));
    else
        packet = std::make_unique<proto::DaliPacket>(data, int(record.bytes.size()));
    packet->setIndex(int(record.index & 0xFF));
    packet->setFlags(record.flags);
    packet->setCreationTime(record.tag);
    _lastOffered = std::max(_lastOffered, record.index);
    _reportedSinceOpen = true;
    if (_lossUnshown && record.index > _lastLost)
        _lossUnshown = false; // its index shows the loss
    if (record.tag > 0) {
        const int id = idOf(record.tag);
        auto sent = _sent.find(id);
        if (sent != _sent.end()) {
            if (kindOf(record.tag) == Echo)
                sent->second->echoReported = true;
            else if (kindOf(record.tag) != TimeoutEvent)
                sent->second->answerReported = true;
        }
        if (_dmx && _dmx->id == id && kindOf(record.tag) == Answer)
            _dmx->answerReported = true;
    }
    // The monitor offers every record to every sink, the index first.
    _index.takeRecord(*packet);
    _ledger.takeRecord(*packet);
}

void Model::poll(int records)
{
    makeDmxRecords(Clock::now());
    _lastPollStart = Clock::now();
    ++_transfer;
    _index.recordsFrom(_transfer);
    _ledger.recordsFrom(_transfer);
    for (int i = 0; i < records && !_buffer.empty(); ++i) {
        const BoxRecord record = _buffer.front();
        _buffer.pop_front();
        offer(record);
    }
}

void Model::drainedPass(Clock::time_point began)
{
    poll(int(_buffer.size()));
    _index.passCompleted(began);
    _ledger.passCompleted(began);
}

void Model::freshPasses(int count)
{
    while (!_queue.empty())
        busStep();
    note("monitor: " + std::to_string(count) + " drained passes");
    for (int i = 0; i < count; ++i) {
        // Begun after every DALI frame so far went out and was on the bus:
        // stamped ahead of the host clock by more than an answer window, by
        // less than a frame's time before its records count as lost; a DMX
        // frame still on the line is recorded once its time on it is over.
        drainedPassAt(Clock::now() + std::chrono::milliseconds(100 + 15 * i));
    }
    ++_quietRounds;
}

void Model::drainedPassAt(Clock::time_point began)
{
    makeDmxRecords(began);
    drainedPass(began);
    if (_dmx)
        _dmx->passAfterSeen = true;
    if (_longRunPending && _dmxGivenSinceLongRun && !misplacedDmxToCome())
        _longRunPending = false;
    evaluate();
}

void Model::quickPass()
{
    // Begun soon after the latest frames: a DMX frame still on the line is
    // not recorded yet, and its indices stay open. Or a run of them, one every
    // 5 ms as the monitor polls, some past an answer window.
    const int first = 5 + _in.pick(56);
    const int run = 1 + _in.pick(14);
    const int count = _features.quickPassRuns ? run : 1;
    note("monitor: " + std::to_string(count) + " drained passes begun soon after");
    for (int i = 0; i < count; ++i) {
        drainedPassAt(Clock::now() + std::chrono::milliseconds(_features.quickPassRuns ? 5 * (i + 1) : first));
    }
}

void Model::latePass()
{
    note("monitor: a late pass drains the box");
    drainedPass(_lastPollStart);
}

void Model::failedPoll()
{
    ++_transfer;
    note("monitor: a poll fails");
    disturb("a failed poll");
    // The failed transfer may have taken records with it (they may lengthen a
    // lost run: see longLostRuns).
    const int taken = _features.longLostRuns ? _in.pick(3) : 0;
    for (int i = 0; i < taken && !_buffer.empty(); ++i) {
        const BoxRecord& record = _buffer.front();
        if (!record.dmx && _ourDali && !_features.daliRecordsLost)
            break;
        if (record.tag > 0 && kindOf(record.tag) != Echo) {
            auto sent = _sent.find(idOf(record.tag));
            if (sent != _sent.end()) {
                sent->second->answerLost = true;
                sent->second->lostAnswerAt = record.index;
            }
        }
        if (record.tag > 0 && kindOf(record.tag) == Echo && !record.dmx)
            _ourEchoLost = true;
        _lossUnshown = true;
        _lastLost = std::max(_lastLost, record.index);
        _buffer.pop_front();
    }
    if (!_reportedSinceOpen && !_lossUnshown) {
        // Before any record was reported since the feed began, nothing the
        // box reports can show whether the poll took records: the index of
        // the first one reported is read as following a lost one, and what
        // was owed then is in doubt. The disturbance lasts until that record
        // (or, when it took records, until one numbered after them: a DMX
        // record reported first may be older).
        _lossUnshown = true;
        _lastLost = -1;
    }
    _index.pollFailed(core::ITF_ERR_IO);
    _ledger.pollFailed(core::ITF_ERR_IO);
    if (_dmx && _dmx->mutex)
        _dmx->mutex->pollFailed(core::ITF_ERR_IO);
}

void Model::farPass()
{
    flushBus();
    note("monitor: a drained pass long after every frame (the unreported ones were lost)");
    _farBegan = std::max(_farBegan, Clock::now()) + std::chrono::seconds(10);
    drainedPass(_farBegan);
    if (_dmx)
        _dmx->passAfterSeen = true;
    for (auto& sent : _sent)
        if (sent.second->mutex)
            sent.second->farPassSeen = true;
    // The count finds its place again only at a drained pass after a DMX
    // frame went out (README), however late.
    if (_dmxGivenSinceLongRun && !misplacedDmxToCome())
        _longRunPending = false;
    _ourEchoLost = false; // the frames whose echoes were lost are given up
    _unwritten.clear();
    stalledWaits();
}

void Model::stalledWaits()
{
    // A wait that saw no pass for seconds may end with "the box stopped
    // reporting" (README): (e) does not judge it.
    for (Thread& thread : _threads)
        if (thread.waiting)
            thread.judged = false;
    if (_dmx)
        _dmx->judged = false;
}

void Model::stall()
{
    // The monitor thread stalls for seconds; its next pass drains the box.
    flushBus();
    const int ms = 1000 + 250 * _in.pick(37);
    note("monitor: stalls " + std::to_string(ms) + " ms, then a pass drains the box");
    const auto began = std::max(_farBegan, Clock::now()) + std::chrono::milliseconds(ms);
    drainedPass(began);
    if (_dmx)
        _dmx->passAfterSeen = true;
    // Beyond a frame's time on the bus and the ledger's 3 s, the unreported
    // frames of ours count as lost: their waits may end with a time-out.
    if (ms >= 3500) {
        _farBegan = began;
        for (auto& sent : _sent)
            if (sent.second->mutex)
                sent.second->farPassSeen = true;
        _unwritten.clear();
        stalledWaits();
    }
    if (_dmxGivenSinceLongRun && !misplacedDmxToCome())
        _longRunPending = false;
}

void Model::reopen()
{
    flushBus();
    if (!_features.owedAcrossReopen) {
        // Our frames' records reported before the box is opened anew; the old
        // records it still holds are another master's (see Features).
        poll(int(_buffer.size()));
        for (int i = _in.pick(4); i > 0; --i)
            foreignFrame(frame(0x01, QueryActualLevel));
    }
    disturb("a box opened anew");
    if (_features.primeThroughMonitor && _in.rarely(3)) {
        // An earlier run's traffic the box still holds, more than one monitor
        // pass takes: copies of our query and their answers among it.
        const int frames = 300 + _in.pick(900);
        for (int i = 0; i < frames; ++i) {
            const int foreign = -(_nextForeign++);
            BoxRecord echo;
            echo.bytes = frame(0x01, QueryActualLevel);
            echo.index = _counter++;
            echo.tag = tagOf(foreign, Echo);
            _buffer.push_back(echo);
            BoxRecord answer;
            answer.bytes = QByteArray(1, char(0x33));
            answer.index = _counter++;
            answer.tag = tagOf(foreign, Answer);
            _buffer.push_back(answer);
        }
    }
    for (BoxRecord& record : _buffer)
        record.old = true;
    _unwritten.clear();
    note("box opened anew: " + std::to_string(_buffer.size()) + " old records drained into the log");
    _index.feedEnded(core::ITF_ERR_NO_DEVICE);
    _ledger.feedEnded(core::ITF_ERR_NO_DEVICE);
    _ourEchoLost = _lossUnshown = false; // the ledger forgets what it was owed and counts anew
    _lastLost = -1;
    _reportedSinceOpen = false;
    if (_dmx && _dmx->mutex)
        _dmx->mutex->endFeed(core::ITF_ERR_NO_DEVICE);
    _index.feedEnded(0);
    _ledger.feedEnded(0);
    // The first passes of the new feed take what the box held into the packet
    // log alone, until one drained the box.
    if (_features.primeThroughMonitor && QCoreApplication::instance())
        prime();
    else
        _buffer.clear();
    if (_in.rarely(2))
        _counter = _in.pick(256); // a box powered up anew counts from anywhere
    // Once primed, the senders that waited for it go at once.
    for (Thread& thread : _threads)
        if (!thread.busy && _in.rarely(2))
            hostStep(thread);
    _lastOffered = _counter - 1;
    _keptSinceOpen = false;
    _highestKept = -1;
    _firstDmxSinceOpen = true;
}

void Model::prime()
{
    using Monitor = itf::UsbVandrelDataMonitor;
    if (!_monitor) {
        static char handle = 0;
        _boxUsb = std::make_shared<BoxUsb>(_buffer);
        _usb = std::make_unique<itf::LibUsbInterface>(_boxUsb);
        _monitor = std::make_unique<Monitor>(
            [] { return reinterpret_cast<libusb_device_handle*>(&handle); }, _usb.get());
        _monitor->init(Monitor::PollIntervalMs);
    } else {
        _monitor->stopAndWait(0);
        _monitor->resume(Monitor::PollIntervalMs);
    }
    int passes = 0;
    for (; passes < 64 && !_monitor->isPrimed(); ++passes) {
        // Polls that fail while the box is primed, the first of a pass or a later one.
        if (passes < 6 && _in.rarely(3)) {
            _boxUsb->failAt = _boxUsb->polls + 1 + _in.pick(3);
            note("monitor: poll " + std::to_string(_boxUsb->failAt - _boxUsb->polls) + " of the pass fails");
        }
        _monitor->pollForData();
        _boxUsb->failAt = -1;
    }
    note("monitor: primed after " + std::to_string(passes) + " passes, " + std::to_string(_buffer.size())
        + " records left in the box");
}

// ---- the senders ------------------------------------------------------------------

void Model::startExchange(Thread& thread)
{
    thread.busy = true;
    thread.judged = _features.liveness && quiet();
    thread.asking = thread.attempt = 1;
    thread.step = 0;
    // Memory and device type traffic comes from one thread (the service
    // serialises a device's memory access); the others ask and command.
    const int kinds = thread.number == 0 ? 7 : 5;
    thread.kind = Kind(_in.pick(kinds));
    switch (thread.kind) {
    case Kind::Dapc:
        thread.level = quint8(_in.pick(256));
        break;
    case Kind::OneByte:
        thread.oneByteAwaited = _in.rarely(2);
        break;
    case Kind::MemoryRead:
        thread.bank = quint8(_in.pick(3));
        thread.location = quint8(_in.pick(16));
        thread.count = 1 + _in.pick(std::min(4, 16 - thread.location));
        break;
    default:
        break;
    }
    _outcome.stats.exchanges++;
}

QByteArray Model::nextFrame(const Thread& thread) const
{
    switch (thread.kind) {
    case Kind::Query:
        return frame(0x01, QueryActualLevel);
    case Kind::QueryEmpty:
        return frame(0x0B, QueryActualLevel);
    case Kind::Dapc:
        return frame(0x00, thread.level);
    case Kind::OneByte:
        return QByteArray(1, char(OneByteFrame));
    case Kind::Initialise:
        return frame(Initialise, 0x00);
    case Kind::MemoryRead:
        return thread.step == 0 ? frame(Dtr1, thread.bank)
            : thread.step == 1  ? frame(Dtr0, thread.location)
                                : frame(0x01, ReadMemory);
    case Kind::DeviceTypeQuery:
        return thread.step == 0 ? frame(EnableDeviceType, 6) : frame(0x01, QueryGearType);
    }
    return QByteArray();
}

bool Model::nextAwaited(const Thread& thread) const
{
    switch (thread.kind) {
    case Kind::Query:
    case Kind::QueryEmpty:
        return true;
    case Kind::OneByte:
        return thread.oneByteAwaited;
    case Kind::MemoryRead:
    case Kind::DeviceTypeQuery:
        return thread.step >= (thread.kind == Kind::MemoryRead ? 2 : 1);
    default:
        return false;
    }
}

void Model::send(Thread& thread, const QByteArray& bytes, bool awaited, int copies)
{
    auto sent = std::make_unique<Sent>();
    Sent& s = *sent;
    s.id = _nextId++;
    s.bytes = bytes;
    s.copies = copies;
    s.awaited = awaited;
    s.closes = awaited && _timeoutEvents;
    s.memoryRead = thread.kind == Kind::MemoryRead && thread.step >= 2;
    s.expectBank = thread.bank;
    s.expectLocation = thread.location + thread.step - 2;
    if (awaited) {
        s.mutex = std::make_unique<proto::PacketMutex>(0, false);
        s.mutex->setInterfaceType(proto::PACKET_TYPE_DALI);
    }
    _sent.emplace(s.id, std::move(sent));
    s.behindLostEcho = _ourEchoLost;
    s.ticket = _ledger.sending(bytes, copies, s.mutex.get(), VandrelDaliLedger::RoomWait(), s.closes);
    if (s.ticket == 0) {
        note("T" + std::to_string(thread.number) + ": no room for " + hex(bytes));
        endExchange(thread, nullptr, {VerdictKind::Error, 0, core::ITF_ERR_BUSY});
        return;
    }
    // (Each choice is read whether or not its switch is on, so that an input
    // makes the same order under every set of switches but where they differ.)
    const bool writeFails = _in.rarely(30);
    if (_failNextWrite || (_features.failedTransfers && !_calm && writeFails)) {
        _failNextWrite = false;
        failedTransfer(thread, s);
        return;
    }
    if (!_calm && _in.rarely(40)) {
        note("T" + std::to_string(thread.number) + ": the box refuses " + hex(bytes));
        disturb("a refused request");
        _ledger.refused(s.ticket);
        if (awaited)
            _ledger.release(s.ticket);
        endExchange(thread, nullptr, {VerdictKind::Error, 0, core::ITF_ERR_TRANSFER});
        return;
    }
    if (!_features.answeredCopyAhead) {
        // Another master's identical frame made before ours went out is
        // reported before it (see Features).
        size_t through = 0;
        for (size_t i = 0; i < _buffer.size(); ++i)
            if (_buffer[i].tag < 0 && !_buffer[i].old && kindOf(_buffer[i].tag) == Echo && _buffer[i].bytes == bytes)
                through = i + 2;
        if (through > 0) {
            note("monitor: a poll before our request goes out");
            poll(int(through));
        }
    }
    _ledger.goesOut(s.ticket, ++_transfer);
    note("T" + std::to_string(thread.number) + ": our #" + std::to_string(s.id) + " " + hex(bytes) + " goes out"
        + (awaited ? " (awaited)" : "") + (copies == 2 ? " twice" : ""));
    for (int copy = 0; copy < copies; ++copy)
        _queue.emplace_back(s.id, copy);
    if (awaited) {
        s.mutex->armQuietWindow();
        thread.waiting = s.id;
    }
}

void Model::failedTransfer(Thread& thread, Sent& s)
{
    // The write fails under the transfer mutex: the box never got it.
    ++_transfer;
    note("T" + std::to_string(thread.number) + ": the write of our #" + std::to_string(s.id) + " " + hex(s.bytes)
        + " fails");
    requestNotWritten(_ledger, s.ticket);
    disturb("a failed transfer");
    _unwritten.push_back(s.bytes);
    if (s.awaited) {
        s.mutex->armQuietWindow();
        conclude(thread, s, {VerdictKind::Error, 0, core::ITF_ERR_IO});
    } else {
        endExchange(thread, nullptr, {VerdictKind::Error, 0, core::ITF_ERR_IO});
    }
}

void Model::hostStep(Thread& thread)
{
    if (thread.waiting || !_ourDali)
        return;
    if (!thread.busy)
        startExchange(thread);
    const QByteArray bytes = nextFrame(thread);
    const bool awaited = nextAwaited(thread);
    send(thread, bytes, awaited, thread.kind == Kind::Initialise ? 2 : 1);
    if (!thread.busy || thread.waiting)
        return;
    // Sent without awaiting: the next frame of the exchange, or its end.
    if (thread.kind == Kind::MemoryRead && thread.step < 2) {
        ++thread.step;
        return;
    }
    if (thread.kind == Kind::DeviceTypeQuery && thread.step == 0) {
        // The query follows its enable at once.
        thread.step = 1;
        hostStep(thread);
        return;
    }
    endExchange(thread, nullptr, Verdict());
}

void Model::disturb(const std::string& what)
{
    if (_quietRounds > 0 || _disturbances == 0)
        note("  (disturbance: " + what + ")");
    ++_disturbances;
    _quietRounds = 0;
    for (Thread& thread : _threads)
        thread.judged = false;
    if (_dmx)
        _dmx->judged = false;
}

bool Model::quiet() const
{
    // A round of drained passes since the last disturbance, no loss planned,
    // and no loss the box's index has not shown yet: the record that shows it
    // may be ours, and what was lost may have been its echo.
    return _quietRounds >= 1 && _loseNext == 0 && _loseTags.empty() && !_lossUnshown && !misplacedDmxToCome();
}

bool Model::misplacedDmxToCome() const
{
    return std::any_of(_dmxFrames.begin(), _dmxFrames.end(),
        [](const std::unique_ptr<DmxExchange>& f) { return f->misplaced && !f->recordsMade; });
}

void Model::pollingClient()
{
    // A client asking the same query again and again, every few passes, on
    // whichever request thread is free (an asking in doubt is asked again by
    // its own thread).
    if (!_ourDali)
        return;
    const int askings = 2 + _in.pick(10);
    // 1 its first asking's echo lost, 2 its answer, 3 both; 4 a burst past the
    // hold cap right after the first asking, behind a request of ours whose
    // write failed or whose echo was lost (the asking's records are then held
    // and dropped, and another master's copy of the query, answered, follows
    // the burst); else none.
    const int disturbance = _calm || !_features.aimedLosses ? 0 : _in.pick(6);
    note("a client asks 01 a0 " + std::to_string(askings) + " times");
    bool unwritten = false;
    if (disturbance == 4) {
        for (Thread& other : _threads) {
            if (other.busy)
                continue;
            startExchange(other);
            other.kind = Kind::Dapc;
            unwritten = _features.unwrittenCommandBeforeBurst && _in.pick(2) == 0;
            _failNextWrite = unwritten;
            hostStep(other);
            if (!unwritten)
                _loseTags.insert(tagOf(_nextId - 1, Echo));
            _failNextWrite = false;
            break;
        }
    }
    for (int k = 0; k < askings; ++k) {
        Thread* asking = nullptr;
        for (Thread& thread : _threads)
            if (thread.busy && !thread.waiting && thread.kind == Kind::Query)
                asking = &thread; // asks again
        for (Thread& thread : _threads)
            if (!asking && !thread.busy)
                asking = &thread;
        if (asking) {
            Thread& thread = *asking;
            if (!thread.busy) {
                startExchange(thread);
                thread.kind = Kind::Query;
            }
            hostStep(thread);
            if (k == 0 && thread.waiting && disturbance >= 1 && disturbance <= 3) {
                const int id = thread.waiting;
                if ((disturbance & 1) != 0)
                    _loseTags.insert(tagOf(id, Echo));
                if ((disturbance & 2) != 0)
                    for (RecordKind kind : {Answer, TimeoutEvent, FrameError})
                        _loseTags.insert(tagOf(id, kind));
                note("box: loses records of our #" + std::to_string(id));
            }
        }
        while (!_queue.empty())
            busStep();
        if (k == 0 && disturbance == 4 && _features.pastHoldCap) {
            const int size = _in.pick(13);
            const int frames = _features.holdCapSizes ? 1018 + size : 1100;
            note("another master sends " + std::to_string(frames) + " frames");
            for (int i = 0; i < frames; ++i)
                foreignFrame(frame(0x9F, quint8(i)));
            // Its copy must not be taken for our asking whose records were dropped.
            const QByteArray query = frame(0x01, QueryActualLevel);
            if (!unwritten && (_features.answeredCopyAhead || !answeredCopyAhead(query))) {
                note("another master copies 01 a0");
                foreignFrame(query);
            }
        }
        freshPasses(1 + _in.pick(3));
    }
}

void Model::evaluate()
{
    for (Thread& thread : _threads)
        evaluate(thread);
    evaluateDmx();
}

void Model::evaluate(Thread& thread)
{
    while (thread.waiting) {
        Sent& s = *_sent.at(thread.waiting);
        proto::PacketMutex::WaitRule rule;
        rule.window = std::chrono::milliseconds(60);
        rule.quietPasses = s.closes ? 0 : 12;
        rule.guard = rule.backstop = Clock::time_point(); // long past: never blocks
        Verdict verdict;
        for (;;) {
            const auto outcome = s.mutex->waitForAnswer(rule);
            if (outcome == proto::PacketMutex::WAIT_PACKET) {
                const proto::RawPacket& record = *s.mutex->getPacket();
                const qint64 tag = record.getCreationTime();
                // An echo taken for ours only delays the verdict; a record that
                // makes the verdict must be our frame's own.
                const bool verdictRecord = record.getDataSize() < 2;
                if (idOf(tag) != s.id && verdictRecord) {
                    violation('a', "our #" + std::to_string(s.id) + " " + hex(s.bytes) + " took the "
                            + (kindOf(tag) == TimeoutEvent ? "time-out event" : kindOf(tag) == Echo ? "echo" : "answer")
                            + " of " + (tag < 0 ? "another master's frame" : "our #" + std::to_string(idOf(tag))));
                }
                if (record.isTimeoutEvent()) {
                    verdict = {VerdictKind::NoAnswer, 0, 0};
                } else if (record.isFrameError() || record.getDataSize() == 0) {
                    verdict = {VerdictKind::FrameError, 0, 0};
                } else if (record.getDataSize() == 1) {
                    verdict = {VerdictKind::Value, record.getUint8(0), 0};
                    if (idOf(tag) == s.id && kindOf(tag) == Echo)
                        violation('d', "our #" + std::to_string(s.id) + " " + hex(s.bytes)
                                + " took its own one-byte echo for an answer");
                } else {
                    continue; // an echo
                }
            } else if (outcome == proto::PacketMutex::WAIT_QUIET) {
                verdict = {VerdictKind::NoAnswer, 0, 0};
            } else if (outcome == proto::PacketMutex::WAIT_FEED_ENDED) {
                verdict = {VerdictKind::Error, 0, s.mutex->feedEndStatus()};
            } else if (outcome == proto::PacketMutex::WAIT_GUARD && s.farPassSeen) {
                verdict = {VerdictKind::Error, 0, core::ITF_ERR_TIMEOUT};
            }
            break;
        }
        if (verdict.kind == VerdictKind::None)
            return;
        conclude(thread, s, verdict);
    }
}

void Model::conclude(Thread& thread, Sent& s, Verdict verdict)
{
    // As the DALI interface does once its wait has ended.
    const bool doubt = _ledger.inDoubt(s.ticket);
    const bool disturbed = _ledger.disturbed(s.ticket);
    _ledger.release(s.ticket);
    thread.waiting = 0;
    const std::string name = "our #" + std::to_string(s.id) + " " + hex(s.bytes);
    if (_features.nothingInDoubtUndisturbed && _disturbances == 0) {
        _outcome.stats.undisturbed++;
        if (doubt || disturbed)
            violation('f', name + (doubt ? " in doubt" : " disturbed")
                    + " where nothing was lost, nothing failed and nobody else spoke");
    }
    if (disturbed) {
        verdict = {VerdictKind::Error, 0, core::ITF_ERR_PACKET_NOT_ANSWER};
    } else if (doubt) {
        const bool askable = s.bytes.size() == 2 && quint8(s.bytes.at(1)) == QueryActualLevel;
        note("  " + name + " in doubt");
        if (askable && thread.asking < 3) {
            ++thread.asking;
            s.verdict = {VerdictKind::Error, 0, core::ITF_ERR_PACKET_NOT_ANSWER};
            return; // asked again at the thread's next step
        }
        verdict = {VerdictKind::Error, 0,
            askable ? int(core::ITF_ERR_TOO_MANY_RETRIES) : int(core::ITF_ERR_PACKET_NOT_ANSWER)};
    }
    s.verdict = verdict;
    s.lossShownAtVerdict = s.answerLost && _lastOffered > s.lostAnswerAt;
    note("  " + name + ": "
        + (verdict.kind == VerdictKind::Value          ? "value " + hex(QByteArray(1, char(verdict.byte)))
                : verdict.kind == VerdictKind::NoAnswer ? std::string("no answer")
                : verdict.kind == VerdictKind::FrameError ? std::string("frame error")
                                                          : "error " + std::to_string(verdict.status)));
    if (verdict.kind == VerdictKind::Value && s.memoryRead) {
        _outcome.stats.memoryBytes++;
        if (!s.expectedKnown || verdict.byte != s.expectedByte)
            violation('b', name + " accepted " + hex(QByteArray(1, char(verdict.byte)))
                    + " where our selection's location held "
                    + (s.expectedKnown ? hex(QByteArray(1, char(s.expectedByte))) : std::string("nothing")));
    }
    if (thread.kind == Kind::DeviceTypeQuery && s.enableUsedUp
        && (verdict.kind == VerdictKind::Value || verdict.kind == VerdictKind::NoAnswer)
        && _features.foreignBetweenEnableAndQuery)
        violation('d', name + ": another master's frame used up our ENABLE DEVICE TYPE, yet a result stands");
    // The exchange goes on, starts over, or ends.
    const bool restartable = verdict.kind == VerdictKind::Error && verdict.status == core::ITF_ERR_PACKET_NOT_ANSWER
        && (thread.kind == Kind::MemoryRead || thread.kind == Kind::DeviceTypeQuery);
    if (restartable) {
        if (thread.attempt < 3) {
            ++thread.attempt;
            thread.step = 0;
            return;
        }
        verdict = {VerdictKind::Error, 0, core::ITF_ERR_TOO_MANY_RETRIES};
    }
    if (thread.kind == Kind::MemoryRead && verdict.kind == VerdictKind::Value && ++thread.step < 2 + thread.count)
        return;
    endExchange(thread, &s, verdict);
}

void Model::endExchange(Thread& thread, const Sent* last, Verdict verdict)
{
    thread.busy = false;
    thread.waiting = 0;
    // A one-byte frame of ours sent while one whose echo the box lost is still
    // owed: its echo may as well be that frame's one-byte answer, which the
    // box's reports cannot settle until the lost frame is given up.
    if (last && last->bytes.size() == 1 && last->behindLostEcho)
        thread.judged = false;
    if (thread.judged) {
        // (e): begun once every disturbance had ended, with none since.
        _outcome.stats.judged++;
        const bool failed = verdict.kind == VerdictKind::Error && verdict.status != core::ITF_ERR_BUSY;
        if (failed || thread.asking > 2 || thread.attempt > 2)
            violation('e', "T" + std::to_string(thread.number) + "'s exchange"
                    + (last ? " (last our #" + std::to_string(last->id) + " " + hex(last->bytes) + ")" : "")
                    + " after the bus had recovered: " + (failed ? "error " + std::to_string(verdict.status) : "a result")
                    + " after " + std::to_string(thread.asking) + " askings, " + std::to_string(thread.attempt)
                    + " attempts");
        thread.judged = false;
    }
    Stats& stats = _outcome.stats;
    switch (verdict.kind) {
    case VerdictKind::Value:
        stats.values++;
        break;
    case VerdictKind::NoAnswer:
        stats.noAnswers++;
        break;
    case VerdictKind::None: // sent without awaiting
        break;
    default:
        stats.errors++;
        break;
    }
}

void Model::dmxStep()
{
    if (_dmx)
        return;
    auto dmx = std::make_unique<DmxExchange>();
    dmx->id = _nextId++;
    dmx->awaited = !_in.rarely(4);
    dmx->answers = dmx->awaited && !_in.rarely(4);
    const Count floor = _index.floor();
    if (dmx->awaited) {
        dmx->mutex = std::make_unique<proto::PacketMutex>(0, false);
        dmx->mutex->setInterfaceType(proto::PACKET_TYPE_DMX);
        _index.beginAwait(dmx->mutex.get());
    }
    // Indices made since the last record reported as the frame goes out:
    // records not yet reported, lost ones among them (the index cannot tell
    // them apart).
    const Count unreported = _counter - (_lastOffered + 1);
    // The DMX sender tells the index and the ledger of its frame and the longest it may
    // keep the line (from the box's settings): the frame takes at most that.
    _index.dmxFrameGoesOut(std::chrono::milliseconds(_features.dmxLineMs));
    _ledger.dmxFrameGoesOut(std::chrono::milliseconds(_features.dmxLineMs));
    // The box may report records while the frame's report goes out.
    if (_in.rarely(3)) {
        note("monitor: a poll while the frame's report goes out");
        poll(1 + _in.pick(40));
    }
    dmx->count = _counter;
    _counter += 2;
    dmx->goneOut = Clock::now();
    dmx->lineMs = std::min(_features.dmxLineMs, 23 + _in.pick(183));
    dmx->lateBy = _in.pick(256) % (1 + dmx->lineMs / 25);
    dmx->judged = _features.liveness && quiet();
    if (_features.aimedLosses && !_calm && _in.rarely(10)) {
        const bool own = _in.pick(2) == 0;
        note(std::string("box: will lose the DMX frame's ") + (own ? "own record" : "answer"));
        if (own)
            _loseTags.insert(tagOf(dmx->id, Echo));
        else
            for (RecordKind kind : {Answer, TimeoutEvent})
                _loseTags.insert(tagOf(dmx->id, kind));
    }
    _dmxLineSince = std::min(_dmxLineSince, dmx->count);
    if (unreported >= (_firstDmxSinceOpen ? 224 : 256) || _longRunPending)
        dmx->allowedMiss = true;
    // So many records before the first frame since the box was opened leave
    // the count where the index cannot place it (an older record reads as one
    // numbered after the frame): as after a long lost run, the frames given
    // until a drained pass began after one went out may miss their answers.
    if (_firstDmxSinceOpen && unreported >= 224)
        _longRunPending = true;
    // Likewise, until its records came, for a frame given so far ahead of
    // what was reported.
    if (unreported >= 224) {
        dmx->misplaced = true;
        _longRunPending = true;
        disturb("a DMX frame given where the index cannot place it");
    }
    _firstDmxSinceOpen = false;
    _dmxGivenSinceLongRun = true;
    ++_transfer;
    const Count given = _index.given(quint8(dmx->count & 0xFF), floor);
    _ledger.dmxFrameGiven(quint8(dmx->count & 0xFF), true);
    note("DMX: frame #" + std::to_string(dmx->id) + " goes out at " + std::to_string(dmx->count) + ", given "
        + std::to_string(given) + (dmx->awaited ? " (awaited)" : "") + (dmx->allowedMiss ? ", may be missed" : "")
        + ", on the line " + std::to_string(dmx->lineMs) + " ms");
    if (dmx->awaited) {
        dmx->older = _index.awaitAnswer(given + 1);
        dmx->mutex->expectIndex(int((given + 1) & 0xFF));
        dmx->mutex->armQuietWindow();
    }
    if (dmx->awaited) {
        _dmx = dmx.get();
    } else {
        _outcome.stats.exchanges++;
        _outcome.stats.values++;
    }
    _dmxFrames.push_back(std::move(dmx));
}

void Model::evaluateDmx()
{
    if (!_dmx || !_dmx->mutex)
        return;
    DmxExchange& dmx = *_dmx;
    while (!dmx.mutex->waitForReplyIndex(0)) {
        if (dmx.older > 0) {
            --dmx.older;
            continue;
        }
        const qint64 tag = dmx.mutex->getPacket()->getCreationTime();
        if (idOf(tag) != dmx.id || kindOf(tag) == Echo)
            violation('a', "DMX frame #" + std::to_string(dmx.id) + " took a record of "
                    + (tag < 0 ? "another master's frame" : "our #" + std::to_string(idOf(tag)))
                    + (kindOf(tag) == Echo ? " (a frame's own record)" : ""));
        concludeDmx(kindOf(tag) == TimeoutEvent ? "no answer" : "answer");
        return;
    }
    if (dmx.mutex->feedEndStatus() != 0) {
        concludeDmx("error");
        return;
    }
    if (dmx.answerReported && dmx.passAfterSeen) {
        if (dmx.allowedMiss) {
            _outcome.stats.missed++;
            concludeDmx("missed (allowed)");
        } else {
            violation('c', "DMX frame #" + std::to_string(dmx.id) + " at " + std::to_string(dmx.count)
                    + ": the box reported its answer, the sender did not receive it");
            concludeDmx("missed");
        }
    }
}

void Model::concludeDmx(const char* how)
{
    note(std::string("DMX: frame #") + std::to_string(_dmx->id) + ": " + how);
    // (The model closes no DMX answer window: "no record" is no failure.)
    const bool failed = std::string(how) == "error";
    if (failed && !_dmx->allowedMiss) {
        const std::string name = "DMX frame #" + std::to_string(_dmx->id);
        if (_dmx->judged)
            violation('e', name + " failed (" + how + ") after the bus had recovered");
        else if (_features.nothingInDoubtUndisturbed && _disturbances == 0)
            violation('f', name + " failed (" + how + ") where nothing was lost and nobody else spoke");
    }
    _index.endAwait();
    _outcome.stats.exchanges++;
    if (std::string(how) == "answer")
        _outcome.stats.values++;
    else if (std::string(how) == "no answer")
        _outcome.stats.noAnswers++;
    else
        _outcome.stats.errors++;
    // Its records may still be to come (made with the next bus activity), reaching no one.
    _dmx->mutex.reset();
    _dmx = nullptr;
}

Outcome Model::run()
{
    _timeoutEvents = _in.pick(2) == 1;
    _ourDali = !_in.rarely(4);
    _calm = _in.rarely(3);
    _counter = _in.pick(256);
    _lastOffered = _counter - 1;
    note(std::string("box ") + (_timeoutEvents ? "with" : "without") + " time-out events, first index "
        + std::to_string(_counter) + (_ourDali ? "" : "; no DALI frames of ours") + (_calm ? "; calm" : ""));
    for (int step = 0; step < 600 && !_in.done(); ++step) {
        switch (_in.pick(24)) {
        case 0:
        case 1:
        case 2:
        case 3:
            hostStep(_threads[size_t(_in.pick(int(_threads.size())))]);
            break;
        case 4:
        case 5:
        case 6:
            busStep();
            break;
        case 7:
        case 8:
            foreignStep();
            break;
        case 9:
            if (_features.lostRecords && !_calm) {
                const int kind = _in.pick(4);
                _loseNext = kind < 2 ? 1
                    : kind == 2      ? 2 + _in.pick(31)
                    : _features.longLostRuns ? 33 + _in.pick(300)
                                             : 2 + _in.pick(31);
                note("box: the next " + std::to_string(_loseNext) + " records are lost");
            }
            break;
        case 10:
            note("bus: the next answer collides");
            _collideNext = true;
            break;
        case 11:
            note("monitor: a pass cut short");
            poll(1 + _in.pick(6));
            break;
        case 12:
        case 13:
            freshPasses(1 + _in.pick(14));
            break;
        case 14:
            latePass();
            break;
        case 15:
            if (!_calm)
                failedPoll();
            break;
        case 16:
            farPass();
            break;
        case 17:
            if (_features.reopen && !_calm && _in.rarely(2))
                reopen();
            break;
        case 18:
            if (_features.dmx)
                dmxStep();
            break;
        case 19: {
            // Another master's burst of traffic of its own.
            if (_calm || (_lastWasOurEnable && !_features.foreignBetweenEnableAndQuery)
                || (_lastCopiesClosingFrame && !_features.frameAfterCopyOnClosingBox))
                break;
            int frames = 2 + _in.pick(40);
            if (_features.pastHoldCap && _in.rarely(8)) {
                const int size = _in.pick(52);
                frames = !_features.holdCapSizes ? 1100 : size < 13 ? 2100 : 1018 + size % 13;
            }
            note("another master sends " + std::to_string(frames) + " frames");
            for (int i = 0; i < frames; ++i)
                foreignFrame(frame(0x9F, quint8(i)));
            break;
        }
        case 20:
            if (_features.quickPasses)
                quickPass();
            break;
        case 21:
            if (_features.pollingClient)
                pollingClient();
            break;
        case 22:
            if (_features.stalls && _in.rarely(3))
                stall();
            break;
        case 23:
            freshPasses(1);
            break;
        }
        evaluate();
    }
    // Wind down: every frame on the bus, the box drained, then time enough
    // that every wait ends.
    for (int round = 0; round < 4; ++round) {
        for (Thread& thread : _threads)
            if (thread.busy && !thread.waiting)
                hostStep(thread);
        freshPasses(13);
        farPass();
        evaluate();
    }
    if (_dmx)
        concludeDmx("no record");
    // (c): no "no answer" where the box reported an answer of our frame.
    for (const auto& entry : _sent) {
        const Sent& s = *entry.second;
        if (s.verdict.kind != VerdictKind::NoAnswer)
            continue;
        const std::string name = "our #" + std::to_string(s.id) + " " + hex(s.bytes);
        if (s.answerReported)
            violation('c', name + ": \"no answer\" although the box reported its answer");
        else if (s.lossShownAtVerdict && s.echoReported && !s.closes && _features.lostAnswerIsNoAnswer)
            violation('c', name + ": \"no answer\" although its answer was made (and lost by the box)");
    }
    // Still waiting after every pass (the ledger holds its records): the
    // monitor's backstop ends the wait with a time-out.
    for (Thread& thread : _threads)
        if (thread.waiting)
            conclude(thread, *_sent.at(thread.waiting), {VerdictKind::Error, 0, core::ITF_ERR_TIMEOUT});
    return std::move(_outcome);
}

} // namespace

namespace {

// A traced run's log lines, in their place in the bus order.
Model* tracedModel = nullptr;

void traceLogLine(QtMsgType, const QMessageLogContext&, const QString& message)
{
    tracedModel->logged(message.trimmed().toStdString());
}

} // namespace

Outcome runScenario(const uint8_t* data, size_t size, const Features& features, bool trace)
{
    Model model(data, size, features, trace);
    if (!trace)
        return model.run();
    tracedModel = &model;
    const QtMessageHandler previous = qInstallMessageHandler(traceLogLine);
    Outcome outcome = model.run();
    qInstallMessageHandler(previous);
    tracedModel = nullptr;
    return outcome;
}

} // namespace tarvesk::test::busorder
