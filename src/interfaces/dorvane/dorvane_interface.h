#pragma once

#include "interfaces/ibootloader_mode_control.h"
#include "interfaces/setpoint_interface.h"

#include <QString>

namespace tarvesk::core {
class Device;
}

namespace tarvesk::proto {
class DaliPacket;
class DorvanePacket;
class Options;
} // namespace tarvesk::proto

namespace tarvesk::itf {

// The port to a Dorvane bus, the two-way driver protocol. A concrete bus (the
// Vandrel box's) implements the requests; built here are the frames that
// carry DALI to drivers reached over Dorvane, raw frames for scripts, and the
// internal commands of the bootloader access.
class DorvaneInterface : public SetpointInterface, public IBootloaderModeControl
{
    Q_OBJECT

public:
    // The role of the interface on the Dorvane bus.
    enum DorvaneState : int {
        DORVANE_DISABLED = 0,
        DORVANE_1_DEVICE = 1,
        DORVANE_2_DEVICE = 2,
        DORVANE_1_HOST = 3,
        DORVANE_2_HOST = 4,
        DORVANE_2_LOGGER = 5
    };
    Q_ENUM(DorvaneState)
    // Passed with every request: a read awaits an answer.
    enum DorvaneAction : int { DORVANE_ACTION_WRITE = 0, DORVANE_ACTION_READ = 1 };
    Q_ENUM(DorvaneAction)

    static constexpr int VirtualDaliRetries = 5;
    static constexpr int RawBytesRetries = 5;
    static constexpr int AccessRetries = 3;
    static constexpr int SendTwiceFailurePauseMs = 120;

    explicit DorvaneInterface(core::Device* device);
    ~DorvaneInterface() override;

    static QString dorvaneStateToString(int state);

    // A Dorvane bus carries no set-points: always ITF_ERR_UNSUPPORTED_FEATURE.
    int sendSetpoint(const QList<int>& values, core::NetworkResolution resolution, int offset) override;
    virtual DorvaneState getDorvaneState() const = 0;
    virtual void setDorvaneState(DorvaneState state) = 0;
    virtual void init() = 0;
    // One Dorvane request and, when one came, its answer (a new packet owned by the caller).
    virtual int sendDorvane(proto::DorvanePacket* packet, proto::DorvanePacket** reply,
        proto::Options* options, DorvaneAction action)
        = 0;
    // True when a Dorvane device can be reached.
    virtual bool isDorvaneDeviceConnected() = 0;
    // Two internal commands: command 0 with the low byte twice, then command 3
    // with the parameter and the high byte.
    int sendBootloaderModeAccessCommand(
        int parameter, int valueHigh, int valueLow, bool expectAnswer) override;
    virtual int getParameter(core::NetworkResolution resolution, int address, unsigned int& value) = 0;
    virtual int setParameter(core::NetworkResolution resolution, int address, unsigned int value) = 0;

    // sendDorvane, then copies of the request and of the answer into the
    // device's packet log (when a device is given).
    int sendAddressesDorvane(core::Device* device, proto::DorvanePacket* packet, proto::DorvanePacket** reply,
        proto::Options* options, DorvaneAction action);
    // A DALI forward frame to a driver reached over Dorvane; the DALI answer, when
    // the caller's "expect_answer" asks for one, is a new packet owned by the caller.
    int sendVirtualDali(proto::DaliPacket* dali, proto::DaliPacket** reply, proto::Options* options);
    // Four raw frame bytes (the low 8 bits of each), for scripts.
    Q_INVOKABLE int sendRawBytes(int byte0, int byte1, int byte2, int byte3);
    // Internal command n: the frame 0x58 + n, 0x0B, byte2, byte3. ITF_ERR_NO_REPLY
    // when the options await an answer and none (or a time-out event) came.
    int sendCommandInternal(quint8 command, quint8 byte2, quint8 byte3, proto::Options& options);

protected:
    // The pause after a failed repeat of a frame sent twice; tests replace it.
    virtual void pause(int ms);
};

} // namespace tarvesk::itf
