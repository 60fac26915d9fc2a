#pragma once

#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tarvesk::network {

// One budget for the request bodies that all connections buffer at once. A
// body's room is reserved before any of it is buffered, so that however many
// clients send at the same moment the bodies held never exceed the budget. A
// body that does not fit waits a while for room and is then refused.
//
// Large bodies may fill only three quarters of it: the rest stays for ordinary
// calls, so that clients holding large bodies do not turn every small call away.
class BodyBudget
{
public:
    // Room for a few bodies of the largest size a request may have.
    static constexpr qint64 DefaultBytes = 64 * 1024 * 1024;
    // A body up to this size (every ordinary call) may use the whole budget.
    static constexpr qint64 SmallBody = 64 * 1024;

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
        // Makes the room for the body `total` bytes, waiting up to `patience`
        // for it; false (holding what it held) when there is none by then.
        bool growTo(qint64 total, std::chrono::milliseconds patience);
        void release();

    private:
        friend class BodyBudget;
        BodyBudget* budget = nullptr;
        qint64 held = 0;
    };

    explicit BodyBudget(qint64 bytes = DefaultBytes);
    BodyBudget(const BodyBudget&) = delete;
    BodyBudget& operator=(const BodyBudget&) = delete;

    qint64 bytes() const { return total; }
    // An empty reservation on this budget.
    Reservation reservation();
    // The room held by all bodies now, and the most ever held at once.
    qint64 held() const;
    qint64 mostHeld() const;
    // Bodies waiting for room give up at once, now and from now on.
    void stopWaits();

private:
    // Whether a body of bodyTotal bytes may add `more` to what is held; under mutex.
    bool fits(qint64 bodyTotal, qint64 more) const;
    // The most that all bodies may hold when one of them is that large.
    qint64 ceilingFor(qint64 bodyTotal) const;
    bool take(qint64 bodyTotal, qint64 more, std::chrono::milliseconds patience);
    void give(qint64 bytes);

    const qint64 total;
    mutable std::mutex mutex; // guards inUse, peak and stopping
    std::condition_variable freed;
    qint64 inUse = 0;
    qint64 peak = 0;
    bool stopping = false;
};

} // namespace tarvesk::network
