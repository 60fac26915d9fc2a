// The parameters of the Vandrel box: its firmware registers ("presmonde") and
// the RAM of its Dorvane controller ("dorvane_ram"), and the callbacks that
// map each parameter to its register.

#include "devices/usb_vandrel_device.h"

#include "core/itf_error.h"
#include "core/parameters/parameter.h"
#include "core/parameters/raw_parameter_interface.h"

#include <cmath>

namespace tarvesk::devices {

namespace {

using core::ITF_RES_BYTE;
using core::ITF_RES_WORD;
using core::NetworkResolution;
using core::Parameter;

enum Space { P, D }; // "presmonde", "dorvane_ram"

struct ParameterRow
{
    const char* group;
    const char* identifier;
    NetworkResolution width;
    bool readOnly;
    unsigned int mask;      // 0: none
    unsigned minSubversion; // created from this subversion on
};

constexpr unsigned kBit0 = 1u << 0, kBit1 = 1u << 1, kBit2 = 1u << 2, kBit3 = 1u << 3, kBit4 = 1u << 4,
                   kBit5 = 1u << 5, kBit6 = 1u << 6, kBit8 = 1u << 8, kBit9 = 1u << 9;

// In the order of creation.
const ParameterRow kParameters[] = {
    {"Calibration", "calibration_status", ITF_RES_BYTE, false, 0, 0},
    {"Calibration", "calibration_temperature", ITF_RES_BYTE, false, 0, 0},
    {"Info", "version", ITF_RES_BYTE, true, 0, 0},
    {"Info", "subversion", ITF_RES_BYTE, true, 0, 0},
    {"Info", "vandrel_fw_version", ITF_RES_BYTE, true, 0, 0},
    {"Info", "rcon", ITF_RES_BYTE, true, 0, 0},
    {"Config", "internal_receiver", ITF_RES_BYTE, false, 0x10, 0},
    {"Config", "identify", ITF_RES_BYTE, false, 0x02, 0},
    {"Config", "param_lock", ITF_RES_BYTE, false, 0x08, 0},
    {"Config", "reset", ITF_RES_WORD, false, 0x80, 0},
    {"Config", "serial_number_high", ITF_RES_WORD, false, 0, 0},
    {"Config", "serial_number_low", ITF_RES_WORD, false, 0, 0},
    {"DALI", "dali_power", ITF_RES_BYTE, false, 0x01, 0},
    {"DALI", "dali_voltage_high", ITF_RES_WORD, true, 0, 0},
    {"DALI", "dali_voltage_measurement", ITF_RES_WORD, true, 0, 0},
    {"DALI", "dali_voltage_setting", ITF_RES_WORD, false, 0, 0},
    {"DALI", "dali_bus_status", ITF_RES_BYTE, true, 0x01, 0},
    {"DALI", "dali_output_voltage_dutycycle", ITF_RES_WORD, false, 0, 0},
    {"DMX", "dmx_breaklength", ITF_RES_WORD, false, 0, 0},
    {"DMX", "dmx_wy_cmd_breaklength", ITF_RES_WORD, false, 0, 0},
    {"DMX", "dmx_wy_cmd_timeout", ITF_RES_WORD, false, 0, 0},
    {"DMX", "dmx_rdm_cmd_breaklength", ITF_RES_WORD, false, 0, 0},
    {"DMX", "dmx_rdm_cmd_timeout", ITF_RES_WORD, false, 0, 0},
    {"DMX", "dmx_channel_count", ITF_RES_WORD, false, 0, 0},
    {"Dorvane Info", "dorvane_version", ITF_RES_BYTE, true, 0, 0},
    {"Dorvane Info", "dorvane_subversion", ITF_RES_BYTE, true, 0, 0},
    {"Dorvane Info", "dorvane_caps", ITF_RES_BYTE, true, 0, 0},
    {"Dorvane Info", "dorvane_status", ITF_RES_BYTE, true, 0x02, 0},
    {"Dorvane Info", "corvalt_dali", ITF_RES_BYTE, true, 0x10, 0},
    {"Dorvane Config", "keep_appl_in_bootloader", ITF_RES_BYTE, false, 0x04, 0},
    {"Dorvane Config", "dorvane_config", ITF_RES_WORD, false, 0, 0},
    {"Dorvane Config", "dorvane_slave_enabled", ITF_RES_WORD, false, kBit2, 0},
    {"Dorvane Config", "dorvane2_slave_enabled", ITF_RES_WORD, false, kBit6, 0},
    {"Dorvane Config", "dorvane_master_enabled", ITF_RES_WORD, false, kBit0, 0},
    {"Dorvane Config", "dorvane_mode", ITF_RES_WORD, false, 0, 0},
    {"Dorvane Config", "dorvane_address", ITF_RES_BYTE, false, 0, 11},
    {"Dorvane Config", "wystrel_wire_timeout", ITF_RES_BYTE, false, 0, 11},
    {"Dorvane Config", "dorvane_connection_timeout", ITF_RES_BYTE, false, 0, 11},
    {"Dorvane Config", "dorvane_auto_placement", ITF_RES_WORD, false, kBit8, 11},
    {"Dorvane Config", "dorvane_legacy_error", ITF_RES_WORD, false, kBit4, 7},
    {"Dorvane Config", "dorvane_short", ITF_RES_WORD, false, kBit3, 7},
    {"Dorvane Config", "dorvane_reset", ITF_RES_WORD, false, kBit5, 7},
    {"Dorvane Config", "dorvane_tag_enabled", ITF_RES_WORD, false, kBit1, 7},
    {"Dorvane Config", "dorvane_special_buffer_value", ITF_RES_WORD, false, 0, 7},
    {"Dorvane Config", "dorvane_special_buffer_trigger", ITF_RES_BYTE, false, 0, 7},
    {"Dorvane Config", "dorvane_extra_power", ITF_RES_WORD, false, kBit9, 12},
};

// A register read or written as it is (or as a flag of the parameter's mask).
struct RegisterRow
{
    const char* identifier;
    Space space;
    int address;
    bool flag;     // the value is 1 when every bit of the mask is set
    bool writable; // the set callback writes it
};

const RegisterRow kRegisters[] = {
    {"version", P, 0, false, false},
    {"dali_power", P, 8, true, true},
    {"identify", P, 8, true, true},
    {"internal_receiver", P, 8, true, true},
    {"keep_appl_in_bootloader", P, 8, true, true},
    {"param_lock", P, 8, true, true},
    {"reset", P, 8, true, true},
    {"rcon", P, 16, false, false},
    {"serial_number_high", P, 6, false, true},
    {"serial_number_low", P, 7, false, true},
    {"dorvane_caps", P, 3, false, false},
    {"corvalt_dali", P, 3, true, false},
    {"dali_output_voltage_dutycycle", P, 39, false, true},
    {"dali_bus_status", P, 4, true, false},
    {"dali_voltage_high", P, 41, false, false},
    {"dorvane_master_timebase", D, 18, false, true},
    {"calibration_temperature", D, 1, false, true},
    {"calibration_status", D, 6, false, true},
    {"dorvane_config", D, 16, false, true},
    {"wystrel_wire_timeout", D, 19, false, true},
    {"dorvane_slave_enabled", D, 16, true, true},
    {"dorvane2_slave_enabled", D, 16, true, true},
    {"dorvane_auto_placement", D, 16, true, true},
    {"dorvane_master_enabled", D, 16, true, true},
    {"dorvane_short", D, 16, true, true},
    {"dorvane_legacy_error", D, 16, true, true},
    {"dorvane_reset", D, 16, true, true},
    {"dorvane_extra_power", D, 16, true, true},
    {"dorvane_tag_enabled", D, 16, true, true},
    {"dmx_breaklength", P, 32, false, true},
    {"dmx_wy_cmd_breaklength", P, 33, false, true},
    {"dmx_wy_cmd_timeout", P, 34, false, true},
    {"dmx_rdm_cmd_breaklength", P, 35, false, true},
    {"dmx_rdm_cmd_timeout", P, 36, false, true},
    {"dmx_channel_count", P, 37, false, true},
};

// Registers only written by the set callback.
const RegisterRow kWriteOnlyRegisters[] = {
    {"dorvane_address", D, 20, false, true},
    {"dorvane_connection_timeout", D, 21, false, true},
};

const RegisterRow* findRegister(const QString& identifier, bool forWrite)
{
    for (const RegisterRow& row : kRegisters) {
        if (identifier == QLatin1String(row.identifier))
            return !forWrite || row.writable ? &row : nullptr;
    }
    if (forWrite) {
        for (const RegisterRow& row : kWriteOnlyRegisters) {
            if (identifier == QLatin1String(row.identifier))
                return &row;
        }
    }
    return nullptr;
}

// The mode bits of the Dorvane configuration word and their names.
constexpr unsigned kModeBits = 0x45;

QString dorvaneModeName(unsigned word)
{
    switch (word & kModeBits) {
    case 0x00:
        return QStringLiteral("off");
    case 0x04:
        return QStringLiteral("dv1_device");
    case 0x05:
        return QStringLiteral("dv1_host");
    case 0x40:
        return QStringLiteral("dv2_device");
    case 0x41:
        return QStringLiteral("dv2_host");
    default:
        return QStringLiteral("undefined");
    }
}

// Register 39 against the DALI supply voltage it sets: 760 is 4 V, each volt 39 less.
constexpr double kVoltageBase = 760.0;
constexpr double kVoltageStep = 39.0;
constexpr double kMinimumVolts = 4.0;
constexpr double kMaximumVolts = 23.0;
constexpr double kMeasurementDivisor = 35.363;
constexpr double kDmxTimeScale = 2.664;

// How a register value becomes the parameter's value.
enum class Reading { AsRead, Flag, MeasuredVolts, SetVolts, DorvaneMode };

QVariant readValue(Reading reading, unsigned int value, unsigned int mask)
{
    switch (reading) {
    case Reading::Flag:
        return (value & mask) == mask ? 1 : 0;
    case Reading::MeasuredVolts:
        return value / kMeasurementDivisor;
    case Reading::SetVolts:
        return value < kVoltageBase ? (kVoltageBase - value) / kVoltageStep + kMinimumVolts : kMinimumVolts;
    case Reading::DorvaneMode:
        return dorvaneModeName(value);
    case Reading::AsRead:
    default:
        return value;
    }
}

unsigned maskOf(const Parameter* param)
{
    return param->getBitmask();
}

bool hasMask(const Parameter* param)
{
    return maskOf(param) != 0xFFFF;
}

} // namespace

Parameter* UsbVandrelDevice::parameter(const QString& identifier)
{
    return qobject_cast<Parameter*>(getParameterInterface(identifier));
}

core::RawParameterInterface* UsbVandrelDevice::presmonde()
{
    return getRawParameterInterface(core::presmondeInterface());
}

core::RawParameterInterface* UsbVandrelDevice::dorvaneRam()
{
    return getRawParameterInterface(QStringLiteral("dorvane_ram"));
}

int UsbVandrelDevice::readParameter(const QString& identifier, QVariant& value)
{
    Parameter* param = parameter(identifier);
    return param ? param->getValue(value, core::IParameter::UPDATE_YES) : core::ITF_ERR_UNSUPPORTED_PARAMETER;
}

int UsbVandrelDevice::writeParameter(const QString& identifier, const QVariant& value)
{
    Parameter* param = parameter(identifier);
    return param ? param->setValue(value, core::IParameter::UPDATE_YES) : core::ITF_ERR_UNSUPPORTED_PARAMETER;
}

void UsbVandrelDevice::createParameterGroup(const QString& group)
{
    const unsigned subversion = getSubversion();
    for (const ParameterRow& row : kParameters) {
        if (group != QLatin1String(row.group) || subversion < row.minSubversion)
            continue;
        auto* param = new Parameter(QString::fromLatin1(row.identifier), row.width,
            row.readOnly ? Parameter::PARAM_READ_ONLY : Parameter::PARAM_READ_WRITE);
        param->setGroup(group);
        param->setReadOnly(row.readOnly);
        if (row.mask)
            param->setBitmask(row.mask);
        const QString id = param->getIdentifier();
        if (id == QLatin1String("version")) {
            param->setValue(getVersion(), core::IParameter::UPDATE_NO);
        } else if (id == QLatin1String("vandrel_fw_version")) {
            param->setParameterType(core::PARAM_TYPE_STRING);
            param->setValue(
                QStringLiteral("%1.%2").arg(getVersion()).arg(subversion), core::IParameter::UPDATE_NO);
        } else if (id == QLatin1String("dali_voltage_measurement")) {
            param->setUnit(core::PARAM_UNIT_VOLT);
            param->setDescription(tr("Approximate DALI voltage measured (can deviate around a volt)"));
        } else if (id == QLatin1String("dali_voltage_setting")) {
            param->setUnit(core::PARAM_UNIT_VOLT);
        } else if (id.startsWith(QLatin1String("dmx_")) && id != QLatin1String("dmx_channel_count")) {
            param->setScale(kDmxTimeScale);
            param->setMaxValue(65535);
            param->setUnit(core::PARAM_UNIT_MILLISECONDS);
        } else if (id == QLatin1String("dmx_channel_count")) {
            param->setMaxValue(512);
        } else if (id == QLatin1String("dorvane_mode")) {
            param->setParameterType(core::PARAM_TYPE_ENUM);
            QStringList options
                = {QStringLiteral("off"), QStringLiteral("dv1_host"), QStringLiteral("dv1_device")};
            if (subversion >= 11)
                options << QStringLiteral("dv2_host") << QStringLiteral("dv2_device");
            for (const QString& option : options)
                param->addEnumOption(option);
        }
        if (!addParameter(param))
            delete param;
    }
    if (group == QLatin1String("Config"))
        readSerialNumber();
}

void UsbVandrelDevice::readSerialNumber()
{
    core::RawParameterInterface* raw = presmonde();
    unsigned int high = 0;
    unsigned int low = 0;
    if (!raw || raw->getParameter(ITF_RES_WORD, 6, high) != 0 || raw->getParameter(ITF_RES_WORD, 7, low) != 0)
        return;
    _serialNumber = getVersion() >= FirstMonitorFirmware ? (high << 16) + low : low;
    setUniqueIDString(QStringLiteral("%1").arg(_serialNumber, 8, 16, QLatin1Char('0')));
}

int UsbVandrelDevice::getParamHelper(
    Parameter* param, core::RawParameterInterface* raw, unsigned char address)
{
    if (!raw)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    unsigned int value = 0;
    const int status = raw->getParameter(param->getNetworkResolution(), address, value);
    if (status != 0)
        return status;
    if (hasMask(param))
        value = (value & maskOf(param)) ? 1 : 0;
    param->setValue(value, core::IParameter::UPDATE_NO);
    return 0;
}

int UsbVandrelDevice::getEnumParamHelper(Parameter* param, core::RawParameterInterface* raw,
    unsigned char address, const QMap<int, QString>& names)
{
    if (!raw)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    unsigned int value = 0;
    const int status = raw->getParameter(param->getNetworkResolution(), address, value);
    if (status != 0)
        return status;
    param->setValue(names.value(int(value), QStringLiteral("unkown")), core::IParameter::UPDATE_NO);
    return 0;
}

int UsbVandrelDevice::getParamCallback(Parameter* param)
{
    if (!param)
        return core::ITF_ERR_INVALID_PARAM;
    const QString id = param->getIdentifier();
    core::RawParameterInterface* raw = nullptr;
    int address = 0;
    Reading reading = Reading::AsRead;
    if (id == QLatin1String("subversion")) {
        if (getVersion() < 18)
            return core::ITF_ERR_UNSUPPORTED_PARAMETER;
        raw = presmonde();
        address = 14;
    } else if (id == QLatin1String("dorvane_version")) {
        raw = dorvaneRam();
        address = getSubversion() < 7 ? 128 : 129;
    } else if (id == QLatin1String("dorvane_subversion")) {
        if (getSubversion() < 8)
            return core::ITF_ERR_UNSUPPORTED_PARAMETER;
        raw = dorvaneRam();
        address = 130;
    } else if (id == QLatin1String("dali_voltage_measurement")) {
        raw = presmonde();
        address = 41;
        reading = Reading::MeasuredVolts;
    } else if (id == QLatin1String("dali_voltage_setting")) {
        raw = presmonde();
        address = 39;
        reading = Reading::SetVolts;
    } else if (id == QLatin1String("dorvane_mode")) {
        raw = dorvaneRam();
        address = 16;
        reading = Reading::DorvaneMode;
    } else if (const RegisterRow* row = findRegister(id, false)) {
        raw = row->space == P ? presmonde() : dorvaneRam();
        address = row->address;
        reading = row->flag ? Reading::Flag : Reading::AsRead;
    } else {
        return core::Device::getParamCallback(param);
    }
    if (!raw)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    unsigned int value = 0;
    const int status = raw->getParameter(param->getNetworkResolution(), address, value);
    if (status != 0)
        return status;
    param->setValue(readValue(reading, value, maskOf(param)), core::IParameter::UPDATE_NO);
    return 0;
}

int UsbVandrelDevice::setParamCallback(Parameter* param, QVariant value)
{
    if (!param)
        return core::ITF_ERR_INVALID_PARAM;
    const QString id = param->getIdentifier();
    const NetworkResolution width = param->getNetworkResolution();

    if (id == QLatin1String("dali_voltage_setting")) {
        bool ok = false;
        const double volts = value.toDouble(&ok);
        if (!ok || !std::isfinite(volts))
            return core::ITF_ERR_INVALID_PARAM;
        core::RawParameterInterface* raw = presmonde();
        if (!raw)
            return core::ITF_ERR_UNSUPPORTED_FEATURE;
        const double clamped = qBound(kMinimumVolts, volts, kMaximumVolts);
        const auto registerValue
            = unsigned(std::trunc(kVoltageBase - (clamped - kMinimumVolts) * kVoltageStep));
        // The parameter keeps the volts the client set; the register is the box's business.
        return raw->setParameter(width, 39, registerValue);
    }

    const RegisterRow* row = findRegister(id, true);
    if (!row)
        return core::Device::setParamCallback(param, value);
    bool ok = false;
    const int number = value.type() == QVariant::Bool ? int(value.toBool()) : value.toInt(&ok);
    if (value.type() != QVariant::Bool && !ok)
        return core::ITF_ERR_INVALID_PARAM;
    core::RawParameterInterface* raw = row->space == P ? presmonde() : dorvaneRam();
    if (!raw)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    if (!row->flag)
        return raw->setParameter(width, row->address, unsigned(number));
    unsigned int word = 0;
    const int status = raw->getParameter(width, row->address, word);
    if (status != 0)
        return status;
    word = number != 0 ? (word | maskOf(param)) : (word & ~maskOf(param));
    return raw->setParameter(width, row->address, word);
}

} // namespace tarvesk::devices
