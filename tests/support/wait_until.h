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

} // namespace tarvesk::test
