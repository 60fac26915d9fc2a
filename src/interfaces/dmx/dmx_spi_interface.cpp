#include "interfaces/dmx/dmx_spi_interface.h"

#include "core/itf_error.h"
#include "interfaces/dmx/dmx_interface.h"
#include "protocol/dmx/dmx_packet.h"
#include "protocol/options.h"
#include "protocol/spi/spi_packet.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <memory>

namespace tarvesk::itf {

namespace {

// Bit 0x02 of answer byte 7: the SPI module itself gave no answer.
constexpr quint8 ModuleSilentBit = 0x02;
// Bit 0x40 of the command byte of a buffered read-back: the register holds data.
constexpr quint8 DataReadyBit = 0x40;
constexpr quint8 AnswerRegisterHigh = 0x3D;
constexpr quint8 AnswerRegisterLow = 0x3F;

bool usable(const proto::DmxPacket* reply)
{
    return reply != nullptr && !reply->isTimeoutEvent();
}

} // namespace

DmxSpiInterface::DmxSpiInterface(core::Device* device, DmxInterface* dmx, bool atomic)
    : SpiInterface(device)
    , _dmx(dmx)
    , _atomic(atomic)
{ }

DmxSpiInterface::~DmxSpiInterface() = default;

int DmxSpiInterface::sendDmx(proto::DmxPacket* packet, proto::DmxPacket** reply)
{
    if (!_dmx)
        return core::ITF_ERR_NO_DEVICE;
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::RetryCount, DmxRetries);
    options.addOption(proto::option::RetryInvalid, true);
    return _dmx->sendDmx(packet, reply, &options);
}

int DmxSpiInterface::sendSpi(proto::SpiPacket* packet, proto::SpiPacket** reply, proto::Options* options)
{
    if (!packet || !reply || packet->getDataSize() != proto::SpiPacket::FrameSize)
        return core::ITF_ERR_INVALID_PARAM;
    proto::Options none;
    return _atomic ? sendSpiAtomic(packet, reply, options ? options : &none) : sendSpiBuffered(packet, reply);
}

int DmxSpiInterface::sendSpiAtomic(
    proto::SpiPacket* packet, proto::SpiPacket** reply, proto::Options* options)
{
    const int count = packet->isUnioCommand() ? packet->getUnioReadCount() : 2;
    proto::WystrelPacket frame(packet);
    std::unique_ptr<proto::DmxPacket> received;
    for (int attempt = 0; attempt < SendAttempts && !usable(received.get()); ++attempt) {
        proto::DmxPacket* answer = nullptr;
        const int status = sendDmx(&frame, &answer);
        received.reset(answer);
        if (status != core::ITF_OK)
            return status;
    }
    if (!usable(received.get()))
        return core::ITF_ERR_NO_REPLY;

    const proto::WystrelPacket answer(received.get());
    const proto::PacketCheckIgnore ignore = options->hasOption(proto::option::DorvaneMaster)
        ? proto::CHECK_IGNORE_CHECKSUM
        : proto::CHECK_IGNORE_NONE;
    if (answer.answer_isValid(ignore) != core::ITF_OK || answer.cmd_hasErrorFlag()
        || (answer.getUint8(7) & ModuleSilentBit))
        return core::ITF_ERR_NO_REPLY;

    auto* spi = new proto::SpiPacket();
    switch (count) {
    case 1:
        spi->appendByte(answer.getUint8(6));
        break;
    case 2:
        if (options->isOptionTrue(proto::option::Dorvane2)) {
            spi->appendByte(answer.getUint8(3));
            spi->appendByte(answer.getUint8(4));
        } else {
            spi->appendByte(answer.getUint8(4));
            spi->appendByte(answer.getUint8(6));
        }
        break;
    case 3:
        for (int i : {4, 5, 6})
            spi->appendByte(answer.getUint8(i));
        break;
    default:
        break;
    }
    *reply = spi;
    return core::ITF_OK;
}

int DmxSpiInterface::readAnswerRegister(quint8 number, std::unique_ptr<proto::WystrelPacket>& answer)
{
    proto::WystrelPacket read(proto::WystrelPacket::WY_CMD_READ);
    read.setByte(4, number);
    read.setByte(5, DataReadyBit);
    read.checksum_recalculate();
    proto::DmxPacket* received = nullptr;
    const int status = sendDmx(&read, &received);
    std::unique_ptr<proto::DmxPacket> owned(received);
    if (status != core::ITF_OK)
        return status;
    if (!owned)
        return core::ITF_ERR_NO_REPLY;
    if (owned->isTimeoutEvent())
        return core::ITF_ERR_TIMEOUT;
    answer = std::make_unique<proto::WystrelPacket>(owned.get());
    const int check = answer->answer_isValid(proto::CHECK_IGNORE_NONE);
    if (check != core::ITF_OK)
        return check;
    return (answer->getUint8(1) & DataReadyBit) ? core::ITF_OK : core::ITF_ERR_TRANSFER;
}

// Buffered: the frame goes out until the module takes it, then its answer
// bytes are read back from the answer registers. When the third attempt is
// not taken, the send fails with what that attempt brought; nothing is read back.
int DmxSpiInterface::sendSpiBuffered(proto::SpiPacket* packet, proto::SpiPacket** reply)
{
    const int count = packet->isUnioCommand() ? packet->getUnioReadCount() : 0;
    proto::WystrelPacket frame(packet);
    int failure = core::ITF_ERR_TIMEOUT;
    bool taken = false;
    for (int attempt = 0; attempt < SendAttempts && !taken; ++attempt) {
        proto::DmxPacket* answer = nullptr;
        const int status = sendDmx(&frame, &answer);
        std::unique_ptr<proto::DmxPacket> received(answer);
        if (status != core::ITF_OK)
            return status;
        if (!received) {
            failure = core::ITF_ERR_TIMEOUT;
            continue;
        }
        const proto::WystrelPacket wystrel(received.get());
        const int check = received->isTimeoutEvent() ? core::ITF_ERR_TIMEOUT
                                                     : wystrel.answer_isValid(proto::CHECK_IGNORE_NONE);
        if (check != core::ITF_OK)
            failure = check;
        else if (wystrel.getUint8(7) & ModuleSilentBit)
            failure = core::ITF_ERR_NO_REPLY;
        else
            taken = true;
    }
    if (!taken)
        return failure;
    if (count == 0)
        return core::ITF_OK;

    std::unique_ptr<proto::SpiPacket> spi;
    if (count >= 2) {
        std::unique_ptr<proto::WystrelPacket> high;
        if (readAnswerRegister(AnswerRegisterHigh, high) == core::ITF_OK) {
            spi = std::make_unique<proto::SpiPacket>();
            spi->appendByte(high->getUint8(7));
            if (count == 3)
                spi->appendByte(high->getUint8(6));
        }
    }
    std::unique_ptr<proto::WystrelPacket> low;
    const int status = readAnswerRegister(AnswerRegisterLow, low);
    if (status != core::ITF_OK)
        return status;
    if (!spi)
        spi = std::make_unique<proto::SpiPacket>();
    spi->appendByte(low->getUint8(7));
    *reply = spi.release();
    return core::ITF_OK;
}

} // namespace tarvesk::itf
