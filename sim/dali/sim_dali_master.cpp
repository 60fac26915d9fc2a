#include "sim_dali_master.h"

#include "sim_bench_entry.h"

namespace tarvesk::sim {

SimDaliMaster::SimDaliMaster(QByteArray frame, std::chrono::milliseconds period, Ahead ahead)
    : _frame(std::move(frame))
    , _period(period)
    , _ahead(ahead)
    , _next(std::chrono::steady_clock::now() + period)
{ }

std::optional<QByteArray> SimDaliMaster::daliTraffic()
{
    if (_ahead != Ahead::Never)
        return std::nullopt;
    return sendIfDue();
}

std::optional<QByteArray> SimDaliMaster::daliTrafficAhead(const QByteArray& boxFrame)
{
    if (_ahead == Ahead::Never || (_ahead == Ahead::OfIdenticalFrame && boxFrame != _frame))
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

int SimDaliMaster::framesSent() const
{
    std::lock_guard<std::mutex> locker(_mutex);
    return _sent;
}

std::shared_ptr<SimBusModel> createDaliMasterFromBench(const QJsonObject& entry, QString* error)
{
    SimBenchEntry reader(entry, error);
    reader.onlyKeys({"frame", "period_ms", "ahead_of_box", "ahead_of_every_frame"});
    QByteArray frame("\x9F\x05", 2);
    if (reader.has("frame")) {
        frame = reader.bytes("frame", 3);
        if (!reader.failed() && frame.size() < 2)
            reader.fail(QStringLiteral("\"frame\" must hold 2 or 3 bytes"));
    }
    quint64 periodMs = 20;
    if (reader.has("period_ms")) {
        if (auto value = reader.number("period_ms", 1, 60000))
            periodMs = *value;
    }
    bool aheadOfIdentical = false;
    bool aheadOfEvery = false;
    reader.readBool("ahead_of_box", aheadOfIdentical);
    reader.readBool("ahead_of_every_frame", aheadOfEvery);
    if (reader.failed())
        return nullptr;
    const SimDaliMaster::Ahead ahead = aheadOfEvery ? SimDaliMaster::Ahead::OfEveryFrame
        : aheadOfIdentical                          ? SimDaliMaster::Ahead::OfIdenticalFrame
                                                    : SimDaliMaster::Ahead::Never;
    return std::make_shared<SimDaliMaster>(frame, std::chrono::milliseconds(periodMs), ahead);
}

} // namespace tarvesk::sim
