#include "devices/dorvane_device_raw_brask_interface.h"

#include "core/device.h"
#include "core/itf_error.h"
#include "interfaces/dorvane/dorvane_interface.h"
#include "log/logging_categories.h"
#include "protocol/dorvane/dorvane_packet.h"
#include "protocol/options.h"

#include <QThread>

#include <memory>

namespace tarvesk::devices {

namespace {

constexpr quint8 BridgeControl = 0x0B;
constexpr quint8 ReadAddress = 0x59;
constexpr quint8 ValueRequest = 0x02;
constexpr quint8 ValueControl = 0x08;
constexpr quint8 TakeValue = 0x58;
constexpr quint8 WriteAddress = 0x5F;
const QString GlogPrefix = QStringLiteral(" *GLOG* ");

proto::DorvanePacket frameOf(quint8 b0, quint8 b1, quint8 b2, quint8 b3)
{
    const unsigned char bytes[] = {b0, b1, b2, b3};
    return proto::DorvanePacket(bytes, 4);
}

void fillOptions(proto::Options& options)
{
    options.addOption(proto::option::RetryCount, DorvaneDeviceRawBraskInterface::Retries);
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::DorvaneCorvalt, true);
}

QString widthText(core::NetworkResolution resolution)
{
    switch (resolution) {
    case core::ITF_RES_BYTE:
        return QStringLiteral("Byte");
    case core::ITF_RES_WORD:
        return QStringLiteral("Word");
    default:
        return QStringLiteral("Long");
    }
}

} // namespace

DorvaneDeviceRawBraskInterface::DorvaneDeviceRawBraskInterface(
    core::Device* device, const QString& name, itf::DorvaneInterface* dorvane)
    : core::RawParameterInterface(device, name)
    , _dorvane(dorvane)
{ }

core::Device* DorvaneDeviceRawBraskInterface::ownDevice() const
{
    return qobject_cast<core::Device*>(getDevice());
}

core::Device* DorvaneDeviceRawBraskInterface::logDevice() const
{
    return ownDevice() && _dorvane ? _dorvane->getParentDevice() : nullptr;
}

void DorvaneDeviceRawBraskInterface::logInfo(const QString& text) const
{
    if (core::Device* device = logDevice())
        device->getPacketLog()->info(text);
}

void DorvaneDeviceRawBraskInterface::logError(const QString& text) const
{
    if (core::Device* device = logDevice())
        device->getPacketLog()->error(text);
}

void DorvaneDeviceRawBraskInterface::pause(int ms)
{
    QThread::msleep(unsigned(ms));
}

int DorvaneDeviceRawBraskInterface::getParameter(
    core::NetworkResolution resolution, int address, unsigned int& value)
{
    if (!_dorvane)
        return core::ITF_ERR_NO_DEVICE;
    if (_dorvane->hasCapability(core::ITF_CAP_PARAM_GETSET))
        return _dorvane->getParameter(resolution, address, value);
    if (resolution != core::ITF_RES_BYTE && resolution != core::ITF_RES_WORD)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    if (!_dorvane->isDorvaneDeviceConnected())
        return core::ITF_ERR_NO_DEVICE;
    logInfo(QStringLiteral("Get raw \"%1\" param %2 (0x%3, %4)")
                .arg(getIdentifier())
                .arg(address)
                .arg(address, 4, 16, QLatin1Char('0'))
                .arg(widthText(resolution)));

    proto::Options options;
    fillOptions(options);
    const bool atomic = _dorvane->hasCapability(core::ITF_CAP_DORVANE_ATOMIC_READ);
    proto::DorvanePacket request = frameOf(ReadAddress, BridgeControl, quint8(address), quint8(address >> 8));
    proto::DorvanePacket* answer = nullptr;
    int status = _dorvane->sendAddressesDorvane(ownDevice(), &request, &answer, &options,
        atomic ? itf::DorvaneInterface::DORVANE_ACTION_READ : itf::DorvaneInterface::DORVANE_ACTION_WRITE);
    if (status == 0 && !atomic) {
        delete answer;
        answer = nullptr;
        pause(ValueRequestPauseMs);
        proto::DorvanePacket valueRequest = frameOf(ValueRequest, ValueControl, 0, 0);
        status = _dorvane->sendDorvane(
            &valueRequest, &answer, &options, itf::DorvaneInterface::DORVANE_ACTION_READ);
    }
    std::unique_ptr<proto::DorvanePacket> reply(answer);
    if (status != 0 && status != core::ITF_ERR_NO_REPLY) {
        qCCritical(service::loggerGlog()).noquote()
            << GlogPrefix + QStringLiteral("Dorvane Transfer error: %1").arg(core::itfErrorToString(status));
        return status;
    }
    if (!reply || reply->getDataSize() < 4) {
        logInfo(QStringLiteral("Result: no reply"));
        return core::ITF_ERR_NO_REPLY;
    }
    const unsigned char* data = reply->getData();
    unsigned int read = 0;
    if (resolution == core::ITF_RES_WORD)
        read = atomic ? unsigned(data[3] << 8 | data[2]) : unsigned(data[2] << 8 | data[3]);
    else
        read = atomic ? data[2] : data[3];
    value = read;
    logInfo(QStringLiteral("Result %1 (0x%2)").arg(read).arg(read, 4, 16, QLatin1Char('0')));
    return 0;
}

int DorvaneDeviceRawBraskInterface::setParameter(
    core::NetworkResolution resolution, int address, unsigned int value)
{
    if (!_dorvane)
        return core::ITF_ERR_NO_DEVICE;
    if (_dorvane->hasCapability(core::ITF_CAP_PARAM_GETSET))
        return _dorvane->setParameter(resolution, address, value);
    if (!_dorvane->isDorvaneDeviceConnected())
        return core::ITF_ERR_NO_DEVICE;
    const itf::DorvaneInterface::DorvaneState state = _dorvane->getDorvaneState();
    logInfo(QStringLiteral("Set raw \"%1\" param %2 -> %3 (0x%4 -> 0x%5, %6)")
                .arg(getIdentifier())
                .arg(address)
                .arg(value)
                .arg(address, 4, 16, QLatin1Char('0'))
                .arg(value, 4, 16, QLatin1Char('0'))
                .arg(widthText(resolution)));

    const bool dorvane2 = state == itf::DorvaneInterface::DORVANE_2_DEVICE;
    proto::DorvanePacket takeValue = frameOf(TakeValue, BridgeControl, quint8(value), quint8(value >> 8));
    proto::DorvanePacket writeAddress
        = frameOf(WriteAddress, BridgeControl, quint8(address), quint8(address >> 8));
    proto::Options options;
    fillOptions(options);
    proto::DorvanePacket* answer = nullptr;
    int status = 0;
    if (dorvane2) {
        // In this role the box's controller takes the target from its own RAM.
        core::Device* vandrel = _dorvane->getParentDevice();
        if (!vandrel) {
            qCCritical(service::loggerGlog()).noquote()
                << GlogPrefix + QStringLiteral("No Vandrel device for Dorvane 2 writes");
            return core::ITF_ERR_NO_DEVICE;
        }
        core::RawParameterInterface* ram = vandrel->getRawParameterInterface(QStringLiteral("dorvane_ram"));
        if (!ram) {
            qCCritical(service::loggerGlog()).noquote() << GlogPrefix
                    + QStringLiteral("No raw interface \"dorvane_ram\" device for Dorvane 2 writes");
            return core::ITF_ERR_NO_DEVICE;
        }
        status = ram->setParameter(core::ITF_RES_WORD, 4, unsigned(address));
    } else {
        status = _dorvane->sendAddressesDorvane(
            ownDevice(), &takeValue, &answer, &options, itf::DorvaneInterface::DORVANE_ACTION_WRITE);
    }
    delete answer;
    answer = nullptr;
    if (status != 0) {
        logError(QStringLiteral("DV param not written \"%1\" : \"%2\"")
                     .arg(status)
                     .arg(core::itfErrorToString(status)));
        return status;
    }
    proto::Options second;
    fillOptions(second);
    status = _dorvane->sendDorvane(
        dorvane2 ? &takeValue : &writeAddress, &answer, &second, itf::DorvaneInterface::DORVANE_ACTION_WRITE);
    delete answer;
    if (status != 0) {
        logError(QStringLiteral("DV param buffer not written \"%1\" : \"%2\"")
                     .arg(status)
                     .arg(core::itfErrorToString(status)));
        return status;
    }
    logInfo(QStringLiteral("Result: ok"));
    return 0;
}

} // namespace tarvesk::devices
