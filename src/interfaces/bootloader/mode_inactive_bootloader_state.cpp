#include "interfaces/bootloader/mode_inactive_bootloader_state.h"

namespace tarvesk::itf {

ModeInactiveBootloaderState::ModeInactiveBootloaderState(BootloaderStateMachine* machine)
    : BootloaderState(machine, STATE_MODE_INACTIVE)
{ }

ModeInactiveBootloaderState::~ModeInactiveBootloaderState() = default;

void ModeInactiveBootloaderState::trigger() { }

} // namespace tarvesk::itf
