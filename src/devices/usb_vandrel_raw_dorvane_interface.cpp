#include "devices/usb_vandrel_raw_dorvane_interface.h"

#include "core/itf_error.h"
#include "interfaces/dmx/dmx_interface.h"
#include "log/logging_categories.h"
#include "protocol/options.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <memory>

namespace tarvesk::devices {

namespace {

constexpr unsigned char kEepromBit = 0x80;
constexpr unsigned char kLengthByte = 8;

void fillOptions(proto::Options& options, bool write)
{
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::RetryCount, UsbVandrelRawDorvaneInterface::RetryCount);
    options.addOption(proto::option::Internal, true);
    if (write)
        options.addOption(proto::option::AnswerTimeout, UsbVandrelRawDorvaneInterface::WriteAnswerTimeout);
    options.addOption(proto::option::RetryInvalid, true);
}

} // namespace

UsbVandrelRawDorvaneInterface::UsbVandrelRawDorvaneInterface(core::Device* device, const QString& name,
    itf::DmxInterface* dmx, core::Device::MemoryLocation memory, bool swap)
    : core::RawParameterInterface(device, name)
    , _swap(swap)
    , _dmx(dmx)
    , _memory(memory)
    , _readCheck(device && device->hasCapability(core::Device::CAP_VD_CORRECT_CHECKSUM)
              ? proto::PacketCheckIgnore(proto::CHECK_IGNORE_NONE)
              : proto::PacketCheckIgnore(proto::CHECK_IGNORE_CHECKSUM))
{ }

unsigned char UsbVandrelRawDorvaneInterface::wordAddress(int address) const
{
    const auto word = static_cast<unsigned char>((address / 2) & 0x7F);
    return _memory == core::Device::MEM_EE ? static_cast<unsigned char>(word | kEepromBit) : word;
}

int UsbVandrelRawDorvaneInterface::getParameter(
    core::NetworkResolution resolution, int address, unsigned int& value)
{
    if (resolution == core::ITF_RES_WORD && (address & 1))
        return core::ITF_ERR_INVALID_PARAM;
    if (!_dmx)
        return core::ITF_ERR_NO_DEVICE;
    proto::WystrelPacket request(proto::WystrelPacket::WY_CMD_READ);
    request.setByte(4, wordAddress(address));
    request.setByte(5, kLengthByte);
    request.checksum_recalculate();
    unsigned int word = 0;
    if (const int status = exchange(request, false, _readCheck, &word))
        return status;
    if (_swap)
        word = ((word & 0xFF) << 8) | (word >> 8);
    if (resolution == core::ITF_RES_BYTE)
        word = (address & 1) ? (word & 0xFF) : (word >> 8);
    value = word;
    return 0;
}

int UsbVandrelRawDorvaneInterface::setParameter(
    core::NetworkResolution resolution, int address, unsigned int value)
{
    if (resolution == core::ITF_RES_WORD && (address & 1))
        return core::ITF_ERR_INVALID_PARAM;
    if (!_dmx)
        return core::ITF_ERR_NO_DEVICE;
    unsigned int word = value;
    if (resolution == core::ITF_RES_BYTE) {
        unsigned int old = 0;
        const int status = getParameter(core::ITF_RES_WORD, address & ~1, old);
        if (status != 0) {
            qCWarning(service::loggerGlog()).noquote() << GLOG_PREFIX
                                                       << tr("Could not get parameter, error %1 : %2")
                                                              .arg(status)
                                                              .arg(core::itfErrorToString(status));
            return status;
        }
        word = (address & 1) ? ((value & 0xFF) | (old & 0xFF00)) : (((value << 8) & 0xFFFF) | (old & 0x00FF));
    }
    proto::WystrelPacket request(proto::WystrelPacket::WY_CMD_WRITE);
    request.setByte(4, wordAddress(address));
    request.setByte(5, kLengthByte);
    request.param_setValue(quint16(word & 0xFFFF));
    request.checksum_recalculate();
    return exchange(request, true, proto::CHECK_IGNORE_NONE, nullptr);
}

int UsbVandrelRawDorvaneInterface::exchange(
    proto::WystrelPacket& request, bool write, proto::PacketCheckIgnore check, unsigned int* word)
{
    proto::Options options;
    fillOptions(options, write);
    proto::DmxPacket* received = nullptr;
    const int status = _dmx->sendDmx(&request, &received, &options);
    const std::unique_ptr<proto::DmxPacket> answerFrame(received);
    if (status != 0)
        return status;
    if (!answerFrame || answerFrame->isTimeoutEvent())
        return core::ITF_ERR_NO_REPLY;
    const proto::WystrelPacket answer(answerFrame.get());
    if (const int invalid = answer.answer_isValid(check))
        return invalid;
    if (answer.cmd_hasErrorFlag())
        return answer.getBrisquelErrorCode();
    if (word)
        *word = unsigned(answer.param_getValue(false, false, false)) & 0xFFFF;
    return 0;
}

} // namespace tarvesk::devices
