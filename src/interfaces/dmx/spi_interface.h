#pragma once

#include "core/network_interface.h"

#include <QMetaType>

namespace tarvesk::proto {
class Options;
class SpiPacket;
} // namespace tarvesk::proto

namespace tarvesk::itf {

// The kind of SPI module addressed: 0 takes the first-generation commands (RAM
// 16-bit read, RAM 8-bit write), every other kind the second-generation Dorvane
// host commands; kind 1 is a second-generation Dorvane module.
enum SpiDeviceType : int { SPI_DEVICE_DV1 = 0, SPI_DEVICE_DV2 = 1, SPI_DEVICE_TAG = 2 };

// The port to the SPI-attached logic of a driver: its RAM and EEPROM
// parameters, a UNI/O serial EEPROM, and the second-generation Dorvane host
// commands. Every operation returns a bus status code; a read that expected
// an answer and got none never returns 0.
class SpiInterface : public core::NetworkInterface
{
    Q_OBJECT

public:
    static constexpr int RamRetries = 3;
    static constexpr int EepromRetries = 3;
    static constexpr int UnioRetries = 2;

    explicit SpiInterface(core::Device* device);
    ~SpiInterface() override;

    // One SPI frame and, when the module answers, its answer bytes: a new packet
    // owned by the caller.
    virtual int sendSpi(proto::SpiPacket* packet, proto::SpiPacket** reply, proto::Options* options) = 0;

    // A RAM word or byte (ITF_RES_LONG: ITF_ERR_UNSUPPORTED_FEATURE, nothing sent).
    // Kind 0 reads module 1 at paramNo; other kinds read register paramNo of the
    // module at address.
    Q_INVOKABLE int getRamParameter(tarvesk::core::NetworkResolution lcRes,
        tarvesk::itf::SpiDeviceType devType, int address, int paramNo, unsigned int& paramVal);
    Q_INVOKABLE int setRamParameter(tarvesk::core::NetworkResolution lcRes,
        tarvesk::itf::SpiDeviceType devType, int address, int paramNo, int paramVal);
    // The UNI/O EEPROM at address paramNo; a word is stored big-endian.
    Q_INVOKABLE int getEEParameter(tarvesk::core::NetworkResolution lcRes,
        tarvesk::itf::SpiDeviceType devType, int paramNo, unsigned int& paramVal);
    Q_INVOKABLE int setEEParameter(tarvesk::core::NetworkResolution lcRes,
        tarvesk::itf::SpiDeviceType devType, int paramNo, int paramVal);

    // One UNI/O instruction (ITF_ERR_INVALID_PARAM for one that is not UNI/O).
    int sendUnioCommand(int instruction, int address, int value);
    // Write enable, then the byte.
    int sendUnioWriteByte(int address, int value);

    // Registers "tarvesk::itf::SpiInterface*" and the module kind for scripts.
    static void initMeta();

private:
    // Sends the frame with the options of a read and leaves the answer in reply.
    int exchange(proto::SpiPacket& frame, int retries, bool dorvane2, proto::SpiPacket** reply);
};

} // namespace tarvesk::itf

Q_DECLARE_METATYPE(tarvesk::itf::SpiDeviceType)
