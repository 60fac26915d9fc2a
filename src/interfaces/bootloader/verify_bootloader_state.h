#pragma once

#include "interfaces/bootloader/bootloader_state.h"

namespace tarvesk::itf {

// Checks that the bootloader answers, up to four tries in the life of the
// state; on to the active mode (400 ms), or to the inactive mode.
class VerifyBootloaderState : public BootloaderState
{
    Q_OBJECT

public:
    static constexpr int Attempts = 4;
    static constexpr unsigned int ActiveMinTimeoutMs = 400;

    VerifyBootloaderState(BootloaderStateMachine* machine, qint64 startTime);
    ~VerifyBootloaderState() override;

    void trigger() override;
    virtual bool verifyBootloader();
    qint64 getStartTime() const { return _startTime; }

private:
    const qint64 _startTime;
    int _attempts = 0;
};

} // namespace tarvesk::itf
