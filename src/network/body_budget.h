#pragma once

#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tarvesk::network {

// One budget for the request bodies that all connections buffer at once. A
// body takes its room as its bytes arrive, never before: a client that
// announces a large body and sends nothing holds nothing, so idle
// announcements cannot turn away the calls that send their bytes. However
// many clients send at the same moment, the bodies held never exceed the
// budget; a body that finds no room for its next bytes waits a while and is
// then refused.
//
// Bodies announced larger than SmallBody (and bodies of unknown size once
// they grow past it) may fill only three quarters of it: the rest stays for
// ordinary calls, so that clients sending large bodies do not turn every
// small call away.
class BodyBudget
{
public:
    // Room for a few bodies of the largest size a request may have.
    static constexpr qint64 DefaultBytes = 64 * 1024 * 1024;
    // A body up to this size (every ordinary call) may use the whole budget.
    static constexpr qint64 SmallBody = 64 * 1024;
    // The room a body takes with its first bytes (unless it is smaller).
    static constexpr qint64 FirstRoom = 16 * 1024;
    // The size of a body that does not say it (a chunked one).
    static constexpr qint64 UnknownSize = -1;

    // Room held for one body; given back when it ends. Belongs to one thread.
    class Reservation
    {
    public:
        Reservation() = default;
        ~Reservation() { release(); }
        Reservation(const Reservation&) = delete;
        Reservation& operator=(const Reservation&) = delete;
        Reservation(Reservation&& other) noexcept;
        Reservation& operator=(Reservation&& other) noexcept;

        qint64 bytes() const { return held; }
        // The room to hold the first `arrived` bytes of the body. It grows
        // with what came, at most doubling at each step (from FirstRoom), so
        // that a body holds little more than twice what its client sent and
        // is copied only a few times; never more than the body's announced
        // size, nor than `most`.
        qint64 roomFor(qint64 arrived, qint64 most) const;
        // Makes the room `total` bytes, waiting up to `patience` for it;
        // false (holding what it held) when there is none by then. A body
        // that holds room already waits only while no other such body waits:
        // bodies that each hold a part and wait for more would otherwise wait
        // on one another until all of them are refused.
        bool growTo(qint64 total, std::chrono::milliseconds patience);
        // Whether the body's announced size would find room, waiting up to
        // `patience` for the bodies held to leave it; takes none. False at
        // once for a body that not even an empty budget could hold.
        bool waitForRoom(std::chrono::milliseconds patience) const;
        void release();

    private:
        friend class BodyBudget;
        BodyBudget* budget = nullptr;
        qint64 held = 0;
        qint64 announced = UnknownSize;
    };

    explicit BodyBudget(qint64 bytes = DefaultBytes);
    BodyBudget(const BodyBudget&) = delete;
    BodyBudget& operator=(const BodyBudget&) = delete;

    qint64 bytes() const { return total; }
    // An empty reservation on this budget for a body of the announced size
    // (UnknownSize when it does not say).
    Reservation reservation(qint64 announcedBytes = UnknownSize);
    // The room held by all bodies now, and the most ever held at once.
    qint64 held() const;
    qint64 mostHeld() const;
    // The bodies waiting for room now.
    int waitingBodies() const;
    // Bodies waiting for room give up at once, now and from now on.
    void stopWaits();

private:
    // The most that all bodies may hold when one of them is that large.
    qint64 ceilingFor(qint64 bodySize) const;
    // Whether a body of bodySize may add `more` to what is held; under mutex.
    bool fits(qint64 bodySize, qint64 more) const;
    bool take(qint64 bodySize, qint64 more, bool holding, std::chrono::milliseconds patience);
    bool waitUntilFits(qint64 bodySize, std::chrono::milliseconds patience);
    void give(qint64 bytes);

    const qint64 total;
    mutable std::mutex mutex; // guards inUse, peak, waiting, holderWaits and stopping
    std::condition_variable freed;
    qint64 inUse = 0;
    qint64 peak = 0;
    int waiting = 0;
    bool holderWaits = false; // a body that holds room waits for more
    bool stopping = false;
};

} // namespace tarvesk::network
