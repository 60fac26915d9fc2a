#pragma once

#include "interfaces/bootloader/bootloader_state.h"

namespace tarvesk::itf {

// The driver is in its bootloader: the mode counts as active for minTimeout
// ms after the latest proof that the bootloader answered (each trigger), the
// extra time counted once from the moment the state became current.
//
// Just after the time ran out (within 150 ms) inBootloaderMode waits out the
// overrun before it answers false, so that a caller restarting the entry does
// not catch a bootloader that is only now leaving.
class ModeActiveBootloaderState : public BootloaderState
{
    Q_OBJECT

public:
    static constexpr unsigned int GraceMs = 150;

    ModeActiveBootloaderState(BootloaderStateMachine* machine, unsigned int minTimeout, qint64 extraTimeout);
    ~ModeActiveBootloaderState() override;

    void trigger() override;
    bool inBootloaderMode() const override;

    qint64 getReferenceTime() const { return _reference; }
    unsigned int getMinTimeout() const { return _minTimeout; }

private:
    qint64 _reference;
    const quint32 _minTimeout;
    qint64 _extraTimeout;
};

} // namespace tarvesk::itf
