#pragma once

#include "sim_bus_model.h"

#include <QByteArray>
#include <QMap>

#include <memory>
#include <vector>

namespace tarvesk::sim {

// The Dorvane controller inside a Vandrel box. It takes the "internal" Wystrel
// frames of the box's DMX side:
// - READ and WRITE with byte 5 = 8 reach its own memory: byte 4 the word
//   address (bit 0x80 the EEPROM), the word low in byte 6 and high in byte 7
//   (high first on controllers with swapped words);
// - other READ and WRITE frames carry a Dorvane request (bytes 4 on) to the
//   driver on the port, whose four answer bytes come back in bytes 4 to 7;
// - SPI frames go to the slave modules behind the port.
// Its mode decides who answers: in a device mode the driver on the port, in a
// host mode the slave modules. Errors come back in byte 6 with the error bit:
// as an answer for a memory range error or an error the driver flagged, and
// as a frame that is no answer when the request could not be carried (nobody
// connected, no reply, an unknown command).
//
// Memory: 96 words; word w holds byte addresses 2w (high byte) and 2w + 1 (low byte);
// the configuration word sits at byte address 16, the target of a write in
// the Dorvane 2 device role at byte address 4, and the answer to a request
// that did not await it (read back by the value request 02 08) at byte address 4 too.
class SimDorvaneController
{
public:
    enum class Mode { Off, Dv1Host, Dv1Device, Dv2Host, Dv2Device, Dv2Log };

    static constexpr int ConfigAddress = 16;
    static constexpr int MailboxAddress = 4;
    static constexpr int MemoryWords = 96;

    explicit SimDorvaneController(bool swappedWords = false);

    // Words by byte address (bit 0 ignored).
    quint16 ramWord(int byteAddress) const { return _ram.value(byteAddress / 2, 0); }
    void setRamWord(int byteAddress, quint16 value) { _ram.insert(byteAddress / 2, value); }
    quint16 eepromWord(int byteAddress) const { return _eeprom.value(byteAddress / 2, 0); }
    void setEepromWord(int byteAddress, quint16 value) { _eeprom.insert(byteAddress / 2, value); }

    // The mode kept in the configuration word (bits 0x45) on boxes that keep it there.
    Mode modeFromRam() const;
    static Mode modeFromNumber(int number);
    static bool isDeviceMode(Mode mode) { return mode == Mode::Dv1Device || mode == Mode::Dv2Device; }
    static bool isHostMode(Mode mode) { return mode == Mode::Dv1Host || mode == Mode::Dv2Host; }

    // One internal frame and the controller's answer.
    QByteArray frame(
        const QByteArray& frame, Mode mode, const std::vector<std::shared_ptr<SimBusModel>>& models);

private:
    QByteArray memoryAccess(const QByteArray& frame);
    QByteArray dorvaneRequest(
        const QByteArray& frame, Mode mode, const std::vector<std::shared_ptr<SimBusModel>>& models);
    QByteArray spiFrame(
        const QByteArray& frame, Mode mode, const std::vector<std::shared_ptr<SimBusModel>>& models);
    static QByteArray failure(const QByteArray& frame, quint8 code);

    const bool _swappedWords;
    QMap<int, quint16> _ram;
    QMap<int, quint16> _eeprom;
};

} // namespace tarvesk::sim
