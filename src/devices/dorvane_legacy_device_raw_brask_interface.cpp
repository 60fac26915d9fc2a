#include "devices/dorvane_legacy_device_raw_brask_interface.h"

#include "core/device.h"
#include "core/itf_error.h"
#include "interfaces/dali_interface.h"
#include "interfaces/dorvane/dorvane_interface.h"
#include "protocol/dorvane/dorvane_packet.h"
#include "protocol/options.h"

#include <memory>

namespace tarvesk::devices {

namespace {

constexpr quint8 LegacyControl = 0x0A;
constexpr uchar DaliBroadcast = 0xFF;
constexpr uchar ParameterBank = 1;

proto::DorvanePacket legacyFrame(core::NetworkResolution resolution, int address, unsigned value)
{
    const unsigned char first = quint8(address)
        | (resolution == core::ITF_RES_WORD ? DorvaneLegacyDeviceRawBraskInterface::WordBit : 0);
    const unsigned char bytes[] = {first, LegacyControl, quint8(value), quint8(value >> 8)};
    return proto::DorvanePacket(bytes, 4);
}

} // namespace

DorvaneLegacyDeviceRawBraskInterface::DorvaneLegacyDeviceRawBraskInterface(
    core::Device* device, const QString& name, itf::DorvaneInterface* dorvane, itf::DaliInterface* dali)
    : core::RawParameterInterface(device, name)
    , _dorvane(dorvane)
    , _dali(dali)
{ }

int DorvaneLegacyDeviceRawBraskInterface::getParameter(
    core::NetworkResolution resolution, int address, unsigned int& value)
{
    if (!_dorvane || !_dorvane->isDorvaneDeviceConnected())
        return core::ITF_ERR_NO_DEVICE;
    if (address >= FirstDaliAddress) {
        if (!_dali)
            return core::ITF_ERR_UNSUPPORTED_FEATURE;
        quint16 read = 0;
        const int status
            = _dali->getMemBankParam(DaliBroadcast, ParameterBank, uchar(address & 0xFF), true, read);
        if (status == 0)
            value = read;
        return status;
    }
    if (address < 0 || (resolution != core::ITF_RES_BYTE && resolution != core::ITF_RES_WORD))
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    proto::DorvanePacket request = legacyFrame(resolution, address, 0);
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::RetryCount, Retries);
    proto::DorvanePacket* answer = nullptr;
    const int status = _dorvane->sendAddressesDorvane(qobject_cast<core::Device*>(getDevice()), &request,
        &answer, &options, itf::DorvaneInterface::DORVANE_ACTION_READ);
    std::unique_ptr<proto::DorvanePacket> reply(answer);
    if (status != 0 && status != core::ITF_ERR_NO_REPLY)
        return status;
    if (!reply || reply->getDataSize() < 4)
        return core::ITF_ERR_NO_DEVICE;
    const unsigned char* data = reply->getData();
    value = resolution == core::ITF_RES_WORD ? unsigned(data[3] << 8 | data[2]) : data[2];
    return 0;
}

int DorvaneLegacyDeviceRawBraskInterface::setParameter(
    core::NetworkResolution resolution, int address, unsigned int value)
{
    if (!_dorvane || !_dorvane->isDorvaneDeviceConnected())
        return core::ITF_ERR_NO_DEVICE;
    if (address < 0 || address >= FirstDaliAddress
        || (resolution != core::ITF_RES_BYTE && resolution != core::ITF_RES_WORD))
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    proto::DorvanePacket request = legacyFrame(resolution, address, value);
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::RetryCount, Retries);
    proto::DorvanePacket* answer = nullptr;
    const int status = _dorvane->sendAddressesDorvane(qobject_cast<core::Device*>(getDevice()), &request,
        &answer, &options, itf::DorvaneInterface::DORVANE_ACTION_WRITE);
    delete answer;
    return status;
}

} // namespace tarvesk::devices
