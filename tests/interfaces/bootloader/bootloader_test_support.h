#pragma once

#include "core/itf_error.h"
#include "interfaces/bootloader/bootloader_clock.h"
#include "interfaces/bootloader/bootloader_state_machine.h"
#include "interfaces/bootloader/ibootloader.h"
#include "interfaces/ibootloader_mode_control.h"
#include "protocol/options.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <QMetaEnum>
#include <QStringList>

#include <deque>
#include <vector>

namespace tarvesk::test {

// Time that passes only when the code under test sleeps or the test says so.
class ManualBootloaderClock : public itf::BootloaderClock
{
public:
    qint64 nowMs() const override
    {
        now += stepPerRead;
        return now;
    }
    void sleepMs(int ms) override
    {
        sleeps.push_back(ms);
        now += ms;
    }

    mutable qint64 now = 1000000;
    int stepPerRead = 0; // time that passes with every reading of the clock
    std::vector<int> sleeps;
};

// Records the states and outcomes a machine signals, as "CHECK_READY",
// "START_BOOTLOADER", ..., "succeeded", "failed".
inline void recordMachine(itf::BootloaderStateMachine& machine, QStringList& events)
{
    QObject::connect(&machine, &itf::BootloaderStateMachine::stateChanged, [&events](auto state) {
        const QMetaEnum names = QMetaEnum::fromType<itf::BootloaderState::State>();
        events << QString::fromLatin1(names.valueToKey(state)).mid(int(qstrlen("STATE_")));
    });
    QObject::connect(&machine, &itf::BootloaderStateMachine::startBootloaderSucceeded,
        [&events] { events << QStringLiteral("succeeded"); });
    QObject::connect(&machine, &itf::BootloaderStateMachine::startBootloaderFailed,
        [&events] { events << QStringLiteral("failed"); });
}

// A bootloader whose row read answers as scripted (true: in bootloader mode).
class FakeBootloader : public itf::IBootloader
{
public:
    bool checkDeviceInBootloaderMode() override
    {
        ++checks;
        if (checkResults.empty())
            return false;
        const bool result = checkResults.front();
        if (checkResults.size() > 1)
            checkResults.pop_front();
        return result;
    }
    int writeRows(QStringList, int&, int&, unsigned char) override { return core::ITF_OK; }
    int sendBootloaderSpam(int, bool&, int&) override { return core::ITF_OK; }
    int erasePage(unsigned char) override { return core::ITF_OK; }
    int readRowAddress(int, unsigned char&, QString&, unsigned char) override { return core::ITF_OK; }
    int getHardwareSystemInfo(unsigned short&, unsigned short&) override { return core::ITF_OK; }
    int stopBootloaderMode() override { return core::ITF_OK; }
    int sendBootloaderCommand(proto::WystrelPacket&, proto::Options&, proto::WystrelPacket&) override
    {
        return core::ITF_OK;
    }
    void finalizeWriteRows() override { }

    std::deque<bool> checkResults; // the last one repeats
    int checks = 0;
};

// A mode control whose start answers as scripted.
class FakeModeControl : public itf::IBootloaderModeControl
{
public:
    int startBootloader(int timeoutMs, bool& entered, int&) override
    {
        timeouts.push_back(timeoutMs);
        entered = enters;
        return status;
    }
    using itf::IBootloaderModeControl::startBootloader;
    int sendBootloaderModeAccessCommand(int, int, int, bool) override { return core::ITF_OK; }

    int status = core::ITF_OK;
    bool enters = true;
    std::vector<int> timeouts;
};

} // namespace tarvesk::test
