#pragma once

#include "sim_bus_model.h"

#include <QByteArray>
#include <QJsonObject>

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

namespace tarvesk::sim {

// Another master on the DALI bus (a wall panel, a second controller): it puts
// its own forward frame on the line every period, whatever the box is doing.
// The box hears and records those frames like its own, and the gear on the
// bus act on them. Built from a bench entry:
//
//   {"model": "dali_master",
//    "frame": [159, 5],          its forward frame, 2 or 3 bytes; default
//                                GROUP 15 RECALL MAX LEVEL (0x9F 0x05)
//    "period_ms": 20,            1..60000, default 20
//    "ahead_of_box": false,      true: the frame goes on the line only right
//                                before the box puts the identical frame there
//                                (at most once a period), so its echo comes
//                                first, after the box's request went out
//    "ahead_of": [1, 160],       as "ahead_of_box", but right before the box
//                                puts this frame (2 or 3 bytes) there
//    "ahead_of_every_frame": false,  true: as "ahead_of_box", but right
//                                before any frame of the box (a master that
//                                reads the gear's memory beside ours)
//    "burst_after": [1, 160],    once, right after the box puts this frame (2
//                                or 3 bytes) on the line and its answer: a
//                                burst of "burst_count" of its own frame, then
//                                the frames of "burst_then", in order
//    "burst_count": 1100,        0..5000, default 0
//    "burst_then": [[254, 77], [1, 160]]}  up to 8 frames of 2 or 3 bytes
//
// Time here is the host's: the frames come as the box is polled, at most one
// a poll, so a host that polls late hears them late, as a real box would
// report them.
class SimDaliMaster : public SimBusModel
{
public:
    // aheadOf: the box's frame this one goes right before; aheadOfEvery: it
    // goes right before any frame of the box. Neither: every period.
    SimDaliMaster(QByteArray frame, std::chrono::milliseconds period, QByteArray aheadOf = {},
        bool aheadOfEvery = false);

    // Once, right after the box's frame `after`: `count` of this master's
    // frame, then `then`.
    struct Burst
    {
        QByteArray after;
        int count = 0;
        std::vector<QByteArray> then;
    };
    void setBurst(Burst burst);

    Bus bus() const override { return Dali; }
    QString modelName() const override { return QStringLiteral("dali_master"); }
    std::optional<QByteArray> daliTraffic() override;
    std::optional<QByteArray> daliTrafficAhead(const QByteArray& boxFrame) override;
    std::vector<QByteArray> daliTrafficAfter(const QByteArray& boxFrame) override;

    int framesSent() const;

private:
    std::optional<QByteArray> sendIfDue();

    const QByteArray _frame;
    const std::chrono::milliseconds _period;
    const QByteArray _aheadOf;
    const bool _aheadOfEvery;
    mutable std::mutex _mutex;
    std::chrono::steady_clock::time_point _next; // guarded by _mutex
    int _sent = 0;                               // guarded by _mutex
    Burst _burst;                                // guarded by _mutex; after empty once sent
};

std::shared_ptr<SimBusModel> createDaliMasterFromBench(const QJsonObject& entry, QString* error);

} // namespace tarvesk::sim
