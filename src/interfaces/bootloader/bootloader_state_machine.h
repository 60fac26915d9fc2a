#pragma once

#include "interfaces/bootloader/bootloader_state.h"

#include <QObject>

#include <memory>
#include <vector>

namespace tarvesk::itf {

class BootloaderClock;
class BootloaderStateFactory;

// Brings a driver into its bootloader and keeps track of how long it stays
// reachable: check ready, make ready, start, verify, then mode active or
// inactive, the whole run inside startBootloader. The bootloader's signals
// re-arm the active mode or end it.
//
// A transition may happen inside the trigger of the state it replaces (a
// start that proves the bootloader at once, a row read inside a verify), so
// a replaced state is kept until the outermost transition has returned: no
// state is destroyed while its own code runs.
class BootloaderStateMachine : public QObject
{
    Q_OBJECT

public:
    // Takes the factory; the machine starts in the inactive mode.
    explicit BootloaderStateMachine(BootloaderStateFactory* factory, QObject* parent = nullptr);
    ~BootloaderStateMachine() override;

    // Nothing when the current state is in bootloader mode; else the entry run.
    void startBootloader();
    BootloaderState* getState() const { return _state.get(); }
    // Makes the state current (the machine takes it) and triggers it.
    void setState(BootloaderState* state);
    BootloaderStateFactory* getFactory() const { return _factory.get(); }

    BootloaderClock& clock() const { return *_clock; }
    // The clock of the states; the system clock unless a test gives another.
    void setClock(BootloaderClock* clock);

signals:
    void stateChanged(tarvesk::itf::BootloaderState::State newState);
    void startBootloaderFailed();
    void startBootloaderSucceeded();

public slots:
    void bootloaderModeVerified(unsigned int minTimeout, qint64 extraTimeout);
    void bootloaderModeStopped();

private:
    void triggerCurrent();
    void leaveRun();

    std::unique_ptr<BootloaderStateFactory> _factory;
    std::unique_ptr<BootloaderState> _state;
    // States replaced during the running transitions, destroyed when the outermost ends.
    std::vector<std::unique_ptr<BootloaderState>> _replaced;
    int _running = 0;
    BootloaderClock* _clock;
};

} // namespace tarvesk::itf
