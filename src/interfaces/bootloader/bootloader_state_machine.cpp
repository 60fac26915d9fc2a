#include "interfaces/bootloader/bootloader_state_machine.h"

#include "interfaces/bootloader/bootloader_clock.h"
#include "interfaces/bootloader/bootloader_state_factory.h"

namespace tarvesk::itf {

BootloaderStateMachine::BootloaderStateMachine(BootloaderStateFactory* factory, QObject* parent)
    : QObject(parent)
    , _factory(factory)
    , _clock(&BootloaderClock::system())
{
    static const int registered = qRegisterMetaType<tarvesk::itf::BootloaderState::State>();
    Q_UNUSED(registered)
    _factory->setStateMachine(this);
    _state.reset(_factory->createModeInactiveBootloaderState());
    triggerCurrent();
}

BootloaderStateMachine::~BootloaderStateMachine()
{
    _state.reset();
    _replaced.clear();
}

void BootloaderStateMachine::setClock(BootloaderClock* clock)
{
    _clock = clock ? clock : &BootloaderClock::system();
}

void BootloaderStateMachine::startBootloader()
{
    if (_state && _state->inBootloaderMode())
        return;
    setState(_factory->createCheckReadyState());
}

void BootloaderStateMachine::setState(BootloaderState* state)
{
    if (!state)
        return;
    ++_running;
    std::unique_ptr<BootloaderState> previous = std::move(_state);
    _state.reset(state);
    const BootloaderState::State value = state->getState();
    emit stateChanged(value);
    if (value == BootloaderState::STATE_MODE_INACTIVE)
        emit startBootloaderFailed();
    else if (value == BootloaderState::STATE_MODE_ACTIVE)
        emit startBootloaderSucceeded();
    state->trigger();
    if (previous)
        _replaced.push_back(std::move(previous));
    leaveRun();
}

void BootloaderStateMachine::triggerCurrent()
{
    ++_running;
    _state->trigger();
    leaveRun();
}

void BootloaderStateMachine::leaveRun()
{
    if (--_running == 0)
        _replaced.clear();
}

void BootloaderStateMachine::bootloaderModeVerified(unsigned int minTimeout, qint64 extraTimeout)
{
    if (_state && _state->inBootloaderMode())
        triggerCurrent();
    else if (extraTimeout != 0)
        setState(_factory->createModeActiveBootloaderState(minTimeout, extraTimeout));
}

void BootloaderStateMachine::bootloaderModeStopped()
{
    setState(_factory->createModeInactiveBootloaderState());
}

} // namespace tarvesk::itf
