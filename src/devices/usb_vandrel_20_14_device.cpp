#include "devices/usb_vandrel_20_14_device.h"

#include "core/itf_error.h"
#include "core/parameters/parameter.h"
#include "core/parameters/raw_parameter_interface.h"
#include "interfaces/lib_usb_interface.h"
#include "protocol/usb/usb_vandrel_packet.h"
#include "protocol/usb/vandrel_request.h"

#include <mutex>

namespace tarvesk::devices {

namespace {

// Firmware registers of this release.
constexpr unsigned char kStatusRegister = 4;
constexpr unsigned char kModeRegister = 48;
constexpr unsigned char kAddressRegister = 49;
constexpr unsigned char kResetRegister = 65;

} // namespace

UsbVandrel20_14Device::UsbVandrel20_14Device(core::Universe* universe)
    : UsbVandrelDevice(universe)
{
    addMode(QStringLiteral("dv2_host"), 3);
    addMode(QStringLiteral("dv2_device"), 4);
    addMode(QStringLiteral("dv2_log"), 5);
}

int UsbVandrel20_14Device::getParamCallback(core::Parameter* param)
{
    const QString id = param ? param->getIdentifier() : QString();
    if (id == QLatin1String("dorvane_address"))
        return getParamHelper(param, presmonde(), kAddressRegister);
    if (id == QLatin1String("dorvane_status"))
        return getParamHelper(param, presmonde(), kStatusRegister);
    if (id == QLatin1String("dorvane_mode"))
        return getEnumParamHelper(param, presmonde(), kModeRegister, reverseModeMap());
    return UsbVandrelDevice::getParamCallback(param);
}

int UsbVandrel20_14Device::setParamCallback(core::Parameter* param, QVariant value)
{
    const QString id = param ? param->getIdentifier() : QString();
    unsigned char address = 0;
    unsigned int number = 0;
    if (id == QLatin1String("dorvane_mode")) {
        const int mode = modeMap().value(value.toString(), -1);
        if (mode < 0)
            return core::ITF_ERR_UNSUPPORTED_PARAMETER;
        address = kModeRegister;
        number = unsigned(mode);
    } else if (id == QLatin1String("dorvane_address") || id == QLatin1String("dorvane_reset")) {
        bool ok = false;
        const int integer = value.type() == QVariant::Bool ? int(value.toBool()) : value.toInt(&ok);
        if (value.type() != QVariant::Bool && !ok)
            return core::ITF_ERR_INVALID_PARAM;
        address = id == QLatin1String("dorvane_address") ? kAddressRegister : kResetRegister;
        number = unsigned(integer);
    } else {
        return UsbVandrelDevice::setParamCallback(param, value);
    }
    core::RawParameterInterface* raw = presmonde();
    return raw ? raw->setParameter(param->getNetworkResolution(), address, number)
               : core::ITF_ERR_UNSUPPORTED_FEATURE;
}

bool UsbVandrel20_14Device::isStatusTrue(Status status)
{
    if (status != STATUS_DORVANE_CONNECTED)
        return false;
    QVariant value;
    return readParameter(QStringLiteral("dorvane_status"), value) == 0 && value.toInt() == 0;
}

int UsbVandrel20_14Device::setStatus(Status status, int on)
{
    if (status == STATUS_DORVANE_CONNECTED)
        return 0;
    return core::Device::setStatus(status, on);
}

int UsbVandrel20_14Device::getStatusData(QByteArray& out)
{
    itf::LibUsbInterface* usb = getLibUsbInterface();
    if (!usb)
        return core::ITF_ERR_NO_DEVICE;
    const proto::VandrelReport bytes = proto::vandrelCommandRequest(proto::vandrel::VD_CMD_STATUS_BLOCK);
    const proto::UsbVandrelPacket request(bytes.data(), int(bytes.size()));
    proto::UsbVandrelPacket reply;
    int status = 0;
    {
        std::lock_guard<core::NetworkInterface> exchange(*usb);
        status = usb->transferPacket(getDeviceHandle(), &request, &reply);
    }
    if (status != core::ITF_OK)
        return status;
    for (int i = 1; i <= StatusBlockSize; ++i)
        out.append(char(reply.getUint8(i)));
    return 0;
}

} // namespace tarvesk::devices
