#include "network/connection_ledger.h"

#include <algorithm>

namespace tarvesk::network {

ConnectionLedger::ConnectionLedger(int bound, int mostGone, StillHeld stillHeld)
    : limit(bound)
    , mostGone(mostGone)
    , stillHeld(std::move(stillHeld))
{
    // No rehash while the bound fills: an admission costs the same at 10
    // connections held as at the bound.
    entries.reserve(size_t(std::max(0, bound) + std::max(0, mostGone)) + 1);
}

void ConnectionLedger::account(const Entry& entry, int sign)
{
    countedNow += sign * int(entry.peer != Peer::Gone);
    goneNow += sign * int(entry.peer == Peer::Gone);
    closingNow += sign * int(entry.peer == Peer::Closed);
    waitingNow += sign * int(!entry.takenUp);
    openNow += sign * int(entry.takenUp);
    owingNow += sign * int(entry.owed);
}

template<typename Change> void ConnectionLedger::update(Entry& entry, Change change)
{
    account(entry, -1);
    change(entry);
    account(entry, +1);
    if (owingNow == 0)
        nothingOwed.notify_all();
}

void ConnectionLedger::erase(Entries::iterator found)
{
    account(found->second, -1);
    if (!found->second.takenUp)
        queue.erase(found->second.inQueue);
    entries.erase(found);
    if (owingNow == 0)
        nothingOwed.notify_all();
}

ConnectionLedger::Entry* ConnectionLedger::find(int socket, Serial serial)
{
    const auto found = entries.find(socket);
    return found != entries.end() && found->second.serial == serial ? &found->second : nullptr;
}

ConnectionLedger::Serial ConnectionLedger::admit(int socket, const Identity& identity, Bound* change)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (change)
        *change = Bound::Unchanged;
    // Its number was free: the connection entered with it before was closed
    // without a notice, so dropped before it was taken up.
    if (const auto earlier = entries.find(socket); earlier != entries.end())
        erase(earlier);
    if (countedNow >= limit)
        forgetDropped(DropChecksPerAdmission);
    if (countedNow >= limit)
        return 0;
    if (++lastSerial == 0)
        ++lastSerial;
    Entry entry;
    entry.serial = lastSerial;
    entry.identity = identity;
    entry.inQueue = queue.insert(queue.end(), socket);
    account(entry, +1);
    entries.emplace(socket, entry);
    if (!atBound && countedNow >= limit) {
        atBound = true;
        if (change)
            *change = Bound::Reached;
    }
    return entry.serial;
}

void ConnectionLedger::forget(int socket, Serial serial)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (find(socket, serial))
        erase(entries.find(socket));
}

void ConnectionLedger::peerClosed(int socket, Serial serial, Closure closure)
{
    std::lock_guard<std::mutex> lock(mutex);
    Entry* entry = find(socket, serial);
    if (!entry || entry->peer != Peer::There)
        return;
    // Taken up, a connection its client closed on its side only may still
    // be handling that client's request: it counts until it is closed.
    if (closure == Closure::SideOnly && entry->takenUp)
        return;
    const Peer now = goneNow < mostGone ? Peer::Gone : Peer::Closed;
    update(*entry, [now](Entry& e) { e.peer = now; });
}

bool ConnectionLedger::behind()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (countedNow >= limit)
        forgetDropped(DropChecksPerAdmission);
    return countedNow >= limit && closingNow > 0;
}

void ConnectionLedger::forgetDropped(int most)
{
    for (int looked = std::min(most, int(queue.size())); looked > 0; --looked) {
        const auto found = entries.find(queue.front());
        if (!stillHeld(found->first, found->second.identity)) {
            erase(found);
            continue;
        }
        // Still waiting: the next look starts with the next one.
        queue.splice(queue.end(), queue, queue.begin());
    }
}

void ConnectionLedger::opened(int socket)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = entries.find(socket);
    if (found == entries.end()) {
        // Not handed over by the acceptor (never so in the service): owed a
        // reply as the others are.
        if (++lastSerial == 0)
            ++lastSerial;
        Entry entry;
        entry.serial = lastSerial;
        entry.takenUp = true;
        account(entry, +1);
        entries.emplace(socket, entry);
        return;
    }
    if (found->second.takenUp)
        return;
    queue.erase(found->second.inQueue);
    update(found->second, [](Entry& e) { e.takenUp = true; });
}

ConnectionLedger::Bound ConnectionLedger::closed(int socket, int* counted)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (const auto found = entries.find(socket); found != entries.end())
        erase(found);
    if (counted)
        *counted = countedNow;
    // Left once a tenth of the bound is free again: a client that keeps it
    // full, closing one connection and opening the next, does not make the
    // bound reached and left each time.
    if (atBound && countedNow <= limit - std::max(1, limit / 10)) {
        atBound = false;
        return Bound::Left;
    }
    return Bound::Unchanged;
}

void ConnectionLedger::requestStarted(int socket)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (const auto found = entries.find(socket); found != entries.end())
        update(found->second, [](Entry& e) { e.owed = true; });
}

void ConnectionLedger::requestFinished(int socket)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (const auto found = entries.find(socket); found != entries.end())
        update(found->second, [](Entry& e) { e.owed = false; });
}

int ConnectionLedger::counted() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return countedNow;
}

int ConnectionLedger::gone() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return goneNow;
}

int ConnectionLedger::closing() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return closingNow;
}

int ConnectionLedger::waiting() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return waitingNow;
}

int ConnectionLedger::open() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return openNow;
}

int ConnectionLedger::owing() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return owingNow;
}

void ConnectionLedger::waitUntilNothingOwed(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex);
    forgetDropped(waitingNow);
    nothingOwed.wait_for(lock, timeout, [this] { return owingNow == 0; });
    atBound = false;
}

} // namespace tarvesk::network
