#include "interfaces/vandrel_answer_wait.h"

#include "core/itf_error.h"
#include "log/logging_categories.h"

#include <QtGlobal>

namespace tarvesk::itf {

VandrelAnswerWait::VandrelAnswerWait(proto::PacketMutex& mutex, bool boxReportsTimeouts, int windowMs,
    int pollIntervalMs, const char* what, int guardMs)
    : _mutex(mutex)
    , _guard(
          proto::PacketMutex::Clock::now() + std::chrono::milliseconds(qMax(0, windowMs) + qMax(0, guardMs)))
    , _what(what)
    , _waitedMs(qMax(0, windowMs) + qMax(0, guardMs))
{
    if (!boxReportsTimeouts) {
        // One pass per tick of the window, and at least two, so that one pass
        // that raced the request out never decides alone.
        const int interval = qMax(1, pollIntervalMs);
        _rule.passes = qMax(2, (qMax(0, windowMs) + interval - 1) / interval);
        _rule.windowMs = qMax(0, windowMs);
    }
}

VandrelAnswerWait::Outcome VandrelAnswerWait::next()
{
    const auto left
        = std::chrono::duration_cast<std::chrono::milliseconds>(_guard - proto::PacketMutex::Clock::now());
    switch (_mutex.waitForPacketOrQuiet(_rule, int(qMax<qint64>(0, left.count())))) {
    case proto::PacketMutex::WAIT_PACKET:
        return RECORD;
    case proto::PacketMutex::WAIT_QUIET:
        return NO_ANSWER;
    case proto::PacketMutex::WAIT_FEED_ENDED:
        _status = _mutex.feedEndStatus();
        return FAILED;
    case proto::PacketMutex::WAIT_GUARD:
        break;
    }
    qCCritical(service::loggerGlog()).noquote()
        << QStringLiteral(GLOG_PREFIX "The interface reported nothing on a %1 for %2 ms")
               .arg(QLatin1String(_what))
               .arg(_waitedMs);
    _status = core::ITF_ERR_TIMEOUT;
    return FAILED;
}

} // namespace tarvesk::itf
