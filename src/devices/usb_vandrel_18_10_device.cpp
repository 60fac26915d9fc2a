#include "devices/usb_vandrel_18_10_device.h"

#include "core/itf_error.h"
#include "core/parameters/parameter.h"
#include "core/parameters/raw_parameter_interface.h"
#include "log/logging_categories.h"

namespace tarvesk::devices {

namespace {

// The Dorvane mode bits of the controller's configuration word, by mode number.
constexpr unsigned int kModeBits = 0x45;
constexpr unsigned int kModeWords[] = {0x00, 0x05, 0x04, 0x41, 0x40};

} // namespace

UsbVandrel18_10Device::UsbVandrel18_10Device(core::Universe* universe)
    : UsbVandrelDevice(universe)
{ }

int UsbVandrel18_10Device::getParamCallback(core::Parameter* param)
{
    if (param && param->getIdentifier() == QLatin1String("dorvane_address"))
        return getParamHelper(param, dorvaneRam(), 20);
    if (param && param->getIdentifier() == QLatin1String("dorvane_status"))
        return getParamHelper(param, presmonde(), 4);
    return UsbVandrelDevice::getParamCallback(param);
}

int UsbVandrel18_10Device::setParamCallback(core::Parameter* param, QVariant value)
{
    if (!param || param->getIdentifier() != QLatin1String("dorvane_mode"))
        return UsbVandrelDevice::setParamCallback(param, value);
    const int mode = modeMap().value(value.toString(), -1);
    if (mode < 0 || mode >= int(sizeof(kModeWords) / sizeof(kModeWords[0])))
        return core::ITF_ERR_UNSUPPORTED_PARAMETER;
    core::RawParameterInterface* raw = dorvaneRam();
    if (!raw)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    unsigned int word = 0;
    const int status = raw->getParameter(param->getNetworkResolution(), 16, word);
    if (status != 0)
        return status;
    word = (word & ~kModeBits & 0xFFFF) | kModeWords[mode];
    return raw->setParameter(param->getNetworkResolution(), 16, word);
}

bool UsbVandrel18_10Device::isStatusTrue(Status status)
{
    QVariant value;
    switch (status) {
    case STATUS_DALI_CONNECTED:
        for (int read = 0; read < DaliSupplyReads; ++read) {
            if (readParameter(QStringLiteral("dali_voltage_high"), value) != 0)
                return false;
            if (value.toUInt() > DaliSupplyThreshold)
                return true;
        }
        return false;
    case STATUS_DORVANE_CONNECTED:
        return readParameter(QStringLiteral("dorvane_status"), value) == 0 && value.toInt() == 0;
    case STATUS_DORVANE_MASTER_ENABLED:
        return readParameter(QStringLiteral("dorvane_master_enabled"), value) == 0 && value.toInt() == 1;
    case STATUS_DORVANE_SLAVE_ENABLED:
        return readParameter(QStringLiteral("dorvane_slave_enabled"), value) == 0 && value.toInt() == 1;
    default:
        return false;
    }
}

int UsbVandrel18_10Device::setStatus(Status status, int on)
{
    const bool enable = on != 0;
    QString target;
    QString text;
    switch (status) {
    case STATUS_DALI_CONNECTED:
        target = QStringLiteral("dali_power");
        text = enable ? QStringLiteral("Enabling DALI power") : QStringLiteral("Disabling DALI power");
        break;
    case STATUS_DORVANE_CONNECTED:
        return 0;
    case STATUS_DORVANE_MASTER_ENABLED:
        target = QStringLiteral("dorvane_master_enabled");
        text
            = enable ? QStringLiteral("Enabling Dorvane master") : QStringLiteral("Disabling Dorvane master");
        break;
    case STATUS_DORVANE_SLAVE_ENABLED:
        target = QStringLiteral("dorvane_slave_enabled");
        text = enable ? QStringLiteral("Enabling Dorvane slave") : QStringLiteral("Disabling Dorvane slave");
        break;
    case STATUS_DORVANE_RESET_TRIGGER:
        target = QStringLiteral("dorvane_reset");
        text = enable ? QStringLiteral("Dorvane reset") : QString();
        break;
    default:
        return core::ITF_ERR_UNSUPPORTED_PARAMETER;
    }
    if (!parameter(target))
        return core::ITF_ERR_UNSUPPORTED_PARAMETER;
    if (!text.isEmpty())
        getPacketLog()->info(text);
    const int result = writeParameter(target, enable);
    if (status == STATUS_DORVANE_SLAVE_ENABLED)
        qDebug().noquote() << QStringLiteral("Set Dorvane slave enabled: %1").arg(on);
    if (status == STATUS_DORVANE_RESET_TRIGGER)
        qDebug().noquote() << QStringLiteral("Set Dorvane slave reset: %1").arg(on);
    if (on == 1 && status == STATUS_DALI_CONNECTED)
        busDelay(DaliPowerSettleMs);
    if (on == 1 && status == STATUS_DORVANE_RESET_TRIGGER)
        busDelay(DorvaneResetSettleMs);
    return result;
}

} // namespace tarvesk::devices
