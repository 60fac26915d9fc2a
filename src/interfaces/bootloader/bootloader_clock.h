#pragma once

#include <QtGlobal>

namespace tarvesk::itf {

// The time the bootloader stack reads and the pauses it makes: milliseconds
// since the epoch and sleeps on the calling thread. Tests replace it so that
// time-outs and deadlines run without waiting.
class BootloaderClock
{
public:
    virtual ~BootloaderClock();

    virtual qint64 nowMs() const;
    virtual void sleepMs(int ms);

    // The wall clock, shared by every bootloader that was given no other.
    static BootloaderClock& system();
};

} // namespace tarvesk::itf
