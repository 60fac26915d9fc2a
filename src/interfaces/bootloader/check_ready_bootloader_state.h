#pragma once

#include "interfaces/bootloader/bootloader_state.h"

namespace tarvesk::itf {

// Whether the bus is ready for a bootloader start: on to the start when it
// is, else to making it ready.
class CheckReadyBootloaderState : public BootloaderState
{
    Q_OBJECT

public:
    explicit CheckReadyBootloaderState(BootloaderStateMachine* machine);
    ~CheckReadyBootloaderState() override;

    void trigger() override;
    virtual bool checkReady() const;
};

} // namespace tarvesk::itf
