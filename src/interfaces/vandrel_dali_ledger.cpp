#include "interfaces/vandrel_dali_ledger.h"

#include "core/itf_error.h"
#include "log/logging_categories.h"
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

QByteArray bytesOf(const proto::RawPacket& record)
{
    return QByteArray(reinterpret_cast<const char*>(record.getData()), record.getDataSize());
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
        const bool oldestsEcho = isForwardFrame(record) && !_owed.empty()
            && _owed.front().ticket == _heldBehind && _owed.front().frame == bytesOf(record);
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
    if (isForwardFrame(record)) {
        const QByteArray bytes = bytesOf(record);
        // Only a frame whose request went out before the poll that reported
        // this record can have made it.
        const auto reportable = [from](const Owed& o) { return o.transfer != 0 && o.transfer < from; };
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
                if (_currentCloses) {
                    // Ours would have been followed by its answer or time-out
                    // event at once: the first was the other master's.
                    return;
                }
                _currentUncertain = true;
                return;
            }
            // Nobody here sent it: another master's frame, and whatever answers it.
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
        if (--owed.echoesLeft <= 0)
            _owed.pop_front();
        _room.notify_all();
    }
    const auto waiter = _waiters.find(_current);
    if (!isForwardFrame(record) && _current != 0) {
        _currentAnswered = true;
        if (_currentUncertain) {
            // Which of the two frames this answers is unknown: nobody gets it.
            if (waiter != _waiters.end()) {
                _doubted.insert(_current);
                waiter->second->endFeed(core::ITF_ERR_PACKET_NOT_ANSWER);
            }
            _current = 0;
            return;
        }
    }
    if (waiter != _waiters.end())
        waiter->second->checkPacket(&record);
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
