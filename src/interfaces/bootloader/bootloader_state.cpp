#include "interfaces/bootloader/bootloader_state.h"

#include "interfaces/bootloader/bootloader_state_machine.h"

namespace tarvesk::itf {

BootloaderState::BootloaderState(BootloaderStateMachine* machine, State state)
    : _machine(machine)
    , _state(state)
{ }

BootloaderState::~BootloaderState() = default;

bool BootloaderState::inBootloaderMode() const
{
    return false;
}

BootloaderStateFactory& BootloaderState::factory() const
{
    return *_machine->getFactory();
}

BootloaderClock& BootloaderState::clock() const
{
    return _machine->clock();
}

} // namespace tarvesk::itf
