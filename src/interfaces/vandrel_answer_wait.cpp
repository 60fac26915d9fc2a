#include "interfaces/vandrel_answer_wait.h"

#include "core/itf_error.h"
#include "log/logging_categories.h"

#include <QtGlobal>

namespace tarvesk::itf {

VandrelAnswerWait::VandrelAnswerWait(proto::PacketMutex& mutex, bool boxReportsTimeouts, int windowMs,
    int pollIntervalMs, const char* what, int guardMs, int backstopMs)
    : _mutex(mutex)
    , _what(what)
    , _guardMs(qMax(0, windowMs) + qMax(0, guardMs))
    , _backstopMs(qMax(_guardMs, backstopMs))
{
    const auto now = proto::PacketMutex::Clock::now();
    _rule.window = std::chrono::milliseconds(qMax(0, windowMs));
    _rule.guard = now + std::chrono::milliseconds(_guardMs);
    _rule.backstop = now + std::chrono::milliseconds(_backstopMs);
    if (!boxReportsTimeouts) {
        // One pass per tick of the window, and at least two, so that one pass
        // that raced the request out never decides alone.
        const int interval = qMax(1, pollIntervalMs);
        _rule.quietPasses = qMax(2, (qMax(0, windowMs) + interval - 1) / interval);
    }
}

VandrelAnswerWait::Outcome VandrelAnswerWait::next()
{
    switch (_mutex.waitForAnswer(_rule)) {
    case proto::PacketMutex::WAIT_PACKET:
        return RECORD;
    case proto::PacketMutex::WAIT_QUIET:
        return NO_ANSWER;
    case proto::PacketMutex::WAIT_FEED_ENDED:
        _status = _mutex.feedEndStatus();
        return FAILED;
    case proto::PacketMutex::WAIT_GUARD:
        qCCritical(service::loggerGlog()).noquote()
            << QStringLiteral(GLOG_PREFIX "The interface reported nothing on a %1 for %2 ms")
                   .arg(QLatin1String(_what))
                   .arg(_guardMs);
        break;
    case proto::PacketMutex::WAIT_BACKSTOP:
        qCCritical(service::loggerGlog()).noquote()
            << QStringLiteral(GLOG_PREFIX "The USB monitor made no progress on a %1 for %2 ms")
                   .arg(QLatin1String(_what))
                   .arg(_backstopMs);
        break;
    }
    _status = core::ITF_ERR_TIMEOUT;
    return FAILED;
}

} // namespace tarvesk::itf
