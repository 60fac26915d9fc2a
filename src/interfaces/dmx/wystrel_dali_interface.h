#pragma once

#include "interfaces/dali_interface.h"

namespace tarvesk::itf {

class DmxInterface;

// DALI to a driver on a DMX line: each forward frame travels in a Wystrel DALI
// pass-through frame, and the backward frame comes back in its answer. The DMX
// layer does the retries and the timing; none of the caller's options reach it.
class WystrelDaliInterface : public DaliInterface
{
    Q_OBJECT

public:
    // The DMX interface belongs to the same device or universe and outlives this one.
    WystrelDaliInterface(core::Device* device, DmxInterface* dmx);
    ~WystrelDaliInterface() override;

    // ITF_ERR_UNSUPPORTED_MODULE when the driver flags the frame as an error;
    // no reply when nobody answered.
    int sendDali(proto::DaliPacket* packet, proto::DaliPacket** reply, proto::Options* options) override;

private:
    DmxInterface* _dmx;
};

} // namespace tarvesk::itf
