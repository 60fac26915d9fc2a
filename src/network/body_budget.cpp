#include "network/body_budget.h"

#include <algorithm>
#include <utility>

namespace tarvesk::network {

BodyBudget::Reservation::Reservation(Reservation&& other) noexcept
    : budget(std::exchange(other.budget, nullptr))
    , held(std::exchange(other.held, 0))
    , announced(std::exchange(other.announced, UnknownSize))
{ }

BodyBudget::Reservation& BodyBudget::Reservation::operator=(Reservation&& other) noexcept
{
    if (this != &other) {
        release();
        budget = std::exchange(other.budget, nullptr);
        held = std::exchange(other.held, 0);
        announced = std::exchange(other.announced, UnknownSize);
    }
    return *this;
}

qint64 BodyBudget::Reservation::roomFor(qint64 arrived, qint64 most) const
{
    if (announced >= 0)
        most = std::min(most, announced);
    const qint64 step = std::min(most, std::max(2 * held, FirstRoom));
    return std::max(arrived, step);
}

bool BodyBudget::Reservation::growTo(qint64 total, std::chrono::milliseconds patience)
{
    if (total <= held)
        return true;
    // An announced size tells a large body from a small one at its first byte.
    const qint64 bodySize = std::max(total, announced);
    if (!budget || !budget->take(bodySize, total - held, held > 0, patience))
        return false;
    held = total;
    return true;
}

bool BodyBudget::Reservation::waitForRoom(std::chrono::milliseconds patience) const
{
    return budget && (announced <= 0 || budget->waitUntilFits(announced, patience));
}

void BodyBudget::Reservation::release()
{
    if (budget && held > 0)
        budget->give(held);
    held = 0;
}

BodyBudget::BodyBudget(qint64 bytes)
    : total(std::max<qint64>(bytes, 1))
{ }

BodyBudget::Reservation BodyBudget::reservation(qint64 announcedBytes)
{
    Reservation made;
    made.budget = this;
    made.announced = announcedBytes;
    return made;
}

qint64 BodyBudget::held() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return inUse;
}

qint64 BodyBudget::mostHeld() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return peak;
}

int BodyBudget::waitingBodies() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return waiting;
}

void BodyBudget::stopWaits()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    freed.notify_all();
}

qint64 BodyBudget::ceilingFor(qint64 bodySize) const
{
    return bodySize <= SmallBody ? total : total - total / 4;
}

bool BodyBudget::fits(qint64 bodySize, qint64 more) const
{
    return inUse + more <= ceilingFor(bodySize);
}

bool BodyBudget::take(qint64 bodySize, qint64 more, bool holding, std::chrono::milliseconds patience)
{
    std::unique_lock<std::mutex> lock(mutex);
    // A body that would not fit an empty budget never will: no use waiting.
    if (bodySize > ceilingFor(bodySize) || stopping)
        return false;
    if (!fits(bodySize, more)) {
        if (holding && holderWaits)
            return false;
        holderWaits = holderWaits || holding;
        ++waiting;
        const bool roomCame = freed.wait_for(lock, patience, [&] { return stopping || fits(bodySize, more); });
        --waiting;
        if (holding)
            holderWaits = false;
        if (!roomCame || stopping)
            return false;
    }
    inUse += more;
    peak = std::max(peak, inUse);
    return true;
}

bool BodyBudget::waitUntilFits(qint64 bodySize, std::chrono::milliseconds patience)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (bodySize > ceilingFor(bodySize))
        return false;
    ++waiting;
    const bool roomCame = freed.wait_for(lock, patience, [&] { return stopping || fits(bodySize, bodySize); });
    --waiting;
    return roomCame && !stopping;
}

void BodyBudget::give(qint64 bytes)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        inUse -= bytes;
    }
    freed.notify_all();
}

} // namespace tarvesk::network
