#pragma once

#include "interfaces/ibootloader_mode_control.h"
#include "interfaces/setpoint_interface.h"

namespace tarvesk::proto {
class DmxPacket;
class Options;
} // namespace tarvesk::proto

namespace tarvesk::itf {

// The port to one DMX512 line, over which the service also speaks RDM and the
// Wystrel protocol (start code 0xD0). A concrete line (the Vandrel box's)
// implements sendDmx; the set-points and the bootloader access command are
// DMX frames built here.
class DmxInterface : public SetpointInterface, public IBootloaderModeControl
{
    Q_OBJECT

public:
    // Retries of the access command with and without an awaited answer.
    static constexpr int AccessRetriesWithAnswer = 15;
    static constexpr int AccessRetriesWithoutAnswer = 2;

    explicit DmxInterface(core::Device* device);
    ~DmxInterface() override;

    // One DMX frame: start code 0x00, then the low 8 bits of each value in order.
    int sendSetpoint(const QList<int>& values, core::NetworkResolution resolution, int offset) override;
    virtual void init();
    // Puts one frame on the line and, when the options ask for one, brings back
    // the answer: a new packet owned by the caller, or none.
    Q_INVOKABLE virtual int sendDmx(tarvesk::proto::DmxPacket* packet, tarvesk::proto::DmxPacket** reply,
        tarvesk::proto::Options* options)
        = 0;

    // A Wystrel WRITE of the special parameter. With an awaited answer, a send
    // that brings none (or only a time-out event) gives ITF_ERR_NO_REPLY.
    int sendBootloaderModeAccessCommand(
        int parameter, int valueHigh, int valueLow, bool expectAnswer) override;
};

} // namespace tarvesk::itf
