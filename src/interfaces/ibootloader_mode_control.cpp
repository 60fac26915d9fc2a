#include "interfaces/ibootloader_mode_control.h"

#include "core/itf_error.h"

#include <chrono>
#include <thread>

namespace tarvesk::itf {

IBootloaderModeControl::~IBootloaderModeControl() = default;

int IBootloaderModeControl::startBootloader(int)
{
    const int unlock = sendPrimeUnlock();
    if (unlock != core::ITF_OK)
        return unlock;
    int status = core::ITF_OK;
    for (int attempt = 0; attempt < StartAttempts; ++attempt) {
        status = sendStartBootloader();
        if (status == core::ITF_OK)
            break;
    }
    if (status != core::ITF_OK)
        return status;
    settle(SettleAfterStartMs);
    return core::ITF_OK;
}

int IBootloaderModeControl::startBootloader(int timeoutMs, bool& entered, int&)
{
    entered = true;
    return startBootloader(timeoutMs);
}

int IBootloaderModeControl::sendBootloaderSpam(int, bool&, int&)
{
    return core::ITF_ERR_UNSUPPORTED_FEATURE;
}

void IBootloaderModeControl::initializeForEnterBootloader() { }

int IBootloaderModeControl::sendPrimeUnlock()
{
    return sendBootloaderModeAccessCommand(
        AccessParameter, PrimeUnlockCode >> 8, PrimeUnlockCode & 0xFF, true);
}

int IBootloaderModeControl::sendStartBootloader()
{
    return sendBootloaderModeAccessCommand(
        AccessParameter, StartBootloaderCode >> 8, StartBootloaderCode & 0xFF, false);
}

int IBootloaderModeControl::setSpecialVolatileMode(unsigned char mode)
{
    const int unlock = sendPrimeUnlock();
    if (unlock != core::ITF_OK)
        return unlock;
    return sendBootloaderModeAccessCommand(AccessParameter, 0x00, mode, false);
}

void IBootloaderModeControl::settle(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace tarvesk::itf
