#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <unordered_map>

#include <sys/types.h>

namespace tarvesk::network {

// The books of the connections handed over to libmicrohttpd: one entry per
// socket, from its hand-over until libmicrohttpd says it closes it (or is
// found to have dropped it without a word). Each entry has one state:
//
//   takenUp  libmicrohttpd has taken it up (its "started" notice came);
//            before that it waits in libmicrohttpd's queue of new connections
//   owed     its client is owed a reply: from the hand-over until its first
//            request is finished, and again while a later request runs
//   peer     There, or closed (see peerClosed()): Gone, when it no longer
//            counts against the bound although it holds a descriptor until
//            libmicrohttpd closes it, a moment later; Closed, when mostGone
//            entries were gone already, so it counts until then
//
// and the counts are the sums of these states over the entries, kept by
// account() on every change of an entry and never otherwise:
//
//   counted = entries not Gone        (kept at most the bound by admit())
//   gone    = entries Gone            (at most mostGone)
//   closing = entries Closed          (libmicrohttpd has yet to clean them up)
//   waiting = entries not taken up    open = entries taken up
//   owing   = entries owed a reply
//
// so the descriptors held for connections are counted + gone, at most the
// bound plus mostGone. Every operation is a look-up by socket and a few
// counts under a mutex of its own, however many connections are held:
// libmicrohttpd's threads take it in their callbacks.
//
// Socket numbers are reused once closed. libmicrohttpd says it closes a
// connection (closed()) before it closes the socket, so an entry taken up
// is always its socket's. One not taken up may be dropped silently (its
// queue was full, or the connection could not be set up): admit() of a
// socket with its number forgets it, and so does the check of the oldest
// ones waiting (stillHeld) while the bound is full.
class ConnectionLedger
{
public:
    // Names one hand-over, where a socket number may name several in turn.
    // Never 0.
    using Serial = std::uint32_t;
    // What identifies a socket beyond its number.
    struct Identity
    {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const Identity& other) const
        {
            return device == other.device && inode == other.inode;
        }
    };
    // Whether the socket of an entry not taken up is still the one handed
    // over; called under the ledger's mutex.
    using StillHeld = std::function<bool(int socket, const Identity& identity)>;
    // How an admission or a close changed the bound's state: reached it, or
    // left it well behind (a tenth of it free again).
    enum class Bound { Unchanged, Reached, Left };
    // How the peer closed: reset it or closed both ways, or closed its
    // side only (it sends nothing more, and may wait for a reply).
    enum class Closure { Whole, SideOnly };
    // Waiting entries looked at for a silent drop per admission that finds
    // the bound full: the cost of turning a connection away stays flat.
    static constexpr int DropChecksPerAdmission = 2;

    ConnectionLedger(int bound, int mostGone, StillHeld stillHeld);
    ConnectionLedger(const ConnectionLedger&) = delete;
    ConnectionLedger& operator=(const ConnectionLedger&) = delete;

    int bound() const { return limit; }

    // The acceptor, for a connection about to be handed over: enters it,
    // owed a reply, when the bound has room for it, and returns its serial;
    // 0 when the bound is full.
    Serial admit(int socket, const Identity& identity, Bound* change = nullptr);
    // Whether the bound is full while some of what it counts are closed
    // already (Closed): libmicrohttpd is behind cleaning them up, and the
    // room comes soon. The entries waiting longest are checked for drops.
    bool behind();
    // The hand-over failed (the socket is closed): forgets the entry.
    void forget(int socket, Serial serial);
    // The peer closed the connection of that hand-over: closed whole, or on
    // its side only while it waits to be taken up (all it sends has come; a
    // request among it is still served). Gone while fewer than mostGone are,
    // else Closed.
    void peerClosed(int socket, Serial serial, Closure closure);

    // libmicrohttpd's notices.
    void opened(int socket);
    // Forgets the entry; the connections counted now are told in *counted.
    Bound closed(int socket, int* counted = nullptr);
    void requestStarted(int socket);
    void requestFinished(int socket);

    int counted() const;
    int gone() const;
    int closing() const;
    int waiting() const;
    int open() const;
    int owing() const;

    // Waits until no client is owed a reply (at most timeout); the entries
    // waiting to be taken up are checked for drops first, all of them. The
    // bound is no longer taken as reached: the connections that end now
    // free it for no one.
    void waitUntilNothingOwed(std::chrono::milliseconds timeout);

private:
    enum class Peer { There, Closed, Gone };
    struct Entry
    {
        Serial serial = 0;
        Identity identity;
        bool takenUp = false;
        bool owed = true;
        Peer peer = Peer::There;
        std::list<int>::iterator inQueue; // in queue while not taken up
    };
    using Entries = std::unordered_map<int, Entry>;

    // Applies change to the entry, keeping the counts its states add up to.
    template<typename Change> void update(Entry& entry, Change change);
    void account(const Entry& entry, int sign);
    void erase(Entries::iterator entry);
    // Forgets up to `most` of the entries waiting longest whose sockets are
    // no longer held; looks at each once at most.
    void forgetDropped(int most);
    Entry* find(int socket, Serial serial);

    const int limit;
    const int mostGone;
    const StillHeld stillHeld;
    mutable std::mutex mutex; // guards everything below
    std::condition_variable nothingOwed;
    Entries entries;
    std::list<int> queue; // sockets not taken up, longest waiting first
    Serial lastSerial = 0;
    int countedNow = 0;
    int goneNow = 0;
    int closingNow = 0;
    int waitingNow = 0;
    int openNow = 0;
    int owingNow = 0;
    bool atBound = false; // reached, and not yet left well behind
};

} // namespace tarvesk::network
