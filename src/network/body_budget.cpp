#include "network/body_budget.h"

#include <algorithm>
#include <utility>

namespace tarvesk::network {

BodyBudget::Reservation::Reservation(Reservation&& other) noexcept
    : budget(std::exchange(other.budget, nullptr))
    , held(std::exchange(other.held, 0))
{ }

BodyBudget::Reservation& BodyBudget::Reservation::operator=(Reservation&& other) noexcept
{
    if (this != &other) {
        release();
        budget = std::exchange(other.budget, nullptr);
        held = std::exchange(other.held, 0);
    }
    return *this;
}

bool BodyBudget::Reservation::growTo(qint64 total, std::chrono::milliseconds patience)
{
    if (total <= held)
        return true;
    if (!budget || !budget->take(total, total - held, patience))
        return false;
    held = total;
    return true;
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

BodyBudget::Reservation BodyBudget::reservation()
{
    Reservation made;
    made.budget = this;
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

void BodyBudget::stopWaits()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    freed.notify_all();
}

qint64 BodyBudget::ceilingFor(qint64 bodyTotal) const
{
    return bodyTotal <= SmallBody ? total : total - total / 4;
}

bool BodyBudget::fits(qint64 bodyTotal, qint64 more) const
{
    return inUse + more <= ceilingFor(bodyTotal);
}

bool BodyBudget::take(qint64 bodyTotal, qint64 more, std::chrono::milliseconds patience)
{
    std::unique_lock<std::mutex> lock(mutex);
    // A body that would not fit an empty budget never will: no use waiting.
    if (bodyTotal > ceilingFor(bodyTotal))
        return false;
    if (!freed.wait_for(lock, patience, [&] { return stopping || fits(bodyTotal, more); }) || stopping)
        return false;
    inUse += more;
    peak = std::max(peak, inUse);
    return true;
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
