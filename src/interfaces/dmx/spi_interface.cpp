#include "interfaces/dmx/spi_interface.h"

#include "core/itf_error.h"
#include "log/logging_categories.h"
#include "protocol/options.h"
#include "protocol/spi/spi_packet.h"

#include <memory>

namespace tarvesk::itf {

namespace {

// The bytes a value of that width needs in an answer; 0 for a width no read gives.
int bytesFor(core::NetworkResolution resolution)
{
    switch (resolution) {
    case core::ITF_RES_BYTE:
        return 1;
    case core::ITF_RES_WORD:
        return 2;
    default:
        return 0;
    }
}

unsigned int valueOf(const proto::SpiPacket& reply, int bytes)
{
    return bytes == 2 ? reply.getUint16(0) : reply.getUint8(0);
}

} // namespace

SpiInterface::SpiInterface(core::Device* device)
    : core::NetworkInterface(device, core::ITF_TYPE_SPI)
{ }

SpiInterface::~SpiInterface() = default;

void SpiInterface::initMeta()
{
    qRegisterMetaType<SpiInterface*>("tarvesk::itf::SpiInterface*");
    qRegisterMetaType<SpiDeviceType>("tarvesk::itf::SpiDeviceType");
}

int SpiInterface::exchange(proto::SpiPacket& frame, int retries, bool dorvane2, proto::SpiPacket** reply)
{
    if (frame.getDataSize() != proto::SpiPacket::FrameSize)
        return core::ITF_ERR_INVALID_PARAM;
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::DorvaneMaster, true);
    options.addOption(proto::option::RetryCount, retries);
    if (dorvane2)
        options.addOption(proto::option::Dorvane2, true);
    const int status = sendSpi(&frame, reply, &options);
    if (status != core::ITF_OK)
        return status;
    if (*reply == nullptr)
        return core::ITF_ERR_NO_REPLY;
    return (*reply)->answer_isValid(proto::CHECK_IGNORE_NONE);
}

int SpiInterface::getRamParameter(
    core::NetworkResolution lcRes, SpiDeviceType devType, int address, int paramNo, unsigned int& paramVal)
{
    const int bytes = bytesFor(lcRes);
    if (bytes == 0)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    proto::SpiPacket frame;
    if (devType == SPI_DEVICE_DV1)
        frame.setReadRam16(1, quint8(paramNo));
    else
        frame.DV2_setReadCommand(quint8(address), quint8(paramNo), quint8(bytes), true);
    proto::SpiPacket* answer = nullptr;
    const int status = exchange(frame, RamRetries, devType == SPI_DEVICE_DV2, &answer);
    std::unique_ptr<proto::SpiPacket> reply(answer);
    if (status != core::ITF_OK)
        return status;
    if (reply->getDataSize() < bytes)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    paramVal = valueOf(*reply, bytes);
    return core::ITF_OK;
}

int SpiInterface::setRamParameter(
    core::NetworkResolution lcRes, SpiDeviceType devType, int address, int paramNo, int paramVal)
{
    proto::SpiPacket frame;
    if (devType == SPI_DEVICE_DV1) {
        frame.setWriteRam8(1, quint8(paramNo), quint16(paramVal));
    } else {
        QByteArray payload;
        if (lcRes == core::ITF_RES_WORD)
            payload.append(char((paramVal >> 8) & 0xFF));
        payload.append(char(paramVal & 0xFF));
        frame.DV2_setWriteCommand(quint8(address), quint8(paramNo), payload, true);
    }
    proto::SpiPacket* answer = nullptr;
    const int status = exchange(frame, RamRetries, false, &answer);
    delete answer;
    return status;
}

int SpiInterface::getEEParameter(
    core::NetworkResolution lcRes, SpiDeviceType, int paramNo, unsigned int& paramVal)
{
    proto::SpiPacket frame;
    frame.setUnioCommand(proto::SpiPacket::UNIO_READ, paramNo, 0);
    proto::SpiPacket* answer = nullptr;
    const int status = exchange(frame, EepromRetries, false, &answer);
    std::unique_ptr<proto::SpiPacket> reply(answer);
    if (status != core::ITF_OK)
        return status;
    const int bytes = bytesFor(lcRes);
    if (bytes == 0 || reply->getDataSize() < bytes) {
        qCCritical(service::loggerGlog()).noquote()
            << GLOG_PREFIX "Answer of SPI read command isn't equal or greater than the size of the parameter "
                           "resolution";
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    }
    paramVal = valueOf(*reply, bytes);
    return core::ITF_OK;
}

int SpiInterface::sendUnioCommand(int instruction, int address, int value)
{
    proto::SpiPacket frame;
    if (!frame.setUnioCommand(instruction, address, value))
        return core::ITF_ERR_INVALID_PARAM;
    proto::SpiPacket* answer = nullptr;
    const int status = exchange(frame, UnioRetries, false, &answer);
    delete answer;
    return status;
}

int SpiInterface::sendUnioWriteByte(int address, int value)
{
    const int status = sendUnioCommand(proto::SpiPacket::UNIO_WREN, 0, 0);
    if (status != core::ITF_OK)
        return status;
    return sendUnioCommand(proto::SpiPacket::UNIO_WRITE, address, value);
}

int SpiInterface::setEEParameter(core::NetworkResolution lcRes, SpiDeviceType, int paramNo, int paramVal)
{
    if (lcRes == core::ITF_RES_WORD) {
        const int high = sendUnioWriteByte(paramNo, (paramVal >> 8) & 0xFF);
        if (high != core::ITF_OK)
            return high;
        return sendUnioWriteByte(paramNo + 1, paramVal & 0xFF);
    }
    return sendUnioWriteByte(paramNo, paramVal & 0xFF);
}

} // namespace tarvesk::itf
