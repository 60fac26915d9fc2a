#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

namespace tarvesk::test {

// Processes events until the condition holds or the deadline passes; returns
// the condition's last value. For waiting on other threads without fixed sleeps.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

// Processes events until count() reaches target, for as long as it keeps
// growing: gives up only when it has not grown for stallMs. For a lot of work
// that a slow or busy machine may take any time to get through (thousands of
// threads started under a sanitizer, say), where only a stall is a fault.
inline bool waitWhileGrowing(const std::function<int()>& count, int target, int stallMs = 30000)
{
    int last = count();
    QDeadlineTimer stalled(stallMs);
    while (last < target) {
        if (stalled.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
        const int now = count();
        if (now > last)
            stalled.setRemainingTime(stallMs);
        last = now;
    }
    return true;
}

} // namespace tarvesk::test
