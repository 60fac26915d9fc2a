#pragma once

#include <QObject>

namespace tarvesk::itf {

class BootloaderClock;
class BootloaderStateFactory;
class BootloaderStateMachine;

// One state of the bootloader state machine. Its trigger runs when it becomes
// the current state and may move the machine on at once; a trigger does
// nothing after its own call of setState.
class BootloaderState : public QObject
{
    Q_OBJECT

public:
    enum State {
        STATE_CHECK_READY = 0,
        STATE_MAKE_READY = 1,
        STATE_MODE_ACTIVE = 2,
        STATE_MODE_INACTIVE = 3,
        STATE_START_BOOTLOADER = 4,
        STATE_VERIFY_BOOTLOADER = 5
    };
    Q_ENUM(State)

    BootloaderState(BootloaderStateMachine* machine, State state);
    ~BootloaderState() override;

    State getState() const { return _state; }
    virtual void trigger() = 0;
    virtual bool inBootloaderMode() const;

protected:
    BootloaderStateMachine* machine() const { return _machine; }
    BootloaderStateFactory& factory() const;
    BootloaderClock& clock() const;

private:
    BootloaderStateMachine* _machine; // not owned
    const State _state;
};

} // namespace tarvesk::itf

Q_DECLARE_METATYPE(tarvesk::itf::BootloaderState::State)
