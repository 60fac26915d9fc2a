#include "sim_dali_master.h"

#include "sim_bench_entry.h"

#include <QJsonArray>

namespace tarvesk::sim {

SimDaliMaster::SimDaliMaster(
    QByteArray frame, std::chrono::milliseconds period, QByteArray aheadOf, bool aheadOfEvery)
    : _frame(std::move(frame))
    , _period(period)
    , _aheadOf(std::move(aheadOf))
    , _aheadOfEvery(aheadOfEvery)
    , _next(std::chrono::steady_clock::now() + period)
{ }

std::optional<QByteArray> SimDaliMaster::daliTraffic()
{
    if (_aheadOfEvery || !_aheadOf.isEmpty())
        return std::nullopt;
    return sendIfDue();
}

std::optional<QByteArray> SimDaliMaster::daliTrafficAhead(const QByteArray& boxFrame)
{
    if (!_aheadOfEvery && (_aheadOf.isEmpty() || boxFrame != _aheadOf))
        return std::nullopt;
    return sendIfDue();
}

std::optional<QByteArray> SimDaliMaster::sendIfDue()
{
    std::lock_guard<std::mutex> locker(_mutex);
    const auto now = std::chrono::steady_clock::now();
    if (now < _next)
        return std::nullopt;
    _next = now + _period;
    ++_sent;
    return _frame;
}

void SimDaliMaster::setBurst(Burst burst)
{
    std::lock_guard<std::mutex> locker(_mutex);
    _burst = std::move(burst);
}

std::vector<QByteArray> SimDaliMaster::daliTrafficAfter(const QByteArray& boxFrame)
{
    std::lock_guard<std::mutex> locker(_mutex);
    if (_burst.after.isEmpty() || boxFrame != _burst.after)
        return {};
    std::vector<QByteArray> frames(size_t(_burst.count), _frame);
    frames.insert(frames.end(), _burst.then.begin(), _burst.then.end());
    _burst = Burst();
    _sent += int(frames.size());
    return frames;
}

int SimDaliMaster::framesSent() const
{
    std::lock_guard<std::mutex> locker(_mutex);
    return _sent;
}

std::shared_ptr<SimBusModel> createDaliMasterFromBench(const QJsonObject& entry, QString* error)
{
    SimBenchEntry reader(entry, error);
    reader.onlyKeys({"frame", "period_ms", "ahead_of_box", "ahead_of", "ahead_of_every_frame", "burst_after",
        "burst_count", "burst_then"});
    const auto readFrame = [&reader](const char* key, QByteArray& frame) {
        if (!reader.has(key))
            return;
        frame = reader.bytes(key, 3);
        if (!reader.failed() && frame.size() < 2)
            reader.fail(QStringLiteral("\"%1\" must hold 2 or 3 bytes").arg(QLatin1String(key)));
    };
    QByteArray frame("\x9F\x05", 2);
    readFrame("frame", frame);
    QByteArray aheadOf;
    readFrame("ahead_of", aheadOf);
    quint64 periodMs = 20;
    if (reader.has("period_ms")) {
        if (auto value = reader.number("period_ms", 1, 60000))
            periodMs = *value;
    }
    bool ahead = false;
    bool aheadOfEvery = false;
    reader.readBool("ahead_of_box", ahead);
    reader.readBool("ahead_of_every_frame", aheadOfEvery);
    if (ahead && aheadOf.isEmpty())
        aheadOf = frame;
    SimDaliMaster::Burst burst;
    readFrame("burst_after", burst.after);
    if (reader.has("burst_count")) {
        if (auto value = reader.number("burst_count", 0, 5000))
            burst.count = int(*value);
    }
    if (reader.has("burst_then")) {
        const QJsonValue then = entry.value(QStringLiteral("burst_then"));
        if (!then.isArray() || then.toArray().size() > 8) {
            reader.fail(QStringLiteral("\"burst_then\" must be a list of at most 8 frames"));
        } else {
            for (const QJsonValue& value : then.toArray()) {
                const QByteArray thenFrame = reader.bytesOf(value, QStringLiteral("burst_then"), 3);
                if (reader.failed())
                    break;
                if (thenFrame.size() < 2) {
                    reader.fail(QStringLiteral("\"burst_then\" frames must hold 2 or 3 bytes"));
                    break;
                }
                burst.then.push_back(thenFrame);
            }
        }
    }
    if (!reader.failed() && burst.after.isEmpty() && (burst.count > 0 || !burst.then.empty()))
        reader.fail(QStringLiteral("\"burst_count\" and \"burst_then\" need \"burst_after\""));
    if (reader.failed())
        return nullptr;
    auto master
        = std::make_shared<SimDaliMaster>(frame, std::chrono::milliseconds(periodMs), aheadOf, aheadOfEvery);
    master->setBurst(std::move(burst));
    return master;
}

} // namespace tarvesk::sim
