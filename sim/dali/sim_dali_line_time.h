#pragma once

namespace tarvesk::sim {

// The time DALI frames take on the wire one after another (SimDaliTiming): each
// forward frame after the settling time that what came before it asks for, each
// backward frame after its delay. The bus model and the simulated box both keep
// their clocks with it, so that the box's record times follow the bus.
class SimDaliLineTime
{
public:
    // A forward frame of `bytes` bytes with the settling time before it, in microseconds.
    double forward(int bytes);
    // The backward frame that followed it (one gear, several at once, or a gear
    // that answers past the window), with its delay.
    double backward(bool late);
    // Nobody answered: the answer window ends inside the next settling time.
    void unanswered() { _lastWasBackward = false; }

private:
    bool _lastWasBackward = false;
};

} // namespace tarvesk::sim
