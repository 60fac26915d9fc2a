#include "protocol/wystrel/wystrel_packet.h"

#include "core/itf_error.h"
#include "protocol/packet_bytes.h"
#include "protocol/wystrel/wystrel_command_bytes.h"

namespace tarvesk::proto {

namespace {

// Parameter 254 takes the special writes: unlock, bootloader entry, temperature correction.
constexpr quint8 kP254 = 0xFE;

} // namespace

void WystrelPacket::param_setNumber(quint16 number)
{
    setByte(4, quint8(number & 0xFF));
    setByte(5, quint8(number >> 8));
}

void WystrelPacket::param_setValue(quint16 value)
{
    setByte(6, quint8(value & 0xFF));
    setByte(7, quint8(value >> 8));
}

int WystrelPacket::param_getNumber() const
{
    return frameByte(*this, 4) | frameByte(*this, 5) << 8;
}

int WystrelPacket::param_getValue(bool swapBytes, bool applyMask, bool raw) const
{
    const quint8 low = frameByte(*this, 6);
    const quint8 high = frameByte(*this, 7);
    const quint16 value = quint16(low | high << 8);
    const WystrelParameterInfo* info
        = cmd_isRead() && !raw ? getLookUpInfo(quint16(param_getNumber())) : nullptr;
    if (info != nullptr) {
        if (!info->is16Bit) {
            if (info->mask == 0 || !applyMask)
                return low;
            if (info->isBit)
                return (low & info->mask) == info->mask ? 1 : 0;
            return low & info->mask;
        }
        if (info->mask != 0 && applyMask)
            return value & info->mask;
    }
    return swapBytes ? (low << 8 | high) : value;
}

int WystrelPacket::getBrisquelErrorCode() const
{
    return core::dorvaneErrorToItfError(frameByte(*this, 6));
}

QString WystrelPacket::param_getName(quint16 number)
{
    const WystrelParameterInfo* info = findWystrelParameter(number);
    return info ? QString::fromLatin1(info->name) : QString();
}

const WystrelParameterInfo* WystrelPacket::getLookUpInfo(quint16 number)
{
    return findWystrelParameter(number);
}

void WystrelPacket::setP254Frame(quint8 b5, quint8 b6)
{
    setFrame(wystrel::CommandBytes[WY_CMD_WRITE], 0, 0, kP254, b5, b6, 0);
}

void WystrelPacket::special_setPrimeUnlock()
{
    setP254Frame(quint8(PrimeUnlockCode >> 8), quint8(PrimeUnlockCode & 0xFF));
}

void WystrelPacket::special_setEnterBootloader()
{
    setP254Frame(quint8(StartBootloaderCode >> 8), quint8(StartBootloaderCode & 0xFF));
}

void WystrelPacket::special_setSetP254(quint16 value)
{
    setP254Frame(quint8(value >> 8), quint8(value & 0xFF));
}

void WystrelPacket::special_setWriteTempCorrection(quint8 temperature)
{
    setP254Frame(0, quint8(0x80 + qMin<quint8>(temperature, 63)));
}

} // namespace tarvesk::proto
