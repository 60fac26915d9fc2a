#pragma once

#include "interfaces/bootloader/bootloader_state.h"

namespace tarvesk::itf {

// Makes the bus ready for a bootloader start, up to four tries in the life of
// the state; on to the start, or to the inactive mode.
class MakeReadyBootloaderState : public BootloaderState
{
    Q_OBJECT

public:
    static constexpr int Attempts = 4;

    explicit MakeReadyBootloaderState(BootloaderStateMachine* machine);
    ~MakeReadyBootloaderState() override;

    void trigger() override;
    virtual bool makeReady();

private:
    int _attempts = 0;
};

} // namespace tarvesk::itf
