#include "interfaces/bootloader/verify_bootloader_state.h"

#include "interfaces/bootloader/bootloader_state_factory.h"
#include "interfaces/bootloader/bootloader_state_machine.h"

namespace tarvesk::itf {

VerifyBootloaderState::VerifyBootloaderState(BootloaderStateMachine* machine, qint64 startTime)
    : BootloaderState(machine, STATE_VERIFY_BOOTLOADER)
    , _startTime(startTime)
{ }

VerifyBootloaderState::~VerifyBootloaderState() = default;

void VerifyBootloaderState::trigger()
{
    while (_attempts < Attempts) {
        ++_attempts;
        if (verifyBootloader()) {
            machine()->setState(factory().createModeActiveBootloaderState(ActiveMinTimeoutMs, 0));
            return;
        }
    }
    machine()->setState(factory().createModeInactiveBootloaderState());
}

bool VerifyBootloaderState::verifyBootloader()
{
    return true;
}

} // namespace tarvesk::itf
