#include "core/network_interface.h"

#include <QMetaType>

namespace tarvesk::core {

const char* const ITF_TYPE_STR_UNKNOWN = "unknown";
const char* const ITF_TYPE_STR_USB = "usb";
const char* const ITF_TYPE_STR_DMX = "dmx";
const char* const ITF_TYPE_STR_DALI = "dali";
const char* const ITF_TYPE_STR_DORVANE = "dorvane";
const char* const ITF_TYPE_STR_DORVANE_WY = "dorvane_wy";
const char* const ITF_TYPE_STR_SCPI = "scpi";
const char* const ITF_TYPE_STR_SPI = "spi";
const char* const ITF_TYPE_STR_BLE = "ble";
const char* const ITF_TYPE_STR_TCP = "tcp";
const char* const ITF_TYPE_STR_DEFAULT = "default";
const char* const ITF_TYPE_STR_VIRTUAL = "virtual";
const char* const ITF_TYPE_STR_ALL = "all";

namespace {

struct TypeText
{
    InterfaceType type;
    const char* const* text;
};

// The order in which texts are matched when parsed.
const TypeText kTypeTexts[] = {
    {ITF_TYPE_UNKNOWN, &ITF_TYPE_STR_UNKNOWN},
    {ITF_TYPE_USB, &ITF_TYPE_STR_USB},
    {ITF_TYPE_DMX, &ITF_TYPE_STR_DMX},
    {ITF_TYPE_DALI, &ITF_TYPE_STR_DALI},
    {ITF_TYPE_DORVANE, &ITF_TYPE_STR_DORVANE},
    {ITF_TYPE_SCPI, &ITF_TYPE_STR_SCPI},
    {ITF_TYPE_SPI, &ITF_TYPE_STR_SPI},
    {ITF_TYPE_VIRTUAL, &ITF_TYPE_STR_VIRTUAL},
    {ITF_TYPE_BLE, &ITF_TYPE_STR_BLE},
    {ITF_TYPE_TCP, &ITF_TYPE_STR_TCP},
    {ITF_TYPE_DEFAULT, &ITF_TYPE_STR_DEFAULT},
    {ITF_TYPE_ALL, &ITF_TYPE_STR_ALL},
};

} // namespace

NetworkInterface::NetworkInterface(InterfaceType type)
    : NetworkInterface(nullptr, type)
{ }

NetworkInterface::NetworkInterface(Device* parentDevice, InterfaceType type)
    : _parentDevice(parentDevice)
    , _interfaceType(type)
{ }

NetworkInterface::~NetworkInterface()
{
    QMutexLocker lock(&_mutex);
    delete _bootloaderProxy;
    _bootloaderProxy = nullptr;
}

void NetworkInterface::setBootloaderProxyInterface(QObject* proxy)
{
    if (proxy != _bootloaderProxy)
        delete _bootloaderProxy;
    _bootloaderProxy = proxy;
}

QString NetworkInterface::interfaceTypeToString(InterfaceType type)
{
    for (const TypeText& entry : kTypeTexts) {
        if (entry.type == type)
            return QString::fromLatin1(*entry.text);
    }
    return QString::fromLatin1(ITF_TYPE_STR_UNKNOWN);
}

InterfaceType NetworkInterface::interfaceTypeFromString(const QString& text)
{
    const QString lower = text.toLower();
    for (const TypeText& entry : kTypeTexts) {
        if (lower == QLatin1String(*entry.text))
            return entry.type;
    }
    return ITF_TYPE_UNKNOWN;
}

QString NetworkInterface::interfaceFamilyFromType(const QString& text)
{
    const QString lower = text.toLower();
    if (lower == QLatin1String(ITF_TYPE_STR_DORVANE_WY))
        return QString::fromLatin1(ITF_TYPE_STR_DORVANE);
    return lower;
}

void NetworkInterface::initMeta()
{
    qRegisterMetaType<NetworkResolution>("tarvesk::core::NetworkResolution");
}

} // namespace tarvesk::core
