#include "network/connection_ledger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <thread>

using tarvesk::network::ConnectionLedger;
using Bound = ConnectionLedger::Bound;
using Closure = ConnectionLedger::Closure;

namespace {

// Sockets whose numbers the test says are closed (dropped by the daemon).
struct Sockets
{
    std::set<int> dropped;
    int looks = 0;
    ConnectionLedger::StillHeld stillHeld()
    {
        return [this](int socket, const ConnectionLedger::Identity& identity) {
            ++looks;
            return dropped.count(socket) == 0 && identity.inode == ino_t(socket);
        };
    }
};

ConnectionLedger::Identity identity(int socket)
{
    return {1, ino_t(socket)};
}

} // namespace

// The bound holds for connections waiting to be taken up as for open ones;
// a close frees room, and the bound is reported reached once and left once
// a tenth of it is free again.
TEST(ConnectionLedger, KeepsTheBoundAndSaysWhenItIsReachedAndLeft)
{
    Sockets sockets;
    ConnectionLedger ledger(20, 4, sockets.stillHeld());
    Bound change = Bound::Unchanged;
    for (int socket = 10; socket < 29; ++socket) {
        EXPECT_NE(ledger.admit(socket, identity(socket), &change), 0u) << socket;
        EXPECT_EQ(change, Bound::Unchanged) << socket;
    }
    for (int socket = 10; socket < 20; ++socket)
        ledger.opened(socket);
    EXPECT_NE(ledger.admit(29, identity(29), &change), 0u);
    EXPECT_EQ(change, Bound::Reached);
    EXPECT_EQ(ledger.admit(30, identity(30), &change), 0u);
    EXPECT_EQ(change, Bound::Unchanged);
    EXPECT_EQ(ledger.counted(), 20);
    EXPECT_EQ(ledger.open(), 10);
    EXPECT_EQ(ledger.waiting(), 10);

    int counted = 0;
    EXPECT_EQ(ledger.closed(10, &counted), Bound::Unchanged); // 19: not a tenth free yet
    EXPECT_EQ(counted, 19);
    EXPECT_NE(ledger.admit(30, identity(30), &change), 0u);
    EXPECT_EQ(change, Bound::Unchanged); // reached and not left: said once
    EXPECT_EQ(ledger.closed(11), Bound::Unchanged);
    EXPECT_EQ(ledger.closed(12, &counted), Bound::Left);
    EXPECT_EQ(counted, 18);
    EXPECT_EQ(ledger.closed(13), Bound::Unchanged);
    // A close the ledger never heard of changes nothing.
    EXPECT_EQ(ledger.closed(99, &counted), Bound::Unchanged);
    EXPECT_EQ(counted, 17);
}

// A connection whose peer closed it whole stops counting at once, up to
// mostGone of them; closed on its side only, it stops counting only while it
// waits to be taken up. Past mostGone it counts until the daemon closes it,
// and the bound full of such connections is the daemon behind, not the bound
// held. News of an earlier hand-over of the same socket number is not taken
// for the present one.
TEST(ConnectionLedger, ConnectionsClosedByTheirPeersStopCountingUpToMostGone)
{
    Sockets sockets;
    ConnectionLedger ledger(4, 2, sockets.stillHeld());
    const ConnectionLedger::Serial first = ledger.admit(5, identity(5));
    const ConnectionLedger::Serial second = ledger.admit(6, identity(6));
    const ConnectionLedger::Serial third = ledger.admit(7, identity(7));
    const ConnectionLedger::Serial fourth = ledger.admit(8, identity(8));
    EXPECT_EQ(ledger.admit(9, identity(9)), 0u);
    EXPECT_FALSE(ledger.behind()); // full of live connections
    ledger.opened(5);
    ledger.opened(6);

    ledger.peerClosed(5, first, Closure::SideOnly); // taken up: may be handling a request
    EXPECT_EQ(ledger.counted(), 4);
    ledger.peerClosed(7, third, Closure::SideOnly); // waiting: all it sends has come
    ledger.peerClosed(5, first, Closure::Whole);
    EXPECT_EQ(ledger.counted(), 2);
    EXPECT_EQ(ledger.gone(), 2);
    ledger.peerClosed(6, second, Closure::Whole); // past mostGone: still counts
    ledger.peerClosed(8, fourth + 1, Closure::Whole); // another hand-over's news
    EXPECT_EQ(ledger.counted(), 2);
    EXPECT_EQ(ledger.closing(), 1);
    const ConnectionLedger::Serial fifth = ledger.admit(9, identity(9));
    EXPECT_NE(fifth, 0u);
    EXPECT_FALSE(ledger.behind());
    EXPECT_NE(ledger.admit(10, identity(10)), 0u);
    EXPECT_TRUE(ledger.behind());
    EXPECT_EQ(ledger.admit(11, identity(11)), 0u);

    int counted = 0;
    ledger.closed(6, &counted);
    EXPECT_EQ(counted, 3);
    EXPECT_EQ(ledger.closing(), 0);
    EXPECT_FALSE(ledger.behind());
    ledger.closed(5);
    EXPECT_EQ(ledger.gone(), 1);
    EXPECT_EQ(ledger.counted(), 3);
    // The hand-over failed: forgotten, but only that hand-over.
    ledger.forget(9, fifth + 7);
    EXPECT_EQ(ledger.counted(), 3);
    ledger.forget(9, fifth);
    EXPECT_EQ(ledger.counted(), 2);
}

// libmicrohttpd says nothing of a connection it dropped before taking it up.
// Its socket number accepted again shows it closed; while the bound is full,
// each admission looks at the few connections that have waited longest, a
// look each, so that a dropped one is found behind others still waiting.
TEST(ConnectionLedger, ConnectionsDroppedBeforeTheyWereTakenUpAreForgotten)
{
    Sockets sockets;
    ConnectionLedger ledger(6, 2, sockets.stillHeld());
    for (int socket = 3; socket < 9; ++socket)
        ASSERT_NE(ledger.admit(socket, identity(socket)), 0u);
    // The number of a dropped one, accepted again: admitted in its place.
    EXPECT_NE(ledger.admit(3, identity(3)), 0u);
    EXPECT_EQ(ledger.counted(), 6);
    EXPECT_EQ(sockets.looks, 0); // the bound had room: nothing looked at

    // The last waiting one was dropped: found within three admissions of two
    // looks each, behind the four still waiting that are looked at first.
    sockets.dropped.insert(3);
    int refused = 0;
    while (ledger.admit(20, identity(20)) == 0 && refused < 10)
        ++refused;
    EXPECT_EQ(refused, 2);
    EXPECT_LE(sockets.looks, (refused + 1) * ConnectionLedger::DropChecksPerAdmission);
    EXPECT_EQ(ledger.counted(), 6);
    EXPECT_EQ(ledger.waiting(), 6);

    // Taken up, a connection is no longer looked at.
    for (int socket = 4; socket < 9; ++socket)
        ledger.opened(socket);
    sockets.looks = 0;
    EXPECT_EQ(ledger.admit(21, identity(21)), 0u);
    EXPECT_EQ(sockets.looks, 1); // 20, the only one waiting
}

// A stop waits until every client has the reply owed to it: one handed over
// and not yet taken up is owed its reply, an idle kept-alive connection owes
// nothing, and one dropped before it was taken up owes nothing.
TEST(ConnectionLedger, AStopWaitsForTheRepliesOwed)
{
    Sockets sockets;
    ConnectionLedger ledger(8, 2, sockets.stillHeld());
    ledger.admit(3, identity(3));
    ledger.admit(4, identity(4));
    ledger.admit(5, identity(5));
    EXPECT_EQ(ledger.owing(), 3);
    ledger.opened(3);
    ledger.requestStarted(3);
    ledger.requestFinished(3); // kept alive, idle
    ledger.opened(4);
    ledger.requestStarted(4);
    sockets.dropped.insert(5);
    EXPECT_EQ(ledger.owing(), 2);

    std::thread replier([&] {
        // Waits for the stop to have looked at 5 (dropped) and begun waiting.
        const auto patience = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (ledger.waiting() != 0 && std::chrono::steady_clock::now() < patience)
            std::this_thread::yield();
        ledger.requestFinished(4);
    });
    const auto begun = std::chrono::steady_clock::now();
    ledger.waitUntilNothingOwed(std::chrono::minutes(5));
    EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::minutes(4));
    replier.join();
    EXPECT_EQ(ledger.owing(), 0);
    EXPECT_EQ(ledger.counted(), 2);
}

// The counts are what the entries' states add up to, whatever the order of
// the notices: a long random run against a plain model that counts anew.
TEST(ConnectionLedger, CountsAreTheSumsOfTheEntriesStates)
{
    struct Model
    {
        ConnectionLedger::Serial serial = 0;
        bool takenUp = false;
        bool owed = true;
        bool closed = false; // by its peer
        bool gone = false; // closed, and uncounted
    };
    constexpr int bound = 12;
    constexpr int mostGone = 3;
    Sockets sockets;
    ConnectionLedger ledger(bound, mostGone, sockets.stillHeld());
    std::map<int, Model> model;
    std::mt19937 random(58);
    const auto count = [&](auto predicate) {
        return int(std::count_if(model.begin(), model.end(), [&](const auto& entry) { return predicate(entry.second); }));
    };
    for (int step = 0; step < 20000; ++step) {
        const int socket = int(random() % 24);
        const auto found = model.find(socket);
        switch (random() % 7) {
        case 0: {
            // An accepted socket number is free: any earlier entry was dropped.
            model.erase(socket);
            const int counted = count([](const Model& m) { return !m.gone; });
            const ConnectionLedger::Serial serial = ledger.admit(socket, identity(socket));
            ASSERT_EQ(serial != 0, counted < bound) << step;
            if (serial != 0)
                model[socket] = Model {serial};
            break;
        }
        case 1:
            ledger.opened(socket);
            if (found == model.end())
                model[socket] = Model {0, true}; // its serial unknown here
            else
                found->second.takenUp = true;
            break;
        case 2:
            ledger.closed(socket);
            model.erase(socket);
            break;
        case 3:
        case 4:
            if (found != model.end()) {
                const Closure closure = random() % 2 ? Closure::Whole : Closure::SideOnly;
                ledger.peerClosed(socket, found->second.serial, closure);
                const int gone = count([](const Model& m) { return m.gone; });
                const bool known = found->second.serial != 0;
                if (known && !found->second.closed && (closure == Closure::Whole || !found->second.takenUp)) {
                    found->second.closed = true;
                    found->second.gone = gone < mostGone;
                }
            }
            break;
        case 5:
            ledger.requestStarted(socket);
            if (found != model.end())
                found->second.owed = true;
            break;
        default:
            ledger.requestFinished(socket);
            if (found != model.end())
                found->second.owed = false;
            break;
        }
        ASSERT_EQ(ledger.counted(), count([](const Model& m) { return !m.gone; })) << step;
        ASSERT_EQ(ledger.gone(), count([](const Model& m) { return m.gone; })) << step;
        ASSERT_EQ(ledger.closing(), count([](const Model& m) { return m.closed && !m.gone; })) << step;
        ASSERT_EQ(ledger.waiting(), count([](const Model& m) { return !m.takenUp; })) << step;
        ASSERT_EQ(ledger.open(), count([](const Model& m) { return m.takenUp; })) << step;
        ASSERT_EQ(ledger.owing(), count([](const Model& m) { return m.owed; })) << step;
    }
}
