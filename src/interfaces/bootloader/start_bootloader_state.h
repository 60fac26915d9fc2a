#pragma once

#include "interfaces/bootloader/bootloader_state.h"

namespace tarvesk::itf {

// Starts the driver's bootloader, up to five tries in the life of the state;
// on to the verification (with the time of the start), or to the inactive mode.
class StartBootloaderState : public BootloaderState
{
    Q_OBJECT

public:
    static constexpr int Attempts = 5;

    explicit StartBootloaderState(BootloaderStateMachine* machine);
    ~StartBootloaderState() override;

    void trigger() override;
    // True when the start was taken; startTime is set by starts that know it.
    virtual bool startBootloader(qint64& startTime);

private:
    int _attempts = 0;
};

} // namespace tarvesk::itf
