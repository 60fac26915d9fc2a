#include "sim_dali_bus.h"


namespace tarvesk::sim {

SimDaliBus::SimDaliBus() = default;

SimDaliBus::~SimDaliBus() = default;

void SimDaliBus::addGear(std::shared_ptr<SimDaliGear> gear)
{
    _gear.push_back(std::move(gear));
}

void SimDaliBus::setSupply(bool present)
{
    if (_supply && !present) {
        for (const auto& gear : _gear)
            gear->busPowerLost();
    }
    _supply = present;
}

void SimDaliBus::pass(double us)
{
    if (_timing == Timing::BusTime)
        _nowUs += us;
}

SimDaliAnswer SimDaliBus::transmit(const QByteArray& frame)
{
    if (!_supply)
        return SimDaliAnswer::none(); // a bus without supply carries nothing

    pass(_line.forward(frame.size()));
    ++_forwardFrames;

    SimDaliAnswer result;
    int answers = 0;
    int lateAnswers = 0;
    for (const auto& gear : _gear) {
        const std::optional<quint8> answer = gear->receive(frame, _nowUs);
        if (!answer)
            continue;
        if (gear->answersLate()) {
            // Outside the answer window: only heard when nobody answered in it.
            if (++lateAnswers == 1 && answers == 0)
                result = SimDaliAnswer::late(*answer);
            continue;
        }
        ++answers;
        result = SimDaliAnswer::answer(*answer);
        result.reportAfterMs = gear->answerAfterMs();
    }
    // Backward frames on the wire at the same time cannot be told apart.
    if (answers > 1)
        result = SimDaliAnswer::collision();

    // An unanswered query costs no extra time: its answer window ends inside
    // the settling time before the next forward frame.
    if (answers > 0 || lateAnswers > 0) {
        pass(_line.backward(answers == 0));
        ++_backwardFrames;
    } else {
        _line.unanswered();
    }
    return result;
}

} // namespace tarvesk::sim
