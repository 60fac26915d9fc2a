#pragma once

#include "interfaces/dali_interface.h"

#include <memory>

namespace tarvesk::proto {
class PacketMutex;
class UsbVandrelPacket;
} // namespace tarvesk::proto

namespace tarvesk::itf {

class IUsbVandrelDevice;
class LibUsbInterface;

// The DALI port of a Vandrel USB programming interface (report 0x0A). Newer
// interfaces (large packets) deliver the backward frame through the data
// monitor's record stream; older ones are polled for the DALI status (0x0C)
// and the answer is fetched with 0x0B. Interfaces that can time the bus take an
// extended request with settling, answer and stop-bit times.
//
// Every wait on the interface is bounded: busy replies are resent with short
// pauses until a deadline, the status polling has a deadline, and the wait for
// a backward frame ends after a quiet time and an overall deadline.
class UsbVandrelDaliInterface : public DaliInterface
{
    Q_OBJECT

public:
    static constexpr int RequestCommand = 0x0A;
    static constexpr int StatusCommand = 0x0C;
    static constexpr int DataCommand = 0x0B;
    // The interface's time unit for the timing fields of the extended request.
    static constexpr double TimeUnitMs = 0.104;
    // A DALI frame of the extended request holds up to 4 bytes.
    static constexpr int MaxExtendedFrame = 4;

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

    // The request report for a frame, or null when the interface cannot send that frame.
    std::unique_ptr<proto::UsbVandrelPacket> buildRequest(
        const proto::DaliPacket& packet, const proto::Options& options) const;
    // T(ms): the option's value in interface time units, truncated and held to
    // what its report field can carry (never wrapped); 0 when absent or not a number.
    static int timeUnits(const proto::Options& options, const QString& name, int maxUnits);

private:
    int sendRequest(const proto::UsbVandrelPacket& request);
    proto::DaliPacket* waitForBackwardFrame(proto::PacketMutex& mutex, const proto::DaliPacket& sent);
    int pollForAnswer(proto::DaliPacket** answer);

    LibUsbInterface* _transport = nullptr; // the parent device's own interface
    IUsbVandrelDevice* _vandrel = nullptr; // the parent device, as a Vandrel device
    Limits _limits;
};

} // namespace tarvesk::itf
