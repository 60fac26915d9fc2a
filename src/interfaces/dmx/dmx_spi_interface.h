#pragma once

#include "interfaces/dmx/spi_interface.h"

#include <memory>

namespace tarvesk::proto {
class DmxPacket;
class WystrelPacket;
} // namespace tarvesk::proto

namespace tarvesk::itf {

class DmxInterface;

// SPI frames carried in Wystrel SPI pass-through frames on a DMX line. The
// atomic form brings the module's answer back in the answer to the frame
// itself; the buffered form fetches it afterwards with Wystrel READs of the
// module's answer registers.
class DmxSpiInterface : public SpiInterface
{
    Q_OBJECT

public:
    static constexpr int SendAttempts = 3;
    static constexpr int DmxRetries = 5;

    // The DMX interface belongs to the device and outlives this one.
    DmxSpiInterface(core::Device* device, DmxInterface* dmx, bool atomic);
    ~DmxSpiInterface() override;

    // Of the caller's options the atomic send reads "dorvane_master" (its
    // presence) and "dorvane2"; a send that brings no usable answer gives
    // ITF_ERR_NO_REPLY, never 0.
    int sendSpi(proto::SpiPacket* packet, proto::SpiPacket** reply, proto::Options* options) override;
    // One frame exchange on the DMX line with this interface's options.
    virtual int sendDmx(proto::DmxPacket* packet, proto::DmxPacket** reply);

protected:
    DmxInterface* dmx() const { return _dmx; }

private:
    int sendSpiAtomic(proto::SpiPacket* packet, proto::SpiPacket** reply, proto::Options* options);
    int sendSpiBuffered(proto::SpiPacket* packet, proto::SpiPacket** reply);
    // A Wystrel READ of one answer register of the module (0x3D, 0x3F).
    int readAnswerRegister(quint8 number, std::unique_ptr<proto::WystrelPacket>& answer);

    DmxInterface* _dmx;
    const bool _atomic;
};

} // namespace tarvesk::itf
