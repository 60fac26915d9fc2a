#include "interfaces/bootloader/check_ready_bootloader_state.h"

#include "interfaces/bootloader/bootloader_state_factory.h"
#include "interfaces/bootloader/bootloader_state_machine.h"

namespace tarvesk::itf {

CheckReadyBootloaderState::CheckReadyBootloaderState(BootloaderStateMachine* machine)
    : BootloaderState(machine, STATE_CHECK_READY)
{ }

CheckReadyBootloaderState::~CheckReadyBootloaderState() = default;

void CheckReadyBootloaderState::trigger()
{
    if (checkReady())
        machine()->setState(factory().createStartBootloadersState());
    else
        machine()->setState(factory().createMakeReadyState());
}

bool CheckReadyBootloaderState::checkReady() const
{
    return true;
}

} // namespace tarvesk::itf
