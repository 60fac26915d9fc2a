#pragma once

#include "interfaces/dali_interface.h"

namespace tarvesk::itf {

class DorvaneInterface;

// DALI to a driver reached over Dorvane: each forward frame travels as a
// virtual DALI frame of the Dorvane interface. A Corvalt driver addresses its
// groups internally.
class DorvaneDaliInterface : public DaliInterface
{
    Q_OBJECT

public:
    // The Dorvane interface belongs to the same device or universe and outlives this one.
    DorvaneDaliInterface(core::Device* device, DorvaneInterface* dorvane, bool corvalt);
    ~DorvaneDaliInterface() override;

    // Sets "internal_addressing" for a group command (unless the caller set it)
    // and "dorvane_corvalt" in the caller's options, then sends the virtual frame.
    int sendDali(proto::DaliPacket* packet, proto::DaliPacket** reply, proto::Options* options) override;

private:
    DorvaneInterface* _dorvane;
    const bool _corvalt;
};

} // namespace tarvesk::itf
