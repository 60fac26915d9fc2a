#include "interfaces/vandrel_dali_ledger.h"

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

VandrelDaliLedger::Ticket VandrelDaliLedger::sending(
    const QByteArray& frame, int copies, proto::PacketMutex* waiter)
{
    std::lock_guard<std::mutex> locker(_mutex);
    if (int(_owed.size()) >= MaxOwed) {
        qCDebug(service::loggerGlog()).noquote()
            << QStringLiteral("DALI: the box never reported frame %1; forgotten")
                   .arg(QString::fromLatin1(_owed.front().frame.toHex(' ')));
        _owed.pop_front();
    }
    const Ticket ticket = _nextTicket++;
    _owed.push_back({ticket, frame, qMax(1, copies)});
    if (waiter) {
        _waiters.emplace(ticket, waiter);
        if (_endStatus != 0)
            waiter->endFeed(_endStatus);
    }
    return ticket;
}

void VandrelDaliLedger::refused(Ticket ticket)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _waiters.erase(ticket);
    _owed.erase(
        std::remove_if(_owed.begin(), _owed.end(), [ticket](const Owed& o) { return o.ticket == ticket; }),
        _owed.end());
}

void VandrelDaliLedger::release(Ticket ticket)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _waiters.erase(ticket);
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
    if (isForwardFrame(record)) {
        const QByteArray bytes = bytesOf(record);
        const auto echoOf
            = std::find_if(_owed.begin(), _owed.end(), [&bytes](const Owed& o) { return o.frame == bytes; });
        if (echoOf == _owed.end()) {
            // Nobody here sent it: another master's frame, and whatever answers it.
            _current = 0;
            return true;
        }
        // Frames owed before this one will not be reported any more.
        const auto skipped = echoOf - _owed.begin();
        _owed.erase(_owed.begin(), echoOf);
        Owed& owed = _owed[0];
        if (skipped > 0)
            qCDebug(service::loggerGlog()).noquote()
                << QStringLiteral("DALI: %1 frames sent before %2 were never reported")
                       .arg(skipped)
                       .arg(QString::fromLatin1(bytes.toHex(' ')));
        _current = owed.ticket;
        if (--owed.echoesLeft <= 0)
            _owed.pop_front();
    }
    const auto waiter = _waiters.find(_current);
    if (waiter != _waiters.end())
        waiter->second->checkPacket(&record);
    return true;
}

void VandrelDaliLedger::passCompleted(Clock::time_point began)
{
    std::lock_guard<std::mutex> locker(_mutex);
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
    for (const auto& waiter : _waiters)
        waiter.second->endFeed(status); // 0 tells nothing
}

} // namespace tarvesk::itf
