#include "interfaces/bootloader/start_bootloader_state.h"

#include "interfaces/bootloader/bootloader_state_factory.h"
#include "interfaces/bootloader/bootloader_state_machine.h"

namespace tarvesk::itf {

StartBootloaderState::StartBootloaderState(BootloaderStateMachine* machine)
    : BootloaderState(machine, STATE_START_BOOTLOADER)
{ }

StartBootloaderState::~StartBootloaderState() = default;

void StartBootloaderState::trigger()
{
    qint64 startTime = 0;
    while (_attempts < Attempts) {
        ++_attempts;
        if (startBootloader(startTime)) {
            machine()->setState(factory().createVerifyState(startTime));
            return;
        }
    }
    machine()->setState(factory().createModeInactiveBootloaderState());
}

bool StartBootloaderState::startBootloader(qint64&)
{
    return true;
}

} // namespace tarvesk::itf
