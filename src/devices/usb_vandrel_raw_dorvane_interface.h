#pragma once

#include "core/device.h"
#include "core/parameters/raw_parameter_interface.h"
#include "protocol/raw_packet.h"

#include <QPointer>

namespace tarvesk::proto {
class WystrelPacket;
}

namespace tarvesk::itf {
class DmxInterface;
}

namespace tarvesk::devices {

// The EEPROM or RAM of the Vandrel box's Dorvane controller ("dorvane_ee",
// "dorvane_ram"), read and written with internal Wystrel READ and WRITE frames
// on the box's DMX line. Takes no lock: the DMX interface serialises its exchange.
class UsbVandrelRawDorvaneInterface : public core::RawParameterInterface
{
    Q_OBJECT

public:
    static constexpr int RetryCount = 10;
    static constexpr int WriteAnswerTimeout = 13000;

    // swap: read words come byte-swapped (RAM of boxes below subversion 7).
    UsbVandrelRawDorvaneInterface(core::Device* device, const QString& name, itf::DmxInterface* dmx,
        core::Device::MemoryLocation memory, bool swap);

    // -8 for a word at an odd address, -11 without an answer, the answer check's
    // code, the Brisquel error of an error answer, -3 once the DMX line is gone.
    int getParameter(core::NetworkResolution resolution, int address, unsigned int& value) override;
    // A byte is merged into the word that holds it; when that word cannot be
    // read, nothing is written (the other byte would be a guess).
    int setParameter(core::NetworkResolution resolution, int address, unsigned int value) override;

private:
    unsigned char wordAddress(int address) const;
    // One Wystrel frame out and its answer checked; a read's word goes to *word.
    int exchange(
        proto::WystrelPacket& request, bool write, proto::PacketCheckIgnore check, unsigned int* word);

    bool _swap;
    QPointer<itf::DmxInterface> _dmx; // owned by the box's DMX universe
    core::Device::MemoryLocation _memory;
    proto::PacketCheckIgnore _readCheck;
};

} // namespace tarvesk::devices
