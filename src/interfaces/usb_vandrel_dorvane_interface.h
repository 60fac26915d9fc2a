#pragma once

#include "interfaces/dorvane/dorvane_interface.h"

namespace tarvesk::itf {

class DmxInterface;
class IBootloader;
class IUsbVandrelDevice;
class LibUsbInterface;

// The Dorvane side of a Vandrel box. The box's Dorvane controller takes each
// request inside an "internal" Wystrel frame on the box's DMX line (READ for a
// request that reads, WRITE otherwise) and answers with the driver's four
// answer bytes, or with one of its error codes. The box's Dorvane mode lives in
// the device parameter "dorvane_mode"; the box's parameter report reaches the
// parameter space of the driver on the port directly.
//
// A request that expected an answer and got none never returns 0: the code
// "no reply received" ends it with ITF_ERR_NO_REPLY at once, and attempts used
// up without a usable answer give ITF_ERR_NO_REPLY too.
//
// The attempts of a request ("retry_count") are counted here alone: the DMX
// line carries each attempt once. A frame the box reports as carried to the
// driver is never sent again, since the driver acted on it (a DALI READ MEMORY
// LOCATION has moved the gear's pointer on): "no reply received" ends with
// ITF_ERR_NO_REPLY, an answer with a wrong checksum with ITF_ERR_PACKET_CHECKSUM.
// A frame the box reported nothing of (no answer record) may have been
// carried too, and ends with ITF_ERR_NO_REPLY; a failed exchange ends with its
// status. Only a frame the box could not
// carry (its other codes, its time-out event for the frame) or one the driver
// flagged as an error is sent again.
class UsbVandrelDorvaneInterface : public DorvaneInterface
{
    Q_OBJECT

public:
    static constexpr int ConnectionChecks = 4;
    static constexpr int ConnectionCheckPauseMs = 60;
    static constexpr int InvalidAnswerPauseMs = 35;
    static constexpr int ResetPauseMs = 20;
    static constexpr int AnswerTimeout = 65535;
    static constexpr int Dorvane2AccessRetries = 5;
    static constexpr int Dorvane2AccessAnswerTimeout = 65000;
    // RAM word (byte address) of the box's Dorvane controller that takes the
    // target of a write in the Dorvane 2 device role.
    static constexpr int Dorvane2TargetAddress = 4;

    // The DMX interface belongs to the same device and outlives this one.
    UsbVandrelDorvaneInterface(core::Device* device, DmxInterface* dmx);
    ~UsbVandrelDorvaneInterface() override;

    // The box's texts of the Dorvane mode, by state ("" for a state without one).
    static QString stateText(DorvaneState state);
    // The name of an error code of the box's Dorvane controller.
    static QString getDorvaneErrorString(int code);

    DorvaneState getDorvaneState() const override;
    void setDorvaneState(DorvaneState state) override;
    // Takes the device, the transport and the Dorvane capabilities of the box;
    // a factory box also gives the interface its bootloader stack (the proxy,
    // which the interface keeps), reaching the driver on the port through the
    // box's DMX side.
    void init() override;
    // The bootloader of a factory box (owned by the proxy), else null.
    IBootloader* getBootloader() const { return _bootloader; }
    int sendDorvane(proto::DorvanePacket* packet, proto::DorvanePacket** reply, proto::Options* options,
        DorvaneAction action) override;
    // Up to four checks of the device's Dorvane status, 60 ms apart.
    bool isDorvaneDeviceConnected() override;
    // Without a connected driver: ITF_ERR_NO_DEVICE, nothing sent.
    int sendBootloaderModeAccessCommand(
        int parameter, int valueHigh, int valueLow, bool expectAnswer) override;
    // A 16-bit parameter of the driver through the box's parameter report; the
    // value is left alone unless the box reports success.
    int getParameter(core::NetworkResolution resolution, int address, unsigned int& value) override;
    int setParameter(core::NetworkResolution resolution, int address, unsigned int value) override;

    // With the box's bootloader functions, the box starts the driver's
    // bootloader itself; otherwise the access commands of the base.
    int startBootloader(int timeoutMs, bool& entered, int& elapsedMs) override;
    using DorvaneInterface::startBootloader;
    // The spam of the interface's own bootloader on a factory box (whichever
    // kind it is), else ITF_ERR_UNSUPPORTED_FEATURE.
    int sendBootloaderSpam(int timeMs, bool& entered, int& elapsedMs) override;
    // Pulses the box's Dorvane reset unless the box keeps its master state itself.
    void initializeForEnterBootloader() override;

private:
    // One box parameter exchange: the transfer status, else the box's result;
    // the value of the reply on success.
    int exchangeBoxParameter(bool set, quint16 number, quint16 setValue, quint16& value);

    DmxInterface* _dmx;
    IUsbVandrelDevice* _vandrel = nullptr; // the parent device, as a Vandrel device
    LibUsbInterface* _transport = nullptr; // the parent device's own interface
    IBootloader* _bootloader = nullptr;    // owned by the bootloader proxy
};

} // namespace tarvesk::itf
