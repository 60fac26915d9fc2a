#pragma once

#include "dali/sim_dali_line_time.h"
#include "dorvane/sim_dorvane_controller.h"
#include "sim_box_config.h"
#include "sim_bus_clock.h"
#include "sim_bus_model.h"
#include "sim_call.h"
#include "sim_faults.h"
#include "vandrel_monitor_stream_encoder.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QStringList>

#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

struct libusb_device_descriptor;

namespace tarvesk::sim {

// One simulated Vandrel USB programming interface: its USB identity, the
// registers of its firmware, the 64-byte reports it answers, the monitor record
// stream it keeps for the host to poll (firmware 13 and later), the buses
// behind it with their models, and the faults planned for it. Thread-safe: the
// libusb stand-in calls it from request and monitor threads while a test edits
// faults or unplugs it.
class SimVandrelBox
{
public:
    static constexpr int ReportSize = 64;
    // Firmware from which the box keeps a monitor stream, and from which it
    // reports a missing answer as a time-out event record.
    static constexpr int MonitorFirmware = 13;
    static constexpr int TimeoutEventFirmware = 16;
    // The bootloader report: spam and status from firmware 18, start and stop
    // (and the spam in 3 ms units) from firmware 20. The box probes the driver
    // on its Dorvane port (a row read) once for each status request, each probe
    // standing for this much of the time the request gave.
    static constexpr int BootloaderProbeMs = 12;

    explicit SimVandrelBox(const SimBoxConfig& config = SimBoxConfig());

    SimBoxConfig config() const;
    void fillDescriptor(libusb_device_descriptor* descriptor) const;
    // String descriptor text: 1 manufacturer, 2 product, 3 serial; null for others.
    QString stringDescriptor(int index) const;

    // Registers of the box's Dorvane side.
    static constexpr int StatusRegister = 4;
    static constexpr quint16 DorvaneNotConnected = 0x02; // in the status register
    static constexpr int DorvaneModeRegister = 48;       // release 0x2014
    static constexpr quint16 NewerRelease = 0x2014;

    // Firmware registers (the get and set parameter commands); unset registers
    // read 0. Bit 0x02 of the status register is the box's own: set while no
    // Dorvane driver answers on the port.
    quint16 registerValue(int address) const;
    void setRegister(int address, quint16 value);
    // The box's Dorvane controller (its RAM holds the Dorvane mode on boxes
    // before release 0x2014).
    SimDorvaneController& dorvaneController() { return _dorvane; }
    // The Dorvane mode: register 48 on release 0x2014, the controller's
    // configuration word on older releases.
    SimDorvaneController::Mode dorvaneMode() const;
    bool isDorvaneDriverConnected() const;
    // The 63 bytes after byte 0 of the status block reply.
    void setStatusBlock(const QByteArray& bytes);

    void addBusModel(std::shared_ptr<SimBusModel> model);
    int busModelCount() const;
    int busModelCount(SimBusModel::Bus bus) const;
    // The index-th model on a bus, in the order they were added; null when there is none.
    std::shared_ptr<SimBusModel> busModel(SimBusModel::Bus bus, int index) const;

    // Puts a record into the monitor stream (subject to the record faults); the
    // record types are those of proto::UsbVandrelPacketFactory.
    void pushRecord(quint8 type, quint8 index, quint8 flags, const QByteArray& payload);
    // True while the host has stream bytes (or a late record) still to fetch.
    bool hasStreamData() const;
    int pollCount() const;

    // Plans faults: box->editFaults([](SimFaults& f) { f.failNext(SimCall::BulkIn, LIBUSB_ERROR_TIMEOUT); });
    void editFaults(const std::function<void(SimFaults&)>& edit);
    // A pulled cable: every call on the box's handles fails with "no device" and
    // listings leave it out until it is plugged in again (as a new USB device).
    void unplug();
    void replug();
    bool isPlugged() const;
    int plugGeneration() const;

    // A box that records each DMX frame only once the line has carried it
    // (its break, mark after break and slots, in real time, one frame after
    // the other), after the DALI records made meanwhile, as the hardware
    // does. Off: DMX frames are recorded as they arrive.
    void setDmxRecordedAfterLine(bool on);

    void setTiming(SimTiming timing);
    SimBusStats busStats() const;
    qint64 busTimeUs() const;

    // Calls the libusb stand-in made on this box, by kind, and the latest of them
    // in order (bounded), e.g. "bulk_out 0x01", "clear_halt 0x81".
    int callCount(SimCall call) const;
    QStringList callLog() const;
    void clearCallLog();

    // Used by the libusb stand-in.
    int beginCall(SimCall call, const QString& detail = QString());
    int takeShortReply();
    // How long a call of that kind is to stall before it reaches the box (SimFaults::slowNext).
    int takeCallDelay(SimCall call);
    // The libusb error a monitor poll is to fail with (SimFaults::failPolls), or 0.
    int takePollError();
    int failedPollCount() const;
    // Answers one request report; the reply is always 64 bytes.
    void exchange(const unsigned char* request, int length, unsigned char* reply);
    // How long the next monitor poll is to be held back (SimFaults::setPollHoldBack); 0 once taken.
    int takePollHoldBack();

private:
    using Lock = std::lock_guard<std::recursive_mutex>;

    void answerLocked(const unsigned char* request, unsigned char* reply);
    void answerDali(const unsigned char* request);
    void answerDmx(const unsigned char* request, unsigned char* reply);
    void answerLegacyDmx(const unsigned char* request, unsigned char* reply);
    void answerParameter(const unsigned char* request, unsigned char* reply);
    void answerBootloader(const unsigned char* request, unsigned char* reply);
    void pollBootloaderWait();
    std::optional<QByteArray> internalFrame(QByteArray frame);
    std::optional<QByteArray> dorvaneDriverFrame(const QByteArray& frame);
    void takeUnplugRequests();
    std::vector<std::shared_ptr<SimBusModel>> modelsOn(SimBusModel::Bus bus) const;
    void answerPoll(unsigned char* reply);
    void finishDmxFrame();
    SimDaliAnswer putDaliFrame(const QByteArray& frame);
    void heardDaliFrame(const QByteArray& frame);
    bool daliSupplyPresent() const;
    std::optional<QByteArray> putDmxFrame(const QByteArray& frame, double breakUs, bool* collided);
    void recordLocked(quint8 type, quint8 index, quint8 flags, const QByteArray& payload);
    // The DMX line's records whose time has come go into the stream.
    void recordDmxLine();
    bool hasMonitor() const { return _config.firmwareVersion >= MonitorFirmware; }

    mutable std::recursive_mutex _mutex; // guards everything below
    SimBoxConfig _config;
    QMap<int, quint16> _registers;
    SimDorvaneController _dorvane;
    QByteArray _statusBlock;
    std::vector<std::shared_ptr<SimBusModel>> _models;
    SimFaults _faults;
    SimBusClock _clock;
    SimDaliLineTime _daliLine; // what the DALI bus's frames cost _clock
    VandrelMonitorStreamEncoder _stream;
    struct DelayedRecord
    {
        int readyAtPoll;
        QByteArray bytes;
        std::chrono::steady_clock::time_point readyAt; // and not before
    };
    std::deque<DelayedRecord> _delayed;
    std::chrono::steady_clock::time_point _holdRecordsUntil; // records made before go to _delayed
    int _pollCount = 0;
    int _failedPolls = 0;
    int _pollHoldBackMs = 0;
    bool _plugged = true;
    int _plugGeneration = 0;
    std::array<int, SimCallCount> _callCounts = {};
    QStringList _callLog;

    // Monitor record indices: every frame the box puts on a bus gets the next one.
    quint8 _nextIndex = 0;
    // A DMX frame arriving in a chain of data reports.
    QByteArray _dmxFrame;
    int _dmxContinuationsLeft = 0;
    int _dmxNextContinuation = 0;
    quint8 _dmxIndex = 0;
    bool _dmxExpectAnswer = false;
    bool _dmxInternal = false;
    double _dmxBreakUs = SimBusClock::DmxDefaultBreakUs;
    // Recording DMX frames after their time on the line: what waits for it.
    bool _dmxRecordedAfterLine = false;
    struct LineRecord
    {
        std::chrono::steady_clock::time_point at;
        quint8 index;
        quint8 flags;
        QByteArray payload;
    };
    std::deque<LineRecord> _dmxLine;
    std::chrono::steady_clock::time_point _dmxLineFreeAt;
    // Older firmware: the backward frame of the last DALI query, fetched with
    // the DALI status and data requests.
    std::optional<quint8> _daliAnswer;
    quint16 _daliAnswerTicks = 0;
    // The box's own wait for the bootloader of the driver on its Dorvane port
    // (spam and start): one probe a status request, each standing for
    // BootloaderProbeMs of the time it was given.
    struct BootloaderWait
    {
        int state = 0; // proto::vandrel::BootloaderWaitState
        bool functions = false;
        int budgetMs = 0;
        int spentMs = 0;
        quint16 count = 0;
        bool entered = false;
    };
    BootloaderWait _bootloaderWait;
};

} // namespace tarvesk::sim
