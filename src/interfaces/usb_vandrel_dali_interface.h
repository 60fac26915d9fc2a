#pragma once

#include "interfaces/dali_interface.h"

namespace tarvesk::proto {
class PacketMutex;
class UsbVandrelPacket;
} // namespace tarvesk::proto

namespace tarvesk::itf {

class IUsbVandrelDevice;
class LibUsbInterface;

// The DALI port of a Vandrel USB programming interface (the DALI request).
// Newer interfaces (large packets) deliver the backward frame through the data
// monitor's record stream; older ones are polled for the DALI status and the
// answer is fetched with the DALI data request. Interfaces that can time the
// bus take an extended request with settling, answer and stop-bit times.
//
// Every wait on the interface is bounded: busy replies are resent with short
// pauses until a deadline, the status polling has a deadline, and the wait for
// a backward frame ends after a quiet time and an overall deadline.
class UsbVandrelDaliInterface : public DaliInterface
{
    Q_OBJECT

public:
    // Bounds of the waits; tests shorten them.
    struct Limits
    {
        int answerQuietMs = 60;     // no DALI record for this long: nobody answered
        int answerDeadlineMs = 500; // the whole wait for a backward frame
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
    int sendRequest(const proto::UsbVandrelPacket& request);
    proto::DaliPacket* waitForBackwardFrame(proto::PacketMutex& mutex, const proto::DaliPacket& sent);
    int pollForAnswer(proto::DaliPacket** answer);

    LibUsbInterface* _transport = nullptr; // the parent device's own interface
    IUsbVandrelDevice* _vandrel = nullptr; // the parent device, as a Vandrel device
    Limits _limits;
};

} // namespace tarvesk::itf
