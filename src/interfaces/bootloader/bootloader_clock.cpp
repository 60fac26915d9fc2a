#include "interfaces/bootloader/bootloader_clock.h"

#include <QDateTime>

#include <chrono>
#include <thread>

namespace tarvesk::itf {

BootloaderClock::~BootloaderClock() = default;

qint64 BootloaderClock::nowMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

void BootloaderClock::sleepMs(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

BootloaderClock& BootloaderClock::system()
{
    static BootloaderClock clock;
    return clock;
}

} // namespace tarvesk::itf
