#pragma once

#include "interfaces/dali_interface.h"
#include "interfaces/lib_usb_interface.h"
#include "interfaces/vandrel_dali_ledger.h"

namespace tarvesk::proto {
class PacketMutex;
class UsbVandrelPacket;
} // namespace tarvesk::proto

namespace tarvesk::itf {

class IUsbVandrelDevice;

// The DALI port of a Vandrel USB programming interface (the DALI request).
// Newer interfaces (large packets) deliver the backward frame through the data
// monitor's record stream; older ones are polled for the DALI status and the
// answer is fetched with the DALI data request. Interfaces that can time the
// bus take an extended request with settling, answer and stop-bit times.
//
// Every wait on the interface is bounded: busy replies are resent with short
// pauses until a deadline and the status polling has a deadline. Whether a
// query was answered is decided by what the box recorded (VandrelAnswerWait),
// never by how soon the monitor thread ran.
class UsbVandrelDaliInterface : public DaliInterface
{
    Q_OBJECT

public:
    // Bounds of the waits; tests shorten them.
    struct Limits
    {
        // The answer window on the wire, closed by monitor passes on boxes
        // without time-out events (a backward frame ends 22 ms after its
        // forward frame at the latest; the echo itself takes part of this).
        int answerWindowMs = 60;
        int answerGuardMs = 3000;   // beyond the window: the box may be judged to have stopped reporting
        int backstopMs = 30000;     // a monitor that made no progress at all is given up on
        int busyDeadlineMs = 1000;  // resending a request the interface calls busy
        int statusDeadlineMs = 500; // polling the DALI status of older interfaces
        int pauseMs = 1;            // between busy resends and between status polls
    };

    explicit UsbVandrelDaliInterface(core::Device* device);
    ~UsbVandrelDaliInterface() override;

    // Finds the transport and the Vandrel device on the parent device and takes
    // the DALI capabilities of the device.
    void init();
    void setLimits(const Limits& limits) { _limits = limits; }

    int sendDali(proto::DaliPacket* packet, proto::DaliPacket** answer, proto::Options* options) override;
    // What the box's DALI request carries: 1 to 4 bytes on a box that times
    // the bus, exactly 2 on older firmware, bit-bang patterns up to the rest of the report.
    FrameSizes frameSizes(bool fullBitbang) const override;

private:
    // Sends the request, again while the box calls itself busy. `refused`: the
    // box did not take it, so nothing of it reaches the bus. `sending` hears
    // of each attempt that reached the box, `notTaken` (under the transfer
    // mutex) of each the box called busy.
    int sendRequest(const proto::UsbVandrelPacket& request, bool* refused = nullptr,
        const LibUsbInterface::SendingHook& sending = nullptr,
        const LibUsbInterface::RepliedHook& notTaken = nullptr);
    int sendMonitored(const proto::UsbVandrelPacket& request, const proto::DaliPacket& packet, int copies,
        bool boxTimesAnswer, proto::DaliPacket** answer, std::unique_lock<core::NetworkInterface>& exchange);
    int waitForBackwardFrame(proto::PacketMutex& mutex, bool boxTimesAnswer, proto::DaliPacket** answer);
    int pollForAnswer(proto::DaliPacket** answer);

    LibUsbInterface* _transport = nullptr; // the parent device's own interface
    IUsbVandrelDevice* _vandrel = nullptr; // the parent device, as a Vandrel device
    Limits _limits;
    // Which frame each DALI record of the monitor stream belongs to, awaited or not.
    VandrelDaliLedger _ledger;
    bool _ledgerAttached = false;
};

} // namespace tarvesk::itf
