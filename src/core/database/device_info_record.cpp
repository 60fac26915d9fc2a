#include "core/database/device_info_record.h"

#include <QDebug>
#include <QJsonValue>
#include <cstdio>

namespace tarvesk::core {

DeviceInfoRecord::DeviceInfoRecord(QJsonObject attributes, unsigned char deviceClass, unsigned char oemId,
    unsigned char productId, unsigned short minVersion, std::string_view name)
    : _deviceClass(deviceClass)
    , _oemId(oemId)
    , _productId(productId)
    , _minVersion(minVersion)
    , _productName(name)
    , _attributes(std::move(attributes))
{ }

bool DeviceInfoRecord::hasInterfaceType(InterfaceType type) const
{
    const std::string text = interfaceEnumToString(type);
    for (const std::string& stored : _interfaceTypes) {
        if (stored == text)
            return true;
    }
    return false;
}

void DeviceInfoRecord::addFormFactor(unsigned char value, std::string_view name)
{
    const auto it = _formFactors.find(value);
    if (it == _formFactors.end()) {
        _formFactors.emplace(value, std::string(name));
        return;
    }
    if (it->second == name)
        return;
    qWarning().noquote() << QStringLiteral("Duplicate index '%1' in form factor map").arg(value);
    it->second = std::string(name);
}

std::string DeviceInfoRecord::getFormFactorName(unsigned char value) const
{
    const auto it = _formFactors.find(value);
    if (it != _formFactors.end())
        return it->second;
    qWarning().noquote() << QStringLiteral("Form factor index '%1' not found in form factor map").arg(value);
    return "Unknown";
}

std::string DeviceInfoRecord::getProfileName(InterfaceType type) const
{
    char ids[7];
    std::snprintf(
        ids, sizeof ids, "%02x%02x%02x", unsigned(_deviceClass), unsigned(_oemId), unsigned(_productId));
    return std::string(ids) + "_" + _productName + "_" + interfaceEnumToString(type);
}

uint64_t DeviceInfoRecord::getUniqueProductId(
    unsigned char deviceClass, unsigned char oemId, unsigned char productId, unsigned short minVersion)
{
    return (uint64_t(deviceClass) << 48) | (uint64_t(oemId) << 32) | (uint64_t(productId) << 16)
        | uint64_t(minVersion);
}

std::string DeviceInfoRecord::interfaceEnumToString(InterfaceType type)
{
    switch (type) {
    case DORVANE_WY:
        return "DORVANE_WY";
    case DORVANE:
        return "DORVANE";
    case DMX:
        return "DMX";
    case DMX_WY:
        return "DMX_WY";
    case DALI:
        return "DALI";
    case V10:
        return "10V";
    case USB:
        return "USB";
    case SPI:
        return "SPI";
    case SCPI:
        return "SCPI";
    case TCP:
        return "TCP";
    case VIRTUAL:
        return "virtual";
    case BOOTLOADER:
        return "Bootloader";
    case BLE:
        return "BLE";
    }
    return "Unknown";
}

DeviceInfoRecord::InterfaceType DeviceInfoRecord::interfaceStringToEnum(std::string_view text)
{
    // Deliberately narrower than interfaceEnumToString: only the bus kinds a
    // device can be reached through are recognised.
    if (text == "DORVANE_WY")
        return DORVANE_WY;
    if (text == "DORVANE")
        return DORVANE;
    if (text == "DMX")
        return DMX;
    if (text == "DALI")
        return DALI;
    if (text == "10V")
        return V10;
    if (text == "USB")
        return USB;
    if (text == "SPI")
        return SPI;
    return InterfaceType(0);
}

bool DeviceInfoRecord::hasAttribute(QString attrName) const
{
    return _attributes.contains(attrName);
}

QVariant DeviceInfoRecord::getAttribute(QString attrName) const
{
    const QJsonValue value = _attributes.value(attrName);
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double:
        return value.toDouble();
    case QJsonValue::Bool:
        return value.toBool();
    default:
        return QVariant();
    }
}

} // namespace tarvesk::core
