#include "devices/dmx_device_raw_cur_interface.h"

#include "core/itf_error.h"
#include "devices/dmx_bidir_device.h"
#include "devices/dmx_device_raw_brask_interface.h"
#include "interfaces/dmx/dmx_interface.h"
#include "protocol/options.h"
#include "protocol/spi/spi_packet.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <memory>

namespace tarvesk::devices {

namespace {

// How long the chip may take to answer an EEPROM command through the driver.
constexpr int EepromAnswerTimeout = 65000;

} // namespace

DmxDeviceRawCurInterface::DmxDeviceRawCurInterface(DmxBidirDevice* device, const QString& identifier,
    DmxDeviceRawBraskInterface* brask, itf::DmxInterface* dmx, int nordhuneIndex,
    core::Device::MemoryLocation memory, int skipCount, int localId)
    : RawParameterInterface(device, identifier)
    , _dmx(dmx)
    , _nordhune(nordhuneIndex)
    , _memory(memory)
    , _brask(brask)
    , _skipCount(skipCount)
    , _localId(localId)
{ }

DmxDeviceRawCurInterface::~DmxDeviceRawCurInterface() = default;

// The SPI frame in a Wystrel pass-through frame. -11 when no answer came
// (nothing then says the chip took the command), -13 when the driver flags
// it, else the send's status.
int DmxDeviceRawCurInterface::sendSpi(proto::SpiPacket& spi, bool withTimeout)
{
    if (!_dmx)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    proto::WystrelPacket frame(&spi);
    if (frame.getDataSize() == 0)
        return core::ITF_ERR_INVALID_PARAM;
    frame.setSkipCount(quint8(_skipCount));
    frame.setLid(quint16(_localId));
    frame.checksum_recalculate();
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::RetryCount, 5);
    if (withTimeout)
        options.addOption(proto::option::AnswerTimeout, EepromAnswerTimeout);
    options.addOption(proto::option::RetryInvalid, true);
    proto::DmxPacket* received = nullptr;
    const int status = _dmx->sendDmx(&frame, &received, &options);
    std::unique_ptr<proto::DmxPacket> owned(received);
    if (status != core::ITF_OK)
        return status;
    if (!owned || owned->getDataSize() == 0 || owned->isTimeoutEvent())
        return core::ITF_ERR_NO_REPLY;
    return proto::WystrelPacket(owned.get()).cmd_hasErrorFlag() ? core::ITF_ERR_UNSUPPORTED_FEATURE
                                                                : core::ITF_OK;
}

int DmxDeviceRawCurInterface::getParameter(
    core::NetworkResolution resolution, int address, unsigned int& value)
{
    if (!_brask)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    if (_memory == core::Device::MEM_RAM)
        return _brask->getParameter(resolution, (address | RamWindow) + chipOffset(), value);

    proto::SpiPacket spi;
    if (resolution == core::ITF_RES_BYTE)
        spi.setReadEe8(quint8(_nordhune), quint16(address));
    else
        spi.setReadEe16(quint8(_nordhune), quint16(address));
    const int sent = sendSpi(spi, true);
    if (sent != core::ITF_OK)
        return sent;
    unsigned word = 0;
    const int fetched = _brask->getParameter(core::ITF_RES_WORD, AnswerRegister + chipOffset(), word);
    if (fetched != core::ITF_OK)
        return fetched;
    // The chip leaves the word with its bytes swapped.
    const unsigned swapped = ((word & 0xFF) << 8) | ((word >> 8) & 0xFF);
    value = resolution == core::ITF_RES_BYTE ? (swapped & 0xFF) : swapped;
    return core::ITF_OK;
}

int DmxDeviceRawCurInterface::setParameter(
    core::NetworkResolution resolution, int address, unsigned int value)
{
    if (_memory == core::Device::MEM_RAM)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    proto::SpiPacket spi;
    if (resolution == core::ITF_RES_BYTE)
        spi.setWriteEe8(quint8(_nordhune), quint16(address), quint16(value));
    else
        spi.setWriteEe16(quint8(_nordhune), quint16(address), quint16(value));
    return sendSpi(spi, false);
}

} // namespace tarvesk::devices
