#include "interfaces/vandrel_dali_ledger.h"

#include "core/itf_error.h"
#include "log/logging_categories.h"
#include "protocol/dali/dali_command_table.h"
#include "protocol/raw_packet.h"

#include <algorithm>
#include <limits>

namespace tarvesk::itf {

namespace {

// An echo is a forward frame as the box put it on the bus: two bytes or more,
// neither garbled nor the box's note of a missing answer.
bool isForwardFrame(const proto::RawPacket& record)
{
    return record.getDataSize() >= 2 && !record.isFrameError() && !record.isTimeoutEvent();
}

// Bytes as the box recorded them, neither garbled nor a note of a missing answer.
bool isPlainFrame(const proto::RawPacket& record)
{
    return record.getDataSize() >= 1 && !record.isFrameError() && !record.isTimeoutEvent();
}

// Only a frame whose request went out before the poll that reported a record
// (the poll of transfer `from`) can have made it.
template <typename Owed> bool reportable(const Owed& owed, quint64 from)
{
    return owed.transfer != 0 && owed.transfer < from;
}

QByteArray bytesOf(const proto::RawPacket& record)
{
    return QByteArray(reinterpret_cast<const char*>(record.getData()), record.getDataSize());
}

using Dali = proto::DaliCommandTable;

constexpr quint8 Dtr0 = Dali::special("DTR0");
constexpr quint8 Dtr1 = Dali::special("DTR1");
constexpr quint8 WriteMemoryLocation = Dali::special("WRITE MEMORY LOCATION");
constexpr quint8 WriteMemoryLocationNoReply = Dali::special("WRITE MEMORY LOCATION - NO REPLY");
constexpr quint8 ReadMemoryLocation = Dali::opcode("READ MEMORY LOCATION");
constexpr quint8 StoreActualLevelInDtr0 = Dali::opcode("STORE ACTUAL LEVEL IN DTR0");
constexpr quint8 EnableDeviceType = Dali::special("ENABLE DEVICE TYPE");
// A device type's own commands (IEC 62386-2xx) act only right after ENABLE DEVICE TYPE.
constexpr quint8 FirstDeviceTypeCommand = 0xE0;
// The D4i energy banks, whose lock byte latches their values.
constexpr int FirstLatchingBank = 202;
constexpr int LastLatchingBank = 204;

bool isFrame(const QByteArray& frame, quint8 first)
{
    return frame.size() == 2 && quint8(frame.at(0)) == first;
}

bool isMemoryWrite(const QByteArray& frame)
{
    return isFrame(frame, WriteMemoryLocation) || isFrame(frame, WriteMemoryLocationNoReply);
}

bool isDeviceTypeCommand(const QByteArray& frame)
{
    return frame.size() == 2 && Dali::addressesCommand(quint8(frame.at(0)))
        && quint8(frame.at(1)) >= FirstDeviceTypeCommand;
}

// Whether a backward frame can answer the frame: a query, or a frame the
// command table does not know (three bytes, a device type's own command).
bool mayBeAnswered(const QByteArray& frame)
{
    if (frame.size() != 2)
        return true;
    const auto first = quint8(frame.at(0));
    const auto second = quint8(frame.at(1));
    const bool addressed = first < 0xA0 || first >= 0xFC;
    if (addressed && !Dali::addressesCommand(first))
        return false; // direct arc power
    const proto::DaliCommand* command = Dali::addressesCommand(first) ? Dali::find(Dali::Kind::Standard, second)
                                                                     : Dali::find(Dali::Kind::Special, first);
    return !command || command->expectsAnswer();
}

// What a forward frame does to the gear's memory bank selection (DTR1) and
// memory pointer (DTR0), and whether its bytes depend on them.
struct MemoryEffect
{
    enum Reach { None, Bank, AllGear, OneGear };
    Reach reach = None;
    int shortAddress = -1; // of OneGear
    bool accessesMemory = false;
};

MemoryEffect memoryEffectOf(const QByteArray& frame)
{
    MemoryEffect effect;
    if (frame.size() != 2)
        return effect;
    const auto first = quint8(frame.at(0));
    const auto second = quint8(frame.at(1));
    if (Dali::addressesCommand(first)) {
        if (second != ReadMemoryLocation && second != StoreActualLevelInDtr0)
            return effect;
        effect.accessesMemory = second == ReadMemoryLocation;
        // A group's members are not known here: it counts as all gear.
        effect.reach = first < 0x80 ? MemoryEffect::OneGear : MemoryEffect::AllGear;
        effect.shortAddress = first < 0x80 ? first >> 1 : -1;
        return effect;
    }
    switch (first) {
    case Dtr1:
        effect.reach = MemoryEffect::Bank;
        break;
    case Dtr0:
        effect.reach = MemoryEffect::AllGear;
        break;
    case WriteMemoryLocation:
    case WriteMemoryLocationNoReply:
        effect.reach = MemoryEffect::AllGear;
        effect.accessesMemory = true;
        break;
    default:
        break;
    }
    return effect;
}

} // namespace

VandrelDaliLedger::VandrelDaliLedger(std::chrono::milliseconds frameTime)
    : _frameTime(frameTime)
{ }

VandrelDaliLedger::Ticket VandrelDaliLedger::sending(const QByteArray& frame, int copies,
    proto::PacketMutex* waiter, const RoomWait& room, bool closesExchange)
{
    std::unique_lock<std::mutex> locker(_mutex);
    // An awaited frame goes out only once no earlier frame of ours with its
    // bytes is owed: so a frame whose records were lost puts no later frame's
    // answer in question (its records could be either's), and asking again
    // after a loss gets a right answer once the lost frame is given up.
    const auto twinOwed = [&] {
        const auto same = [&frame](const Owed& o) { return o.frame == frame; };
        return waiter
            && (std::any_of(_owed.begin(), _owed.end(), same)
                || std::any_of(_echoMayCome.begin(), _echoMayCome.end(), same));
    };
    if (copies > 0 && (!hasRoom() || twinOwed())) {
        const auto start = Clock::now();
        // A frame still owed is given up LostAfter past its time on the bus,
        // at the first pass that drained the box after that.
        const auto backstop = start + std::max(room.guard, room.backstop);
        const auto roomGuard = start + room.guard;
        const auto twinGuard = std::min(roomGuard + LostAfter + _frameTime * 2, backstop);
        for (;;) {
            // A feed that ended while we waited frees the room, but nothing
            // sent now would be reported.
            const bool full = !hasRoom();
            if (!full && !twinOwed() && _endStatus == 0)
                break;
            const auto guard = full ? roomGuard : twinGuard;
            const auto now = Clock::now();
            if (_endStatus != 0 || now >= backstop || (now >= guard && _lastDrainedPassBegan >= start)) {
                const QString bytes = QString::fromLatin1(frame.toHex(' '));
                const QString why = full
                    ? QStringLiteral(GLOG_PREFIX "DALI: %1 frames sent are not reported yet; %2 not sent")
                          .arg(MaxOwed)
                          .arg(bytes)
                    : QStringLiteral(GLOG_PREFIX "DALI: an earlier %1 is still not reported; not sent")
                          .arg(bytes);
                qCWarning(service::loggerGlog()).noquote() << why;
                return 0;
            }
            _room.wait_until(locker, now < guard ? guard : std::max(guard, backstop));
        }
    }
    const Ticket ticket = _nextTicket++;
    if (copies > 0) {
        Owed owed;
        owed.ticket = ticket;
        owed.frame = frame;
        owed.echoesLeft = owed.copies = copies;
        owed.closesExchange = closesExchange;
        _owed.push_back(owed);
    }
    if (waiter) {
        _waiters.emplace(ticket, waiter);
        if (_endStatus != 0)
            waiter->endFeed(_endStatus);
    }
    return ticket;
}

void VandrelDaliLedger::goesOut(Ticket ticket, quint64 transfer)
{
    std::lock_guard<std::mutex> locker(_mutex);
    for (Owed& owed : _owed) {
        if (owed.ticket == ticket) {
            owed.transfer = transfer;
            owed.wentOut = Clock::now();
            owed.drainedBefore = _lastDrainedPassBegan;
        }
    }
}

void VandrelDaliLedger::recordsFrom(quint64 transfer)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _recordsFrom = transfer;
}

void VandrelDaliLedger::refused(Ticket ticket)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _waiters.erase(ticket);
    _owed.erase(
        std::remove_if(_owed.begin(), _owed.end(), [ticket](const Owed& o) { return o.ticket == ticket; }),
        _owed.end());
    settleIfOldestGone();
    _room.notify_all();
}

void VandrelDaliLedger::release(Ticket ticket)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _waiters.erase(ticket);
    _doubted.erase(ticket);
    _disturbed.erase(ticket);
}

bool VandrelDaliLedger::disturbed(Ticket ticket) const
{
    std::lock_guard<std::mutex> locker(_mutex);
    return _disturbed.count(ticket) > 0;
}

void VandrelDaliLedger::noteForeignFrame(const QByteArray& frame)
{
    ++_busFrames;
    // Another master's exact copy of our ENABLE DEVICE TYPE enables the gear
    // for the same device type, right before our next frame as ours did.
    if (_ourEnabling != 0 && frame == _ourEnablingFrame)
        _ourEnabling = _busFrames;
    else
        _foreignFrame = _busFrames;
    if (isMemoryWrite(frame))
        _foreignMemoryWrite = _busFrames;
    const MemoryEffect effect = memoryEffectOf(frame);
    switch (effect.reach) {
    case MemoryEffect::Bank:
        _foreignBankChange = _busFrames;
        break;
    case MemoryEffect::AllGear:
        _foreignPointerChangeAll = _busFrames;
        break;
    case MemoryEffect::OneGear:
        _foreignPointerChangeAt[size_t(effect.shortAddress)] = _foreignPointerChangeAny = _busFrames;
        break;
    case MemoryEffect::None:
        break;
    }
    // Another master's identical memory frame beside our current one, its
    // echo taken for ours: the gear's pointer moved on twice.
    if (effect.accessesMemory && isOursUnanswered() && frame == _onBus.frame.frame
        && _waiters.count(_onBus.frame.ticket))
        _disturbed.insert(_onBus.frame.ticket);
}

void VandrelDaliLedger::noteOurFrame(Ticket ticket, const QByteArray& frame)
{
    ++_busFrames;
    const bool awaited = _waiters.count(ticket) > 0;
    const quint64 enabling = _ourEnabling;
    _ourEnabling = isFrame(frame, EnableDeviceType) ? _busFrames : 0;
    _ourEnablingFrame = _ourEnabling != 0 ? frame : QByteArray();
    if (isDeviceTypeCommand(frame) && awaited && enabling != 0 && _foreignFrame > enabling) {
        // The gear took the enabling for the other master's frame.
        _disturbed.insert(ticket);
        return;
    }
    if (isFrame(frame, Dtr1)) {
        _ourBankSelection = _busFrames;
        _ourBank = quint8(frame.at(1));
        return;
    }
    if (isFrame(frame, Dtr0)) {
        _ourLocationSelection = _busFrames;
        _ourLocation = quint8(frame.at(1));
        _ourLocationMoved = false;
        return;
    }
    const MemoryEffect effect = memoryEffectOf(frame);
    if (isMemoryWrite(frame) && !_ourLocationMoved && _ourLocation == Dali::LockByteLocation
        && _ourBank >= FirstLatchingBank && _ourBank <= LastLatchingBank)
        _ourLatch = quint8(frame.at(1)) == Dali::LatchValue ? _busFrames : 0;
    if (effect.accessesMemory)
        _ourLocationMoved = true;
    if (!effect.accessesMemory || !awaited)
        return;
    const quint64 pointerChange = std::max(_foreignPointerChangeAll,
        effect.reach == MemoryEffect::OneGear ? _foreignPointerChangeAt[size_t(effect.shortAddress)]
                                              : _foreignPointerChangeAny);
    if (_foreignBankChange > _ourBankSelection || pointerChange > _ourLocationSelection)
        _disturbed.insert(ticket);
    // Under our latch, another master's memory write may have released it.
    if (!isMemoryWrite(frame) && _ourLatch != 0 && _foreignMemoryWrite > _ourLatch)
        _disturbed.insert(ticket);
}

void VandrelDaliLedger::noteUnseenFrames()
{
    // Records that were dropped unseen: any of them may have been another
    // master's frame that moved every gear's memory pointer, used up our
    // ENABLE DEVICE TYPE or released our latch.
    ++_busFrames;
    _foreignBankChange = _foreignPointerChangeAll = _foreignPointerChangeAny = _busFrames;
    _foreignFrame = _foreignMemoryWrite = _busFrames;
}

bool VandrelDaliLedger::inDoubt(Ticket ticket) const
{
    std::lock_guard<std::mutex> locker(_mutex);
    return _doubted.count(ticket) > 0;
}

int VandrelDaliLedger::owedCount() const
{
    std::lock_guard<std::mutex> locker(_mutex);
    return int(_owed.size());
}

int VandrelDaliLedger::endStatus() const
{
    std::lock_guard<std::mutex> locker(_mutex);
    return _endStatus;
}

bool VandrelDaliLedger::takeRecord(const proto::RawPacket& record)
{
    // Every record moves the box's index, whoever takes it.
    const bool dali = record.getPacketType() == proto::PACKET_TYPE_DALI;
    std::lock_guard<std::mutex> locker(_mutex);
    const VandrelRecordGaps::Count count = _gaps.see(quint8(record.getIndex()),
        record.getPacketType() == proto::PACKET_TYPE_DMX ? VandrelRecordGaps::Kind::Dmx
                                                         : VandrelRecordGaps::Kind::Other);
    if (dali && _gated.empty() && !_gaps.openBelow(count)) {
        if (_gaps.takeLostBelow(count))
            lostHere(_recordsFrom);
        offer(record, _recordsFrom);
        return true;
    }
    if (dali) {
        Held gated;
        gated.record.reset(record.clone());
        gated.recordsFrom = _recordsFrom;
        gated.count = count;
        _gated.push_back(std::move(gated));
    }
    releaseGated();
    return dali;
}

void VandrelDaliLedger::releaseGated()
{
    while (!_gated.empty()) {
        Held& next = _gated.front();
        if (_gaps.openBelow(next.count))
            return;
        if (_gaps.takeLostBelow(next.count))
            lostHere(next.recordsFrom);
        const Held released = std::move(next);
        _gated.pop_front();
        offer(*released.record, released.recordsFrom);
    }
    // Nothing waits: what was lost came before any DALI record still to come.
    if (_gaps.takeLostBelow(std::numeric_limits<VandrelRecordGaps::Count>::max()))
        lostHere(_recordsFrom);
}

void VandrelDaliLedger::lostHere(quint64 from)
{
    // Behind held records the loss keeps its place in bus order: what it does
    // to the memory pointers and to the frame on the bus comes after them.
    if (_heldBehind == 0) {
        recordsLost(from);
        return;
    }
    if (int(_held.size()) >= MaxHeld) {
        dropHeld(from);
        return;
    }
    Held marker;
    marker.recordsFrom = from;
    _held.push_back(std::move(marker));
}

void VandrelDaliLedger::recordsLost(quint64 from)
{
    // Whose they were is past knowing: the answer of our frame on the bus, the
    // echo of a frame still owed (a later one of the same bytes would take
    // its records), another master's frame that moved a memory pointer or
    // used up our ENABLE DEVICE TYPE.
    noteUnseenFrames();
    int doubted = forgetFrameOnBus();
    for (Owed& owed : _owed) {
        if (reportable(owed, from) && !owed.suspect) {
            suspect(owed);
            ++doubted;
        }
    }
    qCWarning(service::loggerGlog()).noquote()
        << QStringLiteral(GLOG_PREFIX "DALI: the box lost records; %1 frames in doubt").arg(doubted);
}

int VandrelDaliLedger::forgetFrameOnBus()
{
    int doubted = 0;
    if (isOursUnanswered()) {
        if (_waiters.count(_onBus.frame.ticket)) {
            doubt(_onBus.frame.ticket);
            ++doubted;
        }
        // The echo it took may have been another master's identical frame,
        // which only the records that went unseen could have shown: its own
        // may still come, and must not be taken for a later frame of its bytes.
        echoMayCome(_onBus.frame);
    }
    _onBus = OnBus();
    return doubted;
}

void VandrelDaliLedger::echoMayCome(const Owed& frame)
{
    _echoMayCome.push_back(frame);
    if (int(_echoMayCome.size()) > MaxOwed)
        _echoMayCome.pop_front();
}

bool VandrelDaliLedger::overdue(const Owed& frame, Clock::time_point began) const
{
    // A pass that began no later than the last one drained before the frame
    // went out began before it: it tells nothing of the frame.
    return began > frame.drainedBefore && frame.wentOut + _frameTime * frame.copies + LostAfter <= began;
}

void VandrelDaliLedger::dropGated()
{
    _gaps.restart();
    if (_gated.empty())
        return;
    _gated.clear();
    noteUnseenFrames();
}

void VandrelDaliLedger::offer(const proto::RawPacket& record, quint64 from)
{
    if (_heldBehind != 0) {
        if (!isPlainFrame(record) || !isOldestsEcho(bytesOf(record), from)) {
            hold(record, from);
            return;
        }
        // Our oldest frame came on the bus after them: they were another
        // master's. Unless the records of our oldest frame may have been lost:
        // then this echo may be a later identical frame's, and the held records
        // ours; whose they are is past knowing.
        if (_owed.front().suspect)
            suspectHeldOwners(from);
        settleHeldForeign();
    }
    account(record, from, Replay::Live);
}

bool VandrelDaliLedger::isOldestsEcho(const QByteArray& bytes, quint64 from) const
{
    return !_owed.empty() && reportable(_owed.front(), from) && _owed.front().frame == bytes;
}

bool VandrelDaliLedger::isLaterOnesEcho(const QByteArray& bytes, quint64 from) const
{
    return !_owed.empty() && reportable(_owed.front(), from)
        && std::any_of(std::next(_owed.begin()), _owed.end(),
            [&](const Owed& o) { return reportable(o, from) && o.frame == bytes; });
}

bool VandrelDaliLedger::isOursUnanswered() const
{
    return _onBus.frame.ticket != 0 && (_onBus.stage == Stage::Open || _onBus.stage == Stage::Twinned);
}

// The ownership rule: what one record is, given the frame on the bus (the one
// whose echo came last, ours or another master's, and its stage) and the
// oldest owed frame (the first of ours still owed an echo; counted only once
// its request went out before the poll that reported the record). The first
// row that fits decides:
//
//   record                    when                                          event
//   echo (2 bytes or more)    ours on the bus Open, closing, other bytes    NotOurs
//                             the oldest owed frame's bytes                 OldestsEcho
//                             ours on the bus unanswered, sent once, same   Twin
//                             a later owed frame's bytes (live records)     LaterEcho
//                             otherwise                                     ForeignEcho
//   one byte                  the oldest owed frame's byte, and ours on the
//                               bus not unanswered and closing              ShortEcho, or DoubtfulEcho
//                                                                             when ours is unanswered
//                             ours on the bus unanswered, a one-byte
//                               frame, the same byte                        ByteAgain
//                             a later owed frame's byte (live records)      LaterEcho
//   anything else             on the bus: another master's frame, or ours
//                               unanswered where it may be answered         Answer
//                             otherwise                                     Stray
//
// And what each event does (account()):
//
//   NotOurs       the box follows each of our closing frame's echoes with a
//                 record, so that echo was another master's identical frame:
//                 ours is owed again (see oweAgain for one in doubt); the
//                 record is then looked at anew
//   OldestsEcho   ours on the bus, Open; passed on to its sender
//   ShortEcho     the same, not passed on (it would be taken for the answer)
//   DoubtfulEcho  the same, and ours that was on the bus is in doubt
//   Twin          another master's frame; unless closing, ours is Twinned
//   LaterEcho     the records from here on are held (offer, settle*)
//   ForeignEcho   another master's frame on the bus, Open; nobody's
//   ByteAgain     ours on the bus is in doubt
//   Answer        Closed; passed on to our sender, but a Twinned frame's
//                 answer is nobody's and the frame is in doubt
//   Stray         nobody's; in live records after a frame of ours it may
//                 be the answer of the oldest owed frame after its echo was
//                 lost: that frame becomes suspect (after another master's
//                 frame, or none known, it is left to that traffic)
//
// A suspect frame's sender is told it is in doubt and nothing more reaches
// it; an echo it takes may be a later owed frame's of the same bytes, which
// becomes suspect too.
VandrelDaliLedger::Event VandrelDaliLedger::classify(
    const proto::RawPacket& record, const QByteArray& bytes, quint64 from, Replay replay) const
{
    const Owed& onBus = _onBus.frame;
    const bool oursUnanswered = isOursUnanswered();
    if (isForwardFrame(record)) {
        if (oursUnanswered && _onBus.stage == Stage::Open && onBus.closesExchange && bytes != onBus.frame)
            return Event::NotOurs;
        if (isOldestsEcho(bytes, from))
            return Event::OldestsEcho;
        if (oursUnanswered && onBus.copies == 1 && bytes == onBus.frame)
            return Event::Twin;
        return replay == Replay::Live && isLaterOnesEcho(bytes, from) ? Event::LaterEcho : Event::ForeignEcho;
    }
    if (isPlainFrame(record) && record.getDataSize() == 1) {
        if (isOldestsEcho(bytes, from) && !(oursUnanswered && onBus.closesExchange))
            return oursUnanswered ? Event::DoubtfulEcho : Event::ShortEcho;
        if (oursUnanswered && onBus.frame.size() < 2 && bytes == onBus.frame)
            return Event::ByteAgain;
        // A later one-byte frame's echo, or an answer: which shows later.
        if (replay == Replay::Live && isLaterOnesEcho(bytes, from))
            return Event::LaterEcho;
    }
    if (_onBus.stage != Stage::Unknown && onBus.ticket == 0)
        return Event::Answer; // another master's traffic
    if (oursUnanswered
        && (onBus.closesExchange || _waiters.count(onBus.ticket) || mayBeAnswered(onBus.frame)))
        return Event::Answer;
    return Event::Stray;
}

void VandrelDaliLedger::account(const proto::RawPacket& record, quint64 from, Replay replay)
{
    const QByteArray bytes = bytesOf(record);
    Event event = classify(record, bytes, from, replay);
    if (event == Event::NotOurs) {
        oweAgain();
        event = classify(record, bytes, from, replay);
    }
    switch (event) {
    case Event::NotOurs:
        break; // not again: our frame is no longer on the bus
    case Event::DoubtfulEcho:
        // Or the answer of our frame before it, with the same byte: whose it
        // is cannot be told.
        doubt(_onBus.frame.ticket);
        takeOldest(from);
        break;
    case Event::ShortEcho:
        takeOldest(from);
        break;
    case Event::OldestsEcho:
        takeOldest(from);
        pass(record);
        break;
    case Event::Twin:
        // One of the two is another master's identical frame, made on the bus
        // before ours or after it. Ours would have been followed by its answer
        // or time-out event at once on a closing box: the first was the other's.
        noteForeignFrame(bytes);
        if (!_onBus.frame.closesExchange)
            _onBus.stage = Stage::Twinned;
        break;
    case Event::LaterEcho:
        _heldBehind = _owed.front().ticket;
        hold(record, from);
        break;
    case Event::ForeignEcho:
        noteForeignFrame(bytes);
        _onBus = OnBus();
        _onBus.stage = Stage::Open;
        _onBus.frame.frame = bytes;
        break;
    case Event::ByteAgain:
        // Its answer, or its echo after another master's answer was taken for the echo.
        doubt(_onBus.frame.ticket);
        break;
    case Event::Answer:
        if (_onBus.stage == Stage::Twinned) {
            // Which of the two frames this answers is unknown: nobody gets it.
            doubt(_onBus.frame.ticket);
            _onBus.stage = Stage::Closed;
            break;
        }
        _onBus.stage = Stage::Closed;
        pass(record);
        break;
    case Event::Stray:
        // After a frame of ours (no query, or answered already), in live
        // records: the answer of the oldest owed frame, its echo lost?
        if (replay == Replay::Live && _onBus.frame.ticket != 0 && !_owed.empty()
            && reportable(_owed.front(), from))
            suspect(_owed.front());
        break;
    }
}

void VandrelDaliLedger::takeOldest(quint64 from)
{
    Owed& owed = _owed.front();
    _onBus.stage = Stage::Open;
    _onBus.frame = owed;
    noteOurFrame(owed.ticket, owed.frame);
    if (owed.suspect) {
        // Its own echo may have been lost: this one may be a later frame's.
        for (Owed& later : _owed) {
            if (later.ticket != owed.ticket && reportable(later, from) && later.frame == owed.frame)
                suspect(later);
        }
    }
    if (--owed.echoesLeft <= 0)
        _owed.pop_front();
    _room.notify_all();
}

void VandrelDaliLedger::oweAgain()
{
    // Counted as the other master's frame it was (beside ours, if it reads memory).
    noteForeignFrame(_onBus.frame.frame);
    if (_onBus.frame.suspect) {
        // Its own records may have been lost. Owed again, it would take the
        // next record with its bytes, which a later frame's may have (our
        // one-byte frame's and a later query's answer), and be shown not ours
        // again, for as long as the query is asked. Its sender knows it is in
        // doubt. Unless a drained pass began after its time on the bus (with
        // no record gated behind an open index), its echo may yet come, after
        // the echo of a frame of ours owed now.
        const Owed lost = _onBus.frame;
        _onBus = OnBus();
        if (!_gated.empty() || !overdue(lost, _lastDrainedPassBegan)) {
            for (Owed& later : _owed) {
                if (!later.suspect)
                    suspect(later);
            }
            echoMayCome(lost);
        }
        return;
    }
    Owed owed = _onBus.frame;
    if (!_owed.empty() && _owed.front().ticket == owed.ticket) {
        ++_owed.front().echoesLeft;
    } else {
        owed.echoesLeft = 1;
        _owed.push_front(owed);
    }
    _onBus = OnBus();
}

void VandrelDaliLedger::pass(const proto::RawPacket& record)
{
    if (_onBus.frame.ticket == 0 || _onBus.frame.suspect)
        return;
    const auto waiter = _waiters.find(_onBus.frame.ticket);
    if (waiter != _waiters.end())
        waiter->second->checkPacket(&record);
}

void VandrelDaliLedger::suspect(Owed& owed)
{
    owed.suspect = true;
    if (_onBus.frame.ticket == owed.ticket)
        _onBus.frame.suspect = true;
    doubt(owed.ticket);
}

void VandrelDaliLedger::doubt(Ticket ticket)
{
    const auto waiter = _waiters.find(ticket);
    if (waiter == _waiters.end())
        return;
    _doubted.insert(ticket);
    waiter->second->endFeed(core::ITF_ERR_PACKET_NOT_ANSWER);
}

void VandrelDaliLedger::hold(const proto::RawPacket& record, quint64 from)
{
    if (int(_held.size()) >= MaxHeld) {
        dropHeld(from);
        return;
    }
    Held held;
    held.record.reset(record.clone());
    held.recordsFrom = from;
    _held.push_back(std::move(held));
}

void VandrelDaliLedger::dropHeld(quint64 from)
{
    // Which frame the held records were is past knowing within the bound: every
    // frame of ours behind the oldest that may have made one of them is in
    // doubt, and none of them is given to anybody. So is the oldest: had its
    // records been lost, the held ones were ours, and the next echo of its
    // bytes would be another master's copy, whose answer is not its own.
    int doubted = suspectHeldOwners(from);
    if (!_owed.empty() && _owed.front().ticket == _heldBehind && !_owed.front().suspect) {
        suspect(_owed.front());
        ++doubted;
    }
    const quint64 dropped = _held.size() + 1;
    _droppedHeld += dropped;
    _held.clear();
    _heldBehind = 0;
    noteUnseenFrames();
    const int onBus = forgetFrameOnBus(); // its answer may have been among them
    // Once a MaxHeld records, not once a record.
    qCWarning(service::loggerGlog()).noquote()
        << QStringLiteral(GLOG_PREFIX "DALI: more than %1 records held behind a frame the box has not reported; "
                                      "%2 dropped (%3 since start), %4 frames in doubt")
               .arg(MaxHeld)
               .arg(dropped)
               .arg(_droppedHeld)
               .arg(doubted + onBus);
}

int VandrelDaliLedger::suspectHeldOwners(quint64 from)
{
    for (const Held& held : _held)
        from = std::max(from, held.recordsFrom);
    int doubted = 0;
    for (auto owed = std::next(_owed.begin()); owed != _owed.end(); ++owed) {
        if (reportable(*owed, from) && !owed->suspect) {
            suspect(*owed);
            ++doubted;
        }
    }
    return doubted;
}

void VandrelDaliLedger::settleHeldForeign()
{
    std::deque<Held> held;
    held.swap(_held);
    _heldBehind = 0;
    for (const Held& h : held) {
        if (h.record)
            account(*h.record, h.recordsFrom, Replay::Foreign);
        else
            recordsLost(h.recordsFrom);
    }
}

void VandrelDaliLedger::settleIfOldestGone()
{
    if (_heldBehind == 0 || (!_owed.empty() && _owed.front().ticket == _heldBehind))
        return;
    // Taken again in order; they may be held again, behind the next oldest frame.
    std::deque<Held> pending;
    pending.swap(_held);
    _heldBehind = 0;
    for (const Held& h : pending) {
        if (h.record)
            offer(*h.record, h.recordsFrom);
        else
            lostHere(h.recordsFrom);
    }
}

void VandrelDaliLedger::passCompleted(Clock::time_point began)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _lastDrainedPassBegan = std::max(_lastDrainedPassBegan, began);
    if (const VandrelRecordGaps::Count shift = _gaps.passCompleted(began)) {
        for (Held& gated : _gated)
            gated.count += shift;
    }
    releaseGated();
    // A frame's echo or answer may be among the gated records or the indices
    // still to come (shown by a DMX record as well): none given up, no verdict yet.
    if (!_gated.empty() || _gaps.openBelow(std::numeric_limits<VandrelRecordGaps::Count>::max()))
        return;
    // A frame whose time on the bus was over well before this pass began would
    // have been reported by now: its records were lost and will not come any
    // more. (The margin covers a record the reassembler still holds.)
    const auto lost = [this, began](const Owed& o) {
        return o.transfer != 0 && o.transfer < _recordsFrom && overdue(o, began);
    };
    _echoMayCome.erase(std::remove_if(_echoMayCome.begin(), _echoMayCome.end(),
                           [this, began](const Owed& o) { return overdue(o, began); }),
        _echoMayCome.end());
    size_t givenUp = 0;
    // While records are held, the frames behind the oldest may have their
    // echoes among them: only the oldest can be given up, and then the held
    // records are taken again.
    while (_heldBehind != 0 && !_owed.empty() && lost(_owed.front())) {
        giveUp(_owed.front());
        _owed.pop_front();
        ++givenUp;
        settleIfOldestGone();
    }
    if (_heldBehind == 0) {
        const auto before = _owed.size();
        for (const Owed& owed : _owed) {
            if (lost(owed))
                giveUp(owed);
        }
        _owed.erase(std::remove_if(_owed.begin(), _owed.end(), lost), _owed.end());
        givenUp += before - _owed.size();
    }
    if (givenUp > 0)
        qCDebug(service::loggerGlog()).noquote()
            << QStringLiteral("DALI: %1 frames sent were never reported").arg(givenUp);
    _room.notify_all();
    if (_heldBehind != 0)
        return; // a waiter's records may be among the held ones: no verdict yet
    for (const auto& waiter : _waiters) {
        // Quiet passes say nobody answered a frame only once the box showed it
        // on the bus (a box that times the answer says so with a record).
        const bool echoOwed = std::any_of(_owed.begin(), _owed.end(),
            [&waiter](const Owed& o) { return o.ticket == waiter.first && !o.closesExchange; });
        if (!echoOwed)
            waiter.second->passCompleted(began);
    }
}

void VandrelDaliLedger::giveUp(const Owed& owed)
{
    // Its echo never came: whether it was on the bus and answered is unknown.
    const auto waiter = _waiters.find(owed.ticket);
    if (waiter != _waiters.end())
        waiter->second->endFeed(core::ITF_ERR_TIMEOUT);
}

void VandrelDaliLedger::dmxFrameGoesOut(std::chrono::microseconds busy)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _gaps.dmxFrameGoesOut(busy);
}

void VandrelDaliLedger::dmxFrameGiven(quint8 index, bool whole)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _gaps.dmxFrameGiven(index, whole);
    releaseGated(); // what was skipped while its chain went out is its, or lost
}

void VandrelDaliLedger::dmxFrameUntold()
{
    std::lock_guard<std::mutex> locker(_mutex);
    _gaps.dmxFrameUntold();
}

void VandrelDaliLedger::pollFailed(int status)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _gaps.pollFailed();
    for (const auto& waiter : _waiters)
        waiter.second->pollFailed(status);
}

void VandrelDaliLedger::feedEnded(int status)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _endStatus = status;
    // A box polled again may count its records anew.
    dropGated();
    if (status != 0) {
        // Nobody waits for them any more. The records of the frames still
        // owed will not reach us either: a box polled again is opened anew,
        // and what it still holds goes into the packet log alone. Kept owed,
        // those frames would take the records of the next identical ones.
        // What went by unseen may have been another master's memory traffic.
        _held.clear();
        _heldBehind = 0;
        if (!_owed.empty())
            qCDebug(service::loggerGlog()).noquote()
                << QStringLiteral("DALI: the feed ended with %1 frames sent not reported").arg(_owed.size());
        _owed.clear();
        _echoMayCome.clear();
        _onBus = OnBus();
        noteUnseenFrames();
    }
    _room.notify_all();
    for (const auto& waiter : _waiters)
        waiter.second->endFeed(status); // 0 tells nothing
}

} // namespace tarvesk::itf
