#pragma once

#include "interfaces/dmx/dmx_interface.h"

namespace tarvesk::itf {

class IUsbVandrelDevice;
class LibUsbInterface;

// The DMX line of a Vandrel box with firmware before 13: one report per frame
// (at most 60 bytes; a longer frame is refused, not cut), and the answer comes
// back in the reply report itself.
class UsbVandrelLegacyDmxInterface : public DmxInterface
{
    Q_OBJECT

public:
    static constexpr int DefaultAttempts = 3;

    explicit UsbVandrelLegacyDmxInterface(core::Device* device);
    ~UsbVandrelLegacyDmxInterface() override;

    void init() override;
    // ITF_ERR_NO_REPLY when "expect_answer" is true and no answer came.
    int sendDmx(proto::DmxPacket* packet, proto::DmxPacket** answer, proto::Options* options) override;
    // This firmware cannot repeat a frame on its own: ITF_ERR_UNSUPPORTED_FEATURE.
    int sendDmxSpam(proto::DmxPacket* packet, int count, bool& entered, int& elapsedMs);

private:
    LibUsbInterface* _transport = nullptr; // the parent device's own interface
    IUsbVandrelDevice* _vandrel = nullptr; // the parent device, as a Vandrel device
};

} // namespace tarvesk::itf
