#pragma once

#include "interfaces/bootloader/bootloader_state.h"

namespace tarvesk::itf {

// The driver is not known to be in its bootloader.
class ModeInactiveBootloaderState : public BootloaderState
{
    Q_OBJECT

public:
    explicit ModeInactiveBootloaderState(BootloaderStateMachine* machine);
    ~ModeInactiveBootloaderState() override;

    void trigger() override;
};

} // namespace tarvesk::itf
