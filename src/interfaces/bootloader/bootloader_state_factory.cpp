#include "interfaces/bootloader/bootloader_state_factory.h"

#include "interfaces/bootloader/check_ready_bootloader_state.h"
#include "interfaces/bootloader/make_ready_bootloader_state.h"
#include "interfaces/bootloader/mode_active_bootloader_state.h"
#include "interfaces/bootloader/mode_inactive_bootloader_state.h"
#include "interfaces/bootloader/start_bootloader_state.h"
#include "interfaces/bootloader/verify_bootloader_state.h"

namespace tarvesk::itf {

BootloaderStateFactory::BootloaderStateFactory(const QList<OPTIONS>& options)
    : _options(options)
{ }

BootloaderStateFactory::~BootloaderStateFactory() = default;

BootloaderState* BootloaderStateFactory::createCheckReadyState()
{
    return new CheckReadyBootloaderState(_machine);
}

BootloaderState* BootloaderStateFactory::createMakeReadyState()
{
    return new MakeReadyBootloaderState(_machine);
}

BootloaderState* BootloaderStateFactory::createVerifyState(qint64 startTime)
{
    return new VerifyBootloaderState(_machine, startTime);
}

BootloaderState* BootloaderStateFactory::createStartBootloadersState()
{
    return new StartBootloaderState(_machine);
}

BootloaderState* BootloaderStateFactory::createModeActiveBootloaderState(
    unsigned int minTimeout, qint64 extraTimeout)
{
    return new ModeActiveBootloaderState(_machine, minTimeout, extraTimeout);
}

BootloaderState* BootloaderStateFactory::createModeInactiveBootloaderState()
{
    return new ModeInactiveBootloaderState(_machine);
}

} // namespace tarvesk::itf
