#include "interfaces/vandrel_dali_ledger.h"

#include "core/itf_error.h"
#include "log/logging_categories.h"
#include "protocol/dali/dali_command_table.h"
#include "protocol/raw_packet.h"

#include <algorithm>

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
    if (copies > 0 && !hasRoom()) {
        const auto start = Clock::now();
        const auto guard = start + room.guard;
        const auto backstop = start + std::max(room.guard, room.backstop);
        for (;;) {
            if (hasRoom())
                break;
            const auto now = Clock::now();
            if (_endStatus != 0 || now >= backstop || (now >= guard && _lastDrainedPassBegan >= start)) {
                qCWarning(service::loggerGlog()).noquote()
                    << QStringLiteral(GLOG_PREFIX "DALI: %1 frames sent are not reported yet; %2 not sent")
                           .arg(MaxOwed)
                           .arg(QString::fromLatin1(frame.toHex(' ')));
                return 0;
            }
            _room.wait_until(locker, now < guard ? guard : backstop);
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
    if (effect.accessesMemory && _current != 0 && !_currentAnswered && frame == _currentFrame
        && _waiters.count(_current))
        _disturbed.insert(_current);
}

void VandrelDaliLedger::noteOurFrame(Ticket ticket, const QByteArray& frame)
{
    ++_busFrames;
    const bool awaited = _waiters.count(ticket) > 0;
    const quint64 enabling = _ourEnabling;
    _ourEnabling = isFrame(frame, EnableDeviceType) ? _busFrames : 0;
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

bool VandrelDaliLedger::takeRecord(const proto::RawPacket& record)
{
    if (record.getPacketType() != proto::PACKET_TYPE_DALI)
        return false;
    std::lock_guard<std::mutex> locker(_mutex);
    offer(record, _recordsFrom);
    return true;
}

void VandrelDaliLedger::offer(const proto::RawPacket& record, quint64 from)
{
    if (_heldBehind != 0) {
        const bool oldestsEcho = isPlainFrame(record) && !_owed.empty() && _owed.front().ticket == _heldBehind
            && _owed.front().frame == bytesOf(record);
        if (!oldestsEcho) {
            hold(record, from);
            return;
        }
        // Our oldest frame came on the bus after them: they were another master's.
        settleHeld(true);
    }
    account(record, from, true);
}

void VandrelDaliLedger::account(const proto::RawPacket& record, quint64 from, bool mayHold)
{
    const QByteArray bytes = bytesOf(record);
    // Only a frame whose request went out before the poll that reported
    // this record can have made it.
    const auto reportable = [from](const Owed& o) { return o.transfer != 0 && o.transfer < from; };
    // A one-byte frame echoes as one byte, as an answer does: taken for the
    // echo when our oldest frame owed one is those bytes, unless the current
    // frame's answer or time-out event is still to come first.
    const bool oneByte = !isForwardFrame(record) && isPlainFrame(record);
    const bool currentOpen = _current != 0 && !_currentAnswered;
    const bool shortEcho = oneByte && !_owed.empty() && reportable(_owed.front())
        && _owed.front().frame == bytes && !(currentOpen && _currentCloses);
    if (shortEcho && currentOpen) {
        // Or the answer of the frame before it, with the same byte: whose it
        // is cannot be told.
        doubt(_current);
    } else if (oneByte && currentOpen && _currentFrame.size() < 2 && bytes == _currentFrame) {
        // The one-byte frame's byte again: its answer, or its echo after
        // another master's answer that was taken for the echo.
        doubt(_current);
        return;
    }
    if (isForwardFrame(record) || shortEcho) {
        const bool oldestsEcho = !_owed.empty() && reportable(_owed.front()) && _owed.front().frame == bytes;
        if (!oldestsEcho) {
            const bool laterOnesEcho = !_owed.empty() && reportable(_owed.front())
                && std::any_of(std::next(_owed.begin()), _owed.end(),
                    [&](const Owed& o) { return reportable(o) && o.frame == bytes; });
            if (mayHold && laterOnesEcho) {
                _heldBehind = _owed.front().ticket;
                hold(record, from);
                return;
            }
            if (_current != 0 && _currentSingle && !_currentAnswered && bytes == _currentFrame) {
                // Two echoes of a frame sent once, nothing between them: one of
                // them is another master's identical frame, made on the bus
                // before ours or after it.
                noteForeignFrame(bytes);
                if (_currentCloses) {
                    // Ours would have been followed by its answer or time-out
                    // event at once: the first was the other master's.
                    return;
                }
                _currentUncertain = true;
                return;
            }
            // Nobody here sent it: another master's frame, and whatever answers it.
            noteForeignFrame(bytes);
            _current = 0;
            return;
        }
        Owed& owed = _owed.front();
        _current = owed.ticket;
        _currentFrame = owed.frame;
        _currentSingle = owed.copies == 1;
        _currentCloses = owed.closesExchange;
        _currentAnswered = false;
        _currentUncertain = false;
        noteOurFrame(owed.ticket, owed.frame);
        if (--owed.echoesLeft <= 0)
            _owed.pop_front();
        _room.notify_all();
        if (shortEcho)
            return; // its sender would take a one-byte echo for the answer
    }
    const auto waiter = _waiters.find(_current);
    if (!isForwardFrame(record) && _current != 0) {
        _currentAnswered = true;
        if (_currentUncertain) {
            // Which of the two frames this answers is unknown: nobody gets it.
            doubt(_current);
            _current = 0;
            return;
        }
    }
    if (waiter != _waiters.end())
        waiter->second->checkPacket(&record);
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
        _held.pop_front();
        qCDebug(service::loggerGlog()).noquote()
            << QStringLiteral("DALI: more than %1 records held; the oldest dropped").arg(MaxHeld);
    }
    Held held;
    held.record.reset(record.clone());
    held.recordsFrom = from;
    _held.push_back(std::move(held));
}

void VandrelDaliLedger::settleHeld(bool foreign)
{
    std::deque<Held> held;
    held.swap(_held);
    _heldBehind = 0;
    for (const Held& h : held) {
        if (foreign)
            account(*h.record, h.recordsFrom, false);
        else
            offer(*h.record, h.recordsFrom); // may hold again, behind the next oldest frame
    }
}

void VandrelDaliLedger::settleIfOldestGone()
{
    if (_heldBehind != 0 && (_owed.empty() || _owed.front().ticket != _heldBehind))
        settleHeld(false);
}

void VandrelDaliLedger::passCompleted(Clock::time_point began)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _lastDrainedPassBegan = std::max(_lastDrainedPassBegan, began);
    // A frame whose time on the bus was over well before this pass began would
    // have been reported by now: its records were lost and will not come any
    // more. (The margin covers a record the reassembler still holds.)
    const auto lost = [this, began](const Owed& o) {
        return o.transfer != 0 && o.transfer < _recordsFrom
            && o.wentOut + _frameTime * o.copies + LostAfter <= began;
    };
    size_t givenUp = 0;
    // While records are held, the frames behind the oldest may have their
    // echoes among them: only the oldest can be given up, and then the held
    // records are taken again.
    while (_heldBehind != 0 && !_owed.empty() && lost(_owed.front())) {
        _owed.pop_front();
        ++givenUp;
        settleIfOldestGone();
    }
    if (_heldBehind == 0) {
        const auto before = _owed.size();
        _owed.erase(std::remove_if(_owed.begin(), _owed.end(), lost), _owed.end());
        givenUp += before - _owed.size();
    }
    if (givenUp > 0)
        qCDebug(service::loggerGlog()).noquote()
            << QStringLiteral("DALI: %1 frames sent were never reported").arg(givenUp);
    _room.notify_all();
    if (_heldBehind != 0)
        return; // a waiter's records may be among the held ones: no verdict yet
    for (const auto& waiter : _waiters)
        waiter.second->passCompleted(began);
}

void VandrelDaliLedger::pollFailed(int status)
{
    std::lock_guard<std::mutex> locker(_mutex);
    for (const auto& waiter : _waiters)
        waiter.second->pollFailed(status);
}

void VandrelDaliLedger::feedEnded(int status)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _endStatus = status;
    if (status != 0) {
        // Nobody waits for them any more.
        _held.clear();
        _heldBehind = 0;
    }
    _room.notify_all();
    for (const auto& waiter : _waiters)
        waiter.second->endFeed(status); // 0 tells nothing
}

} // namespace tarvesk::itf
