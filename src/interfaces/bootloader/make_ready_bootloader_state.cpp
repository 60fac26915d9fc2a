#include "interfaces/bootloader/make_ready_bootloader_state.h"

#include "interfaces/bootloader/bootloader_state_factory.h"
#include "interfaces/bootloader/bootloader_state_machine.h"

namespace tarvesk::itf {

MakeReadyBootloaderState::MakeReadyBootloaderState(BootloaderStateMachine* machine)
    : BootloaderState(machine, STATE_MAKE_READY)
{ }

MakeReadyBootloaderState::~MakeReadyBootloaderState() = default;

void MakeReadyBootloaderState::trigger()
{
    while (_attempts < Attempts) {
        ++_attempts;
        if (makeReady()) {
            machine()->setState(factory().createStartBootloadersState());
            return;
        }
    }
    machine()->setState(factory().createModeInactiveBootloaderState());
}

bool MakeReadyBootloaderState::makeReady()
{
    return true;
}

} // namespace tarvesk::itf
