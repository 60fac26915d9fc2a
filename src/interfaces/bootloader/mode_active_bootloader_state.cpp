#include "interfaces/bootloader/mode_active_bootloader_state.h"

#include "interfaces/bootloader/bootloader_clock.h"

namespace tarvesk::itf {

ModeActiveBootloaderState::ModeActiveBootloaderState(
    BootloaderStateMachine* machine, unsigned int minTimeout, qint64 extraTimeout)
    : BootloaderState(machine, STATE_MODE_ACTIVE)
    , _reference(clock().nowMs() + extraTimeout)
    , _minTimeout(minTimeout)
    , _extraTimeout(extraTimeout)
{ }

ModeActiveBootloaderState::~ModeActiveBootloaderState() = default;

void ModeActiveBootloaderState::trigger()
{
    _reference = clock().nowMs() + _extraTimeout;
    _extraTimeout = 0;
}

bool ModeActiveBootloaderState::inBootloaderMode() const
{
    const qint64 elapsed = clock().nowMs() - _reference;
    if (elapsed <= qint64(_minTimeout))
        return true;
    const quint32 graceEnd = _minTimeout + GraceMs; // 32-bit sum, as the time-out field is
    if (elapsed <= qint64(graceEnd))
        clock().sleepMs(int(elapsed - _minTimeout));
    return false;
}

} // namespace tarvesk::itf
