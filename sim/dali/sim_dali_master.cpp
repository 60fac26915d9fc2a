#include "sim_dali_master.h"

#include "sim_bench_entry.h"

#include <QJsonArray>

namespace tarvesk::sim {

namespace {

constexpr int MaxFrames = 16;

} // namespace

SimDaliMaster::SimDaliMaster(std::vector<QByteArray> frames, std::chrono::milliseconds period,
    QByteArray aheadOf, bool aheadOfEvery, int count)
    : _frames(std::move(frames))
    , _period(period)
    , _aheadOf(std::move(aheadOf))
    , _aheadOfEvery(aheadOfEvery)
    , _count(count)
    , _next(std::chrono::steady_clock::now() + period)
{ }

std::vector<QByteArray> SimDaliMaster::daliTraffic()
{
    if (_aheadOfEvery || !_aheadOf.isEmpty())
        return {};
    return sendIfDue();
}

std::vector<QByteArray> SimDaliMaster::daliTrafficAhead(const QByteArray& boxFrame)
{
    if (!_aheadOfEvery && (_aheadOf.isEmpty() || boxFrame != _aheadOf))
        return {};
    return sendIfDue();
}

std::vector<QByteArray> SimDaliMaster::sendIfDue()
{
    std::lock_guard<std::mutex> locker(_mutex);
    const auto now = std::chrono::steady_clock::now();
    if (now < _next || (_count > 0 && _sent >= _count))
        return {};
    _next = now + _period;
    ++_sent;
    return _frames;
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
    std::vector<QByteArray> frames;
    for (int i = 0; i < _burst.count; ++i)
        frames.insert(frames.end(), _frames.begin(), _frames.end());
    frames.insert(frames.end(), _burst.then.begin(), _burst.then.end());
    _sent += int(frames.size());
    _burst = Burst();
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
    reader.onlyKeys({"frame", "frames", "period_ms", "count", "ahead_of_box", "ahead_of", "ahead_of_every_frame",
        "burst_after", "burst_count", "burst_then"});
    const auto checkFrame = [&reader](const QByteArray& frame, const QString& place) {
        if (!reader.failed() && frame.size() < 2)
            reader.fail(QStringLiteral("%1 must hold 2 or 3 bytes").arg(place));
    };
    const auto readFrame = [&](const char* key, QByteArray& frame) {
        if (!reader.has(key))
            return;
        frame = reader.bytes(key, 3);
        checkFrame(frame, QStringLiteral("\"%1\"").arg(QLatin1String(key)));
    };
    std::vector<QByteArray> frames {QByteArray("\x9F\x05", 2)};
    readFrame("frame", frames.front());
    if (reader.has("frames")) {
        const QJsonArray list = entry.value("frames").toArray();
        if (reader.has("frame"))
            reader.fail(QStringLiteral("\"frame\" and \"frames\" exclude each other"));
        else if (!entry.value("frames").isArray() || list.isEmpty() || list.size() > MaxFrames)
            reader.fail(QStringLiteral("\"frames\" must be a list of 1 to %1 frames").arg(MaxFrames));
        frames.clear();
        for (int i = 0; i < list.size() && !reader.failed(); ++i) {
            const QString place = QStringLiteral("\"frames\"[%1]").arg(i);
            frames.push_back(reader.bytesOf(list.at(i), place, 3));
            checkFrame(frames.back(), place);
        }
    }
    QByteArray aheadOf;
    readFrame("ahead_of", aheadOf);
    quint64 periodMs = 20;
    if (reader.has("period_ms")) {
        if (auto value = reader.number("period_ms", 1, 60000))
            periodMs = *value;
    }
    int count = 0;
    if (reader.has("count")) {
        if (auto value = reader.number("count", 1, 1000000))
            count = int(*value);
    }
    bool ahead = false;
    bool aheadOfEvery = false;
    reader.readBool("ahead_of_box", ahead);
    reader.readBool("ahead_of_every_frame", aheadOfEvery);
    if (ahead && aheadOf.isEmpty())
        aheadOf = frames.front();
    SimDaliMaster::Burst burst;
    readFrame("burst_after", burst.after);
    if (reader.has("burst_count")) {
        if (auto value = reader.number("burst_count", 0, 5000))
            burst.count = int(*value);
    }
    if (reader.has("burst_then")) {
        const QJsonValue then = entry.value(QStringLiteral("burst_then"));
        if (!then.isArray() || then.toArray().size() > 8)
            reader.fail(QStringLiteral("\"burst_then\" must be a list of at most 8 frames"));
        const QJsonArray list = then.toArray();
        for (int i = 0; i < list.size() && !reader.failed(); ++i) {
            const QString place = QStringLiteral("\"burst_then\"[%1]").arg(i);
            burst.then.push_back(reader.bytesOf(list.at(i), place, 3));
            checkFrame(burst.then.back(), place);
        }
    }
    if (!reader.failed() && burst.after.isEmpty() && (burst.count > 0 || !burst.then.empty()))
        reader.fail(QStringLiteral("\"burst_count\" and \"burst_then\" need \"burst_after\""));
    if (reader.failed())
        return nullptr;
    auto master = std::make_shared<SimDaliMaster>(
        std::move(frames), std::chrono::milliseconds(periodMs), aheadOf, aheadOfEvery, count);
    master->setBurst(std::move(burst));
    return master;
}

} // namespace tarvesk::sim
