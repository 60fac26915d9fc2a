#pragma once

#include <QList>
#include <QtGlobal>

namespace tarvesk::itf {

class BootloaderState;
class BootloaderStateMachine;

// Builds the states of a bootloader state machine; a bus with its own way of
// getting ready, starting or verifying overrides the builders of those states.
// Every state returned is new and bound to the machine, which owns it.
class BootloaderStateFactory
{
public:
    enum OPTIONS { USE_VD_CHECK_READY = 0, USE_VD_MAKE_READY = 1 };

    explicit BootloaderStateFactory(const QList<OPTIONS>& options = {});
    virtual ~BootloaderStateFactory();

    void setStateMachine(BootloaderStateMachine* machine) { _machine = machine; }
    BootloaderStateMachine* getStateMachine() const { return _machine; }
    bool hasOption(OPTIONS option) const { return _options.contains(option); }

    virtual BootloaderState* createCheckReadyState();
    virtual BootloaderState* createMakeReadyState();
    virtual BootloaderState* createVerifyState(qint64 startTime);
    virtual BootloaderState* createStartBootloadersState();
    virtual BootloaderState* createModeActiveBootloaderState(unsigned int minTimeout, qint64 extraTimeout);
    virtual BootloaderState* createModeInactiveBootloaderState();

private:
    BootloaderStateMachine* _machine = nullptr; // not owned
    const QList<OPTIONS> _options;
};

} // namespace tarvesk::itf
