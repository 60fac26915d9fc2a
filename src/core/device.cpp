#include "core/device.h"

#include "core/core_errors.h"
#include "core/database/device_info_database.h"
#include "core/database/device_info_record.h"
#include "core/database/oem_info_record.h"
#include "core/itf_error.h"
#include "core/network_interface.h"
#include "core/parameters/parameter.h"
#include "core/parameters/raw_parameter_interface.h"
#include "core/script/script_parameter_read_action.h"
#include "core/script/script_parameter_write_action.h"
#include "core/universe.h"
#include "core/universe_manager.h"
#include "log/logging_categories.h"
#include "service/database/abstract_database.h"

#include <QDebug>
#include <QSet>
#include <QThread>

namespace tarvesk::core {

namespace {

const char* const kCapabilityNames[] = {"dmx512", "timeout_event", "dorvane_atomic_read",
    "dorvane_wystrel_passthrough", "vandrel_corvalt_dali", "wystrel_correct_checksum", "dorvane_master",
    "dali_answer", "factory", "oem", "user", "fix_dorvane_hangup", "dorvane", "dorvane1", "dorvane2",
    "connection", "firmware", "datastore", "store_firmware", "configurable_dali_settling_time",
    "bootloader_spam", "bootloader_spam_reliability_update", "bootloader_embedded_functions", "form_factor",
    "internal_dorvane_param_get_set", "correct_dorvane_master_state", "lightshape"};

// A version read is repeated while the device gives no reply, up to this many reads.
constexpr int kVersionReads = 5;
constexpr unsigned kVersionTooHigh = 10001;

} // namespace

Device::Device(Universe* universe)
    : _universe(universe)
{
    if (universe)
        _interface = universe->getInterface(ITF_TYPE_DEFAULT);
    const InterfaceType type = _interface ? _interface->getInterfaceType() : ITF_TYPE_UNKNOWN;
    setAttribute(QStringLiteral("interface_type"),
        new DataValueSet(QStringLiteral("interface_type"), QStringLiteral("Interface type"), QString(),
            QString(), NetworkInterface::interfaceTypeToString(type)));
    _packetLog.setMaximumLogLength(10000);
}

Device::~Device()
{
    qDebug().noquote() << QStringLiteral("Destructor for device %1 called").arg(getName());

    // Deleted here rather than deferred: request threads run no event loop, so
    // a deferred deletion posted from one of them might never happen.
    qDebug().noquote() << "Cleaning up device parameters";
    std::map<QString, IParameter*> parameters;
    parameters.swap(_parameters);
    for (auto& entry : parameters)
        delete entry.second;

    qDebug().noquote() << "Cleaning up device interfaces";
    QHash<QString, RawParameterInterface*> interfaces;
    interfaces.swap(_rawInterfaces);
    _mainRawInterface = nullptr;
    qDeleteAll(interfaces);

    // The buses behind this device cannot outlive it: their interfaces point
    // back at it. So they go even when they are immortal.
    const QList<Universe*> children = getChildUniverses();
    _childUniverses.clear();
    for (Universe* child : children)
        UniverseManager::instance().remove(child, true);

    if (_universe)
        _universe->forgetDevice(this);
}

QString Device::capabilityToString(Capability capability)
{
    const int index = int(capability);
    if (index < 0 || index >= int(sizeof(kCapabilityNames) / sizeof(kCapabilityNames[0])))
        return QString();
    return QString::fromLatin1(kCapabilityNames[index]);
}

int Device::init()
{
    if (!hasCapability(CAP_ESTABLISH_CONNECTION))
        return 0;
    auto* parameter
        = new Parameter(QStringLiteral("connection_status"), ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
    parameter->setReadOnly(false);
    parameter->setGroup(QStringLiteral("Connection"));
    parameter->setParameterType(PARAM_TYPE_ENUM);
    parameter->addEnumOption(QStringLiteral("connected"));
    parameter->addEnumOption(QStringLiteral("disconnected"));
    parameter->setDefaultValue(QStringLiteral("disconnected"));
    parameter->setActualValue(QStringLiteral("disconnected"));
    if (!addParameter(parameter))
        delete parameter;
    return 0;
}

int Device::initializeDeviceInfo(service::AbstractDatabase* database)
{
    initializeInterfaces();
    // Parameters that name these actions are read and written by the feature scripts.
    _actions.addAction(std::make_shared<ScriptParameterReadAction>(this));
    _actions.addAction(std::make_shared<ScriptParameterWriteAction>(this));

    const int status = readProductIdentifiers();
    if (status != 0) {
        qCCritical(service::loggerGlog()).noquote() << GLOG_PREFIX << "Could not read device information";
        return status;
    }
    _revision = QStringLiteral("%1.%2").arg(_version).arg(_subversion);

    std::shared_ptr<DeviceInfoDatabase> products = database ? database->products() : nullptr;
    std::shared_ptr<OemInfoRecord> oem = products ? products->getOemRecord(uint8_t(_oemId)) : nullptr;
    _manufacturer = oem ? QString::fromStdString(oem->getName()) : QString();
    std::shared_ptr<DeviceInfoRecord> record = products ? products->getProductRecord(uint8_t(_deviceClass),
                                                   uint8_t(_oemId), uint8_t(_productId), uint16_t(_version))
                                                        : nullptr;
    // The database keeps the record for as long as it lives.
    _deviceInfoRecord = record.get();
    if (record) {
        setName(QString::fromStdString(record->getProductName()));
        QString special;
        if (getSpecialName(database, special))
            setName(special);
        if (!keepsProfileType() || !_profileType) {
            const QString profileName = QString::fromStdString(
                record->getProfileName(DeviceInfoRecord::InterfaceType(productInterfaceType())));
            setProfileType(database->profileType(profileName));
        }
    } else {
        setName(QStringLiteral("Unknown device"));
    }
    finalizeDevice();
    return 0;
}

int Device::productInterfaceType() const
{
    // By meaning: the product record numbers its interface kinds differently.
    switch (getInterfaceType()) {
    case ITF_TYPE_USB:
        return DeviceInfoRecord::USB;
    case ITF_TYPE_DMX:
        return DeviceInfoRecord::DMX;
    case ITF_TYPE_DALI:
        return DeviceInfoRecord::DALI;
    case ITF_TYPE_DORVANE:
        return DeviceInfoRecord::DORVANE;
    case ITF_TYPE_SCPI:
        return DeviceInfoRecord::SCPI;
    case ITF_TYPE_SPI:
        return DeviceInfoRecord::SPI;
    case ITF_TYPE_BLE:
        return DeviceInfoRecord::BLE;
    case ITF_TYPE_TCP:
        return DeviceInfoRecord::TCP;
    case ITF_TYPE_VIRTUAL:
        return DeviceInfoRecord::VIRTUAL;
    default:
        return 0;
    }
}

QString Device::getFormFactorString() const
{
    if (!_deviceInfoRecord)
        return QString();
    return QString::fromStdString(_deviceInfoRecord->getFormFactorName(uint8_t(_formFactor)));
}

bool Device::getSpecialName(service::AbstractDatabase*, QString&)
{
    return false;
}

int Device::readRawIdentifier(
    RawParameterInterface* itf, NetworkResolution resolution, unsigned address, unsigned& value)
{
    unsigned int read = 0;
    const int status = itf->getParameter(resolution, int(address), read);
    if (status == 0)
        value = read;
    return status;
}

int Device::readProductIdentifiers()
{
    RawParameterInterface* main = getRawParameterInterface(QStringLiteral("main"));
    if (!main)
        return ITF_ERR_UNSUPPORTED_FEATURE;

    unsigned value = 0;
    int status = ITF_ERR_NO_REPLY;
    for (int read = 0; read < kVersionReads && status == ITF_ERR_NO_REPLY; ++read)
        status = readRawIdentifier(main, getVersionResolution(), getVersionAddress(), value);
    if (status == 0) {
        if (value >= kVersionTooHigh)
            qCCritical(service::loggerGlog()).noquote() << GLOG_PREFIX << "Version is too damn high";
        _version = value & 0x1FF;
    }

    if (hasSubversion()) {
        status = readRawIdentifier(main, ITF_RES_BYTE, getSubversionAddress(), value);
        if (status != 0)
            return status;
        _subversion = value;
    }
    status = readRawIdentifier(main, ITF_RES_BYTE, getProductIdAddress(), value);
    if (status != 0)
        return status;
    _productId = value & 0xFF;
    status = readRawIdentifier(main, getOemIdResolution(), getOemIdAddress(), value);
    if (status != 0)
        return status;
    _oemId = value & 0xFF;
    if (hasCapability(CAP_VD_FORMFACTOR)) {
        status = readRawIdentifier(main, ITF_RES_WORD, getFormFactorAddress(), value);
        if (status != 0)
            return status;
        _formFactor = (value >> 8) & 0xFF;
    }
    return 0;
}

int Device::writeUniqueIdString(QString)
{
    return ITF_ERR_UNSUPPORTED_FEATURE;
}

bool Device::deviceConnect()
{
    _connectionStatus = CONNECTED;
    return true;
}

bool Device::deviceDisconnect()
{
    _connectionStatus = DISCONNECTED;
    return true;
}

int Device::setStatus(Status, int)
{
    return ITF_ERR_UNSUPPORTED_FEATURE;
}

int Device::profileSetPost(Step*)
{
    return 0;
}

QByteArray Device::getIdentificationString() const
{
    return QStringLiteral("%1 '%2'").arg(getId()).arg(getName()).toUtf8();
}

QString Device::getStateString() const
{
    return isConnected() ? QStringLiteral("OK") : QStringLiteral("Missing");
}

void Device::addChildUniverse(Universe* universe)
{
    if (!universe || _childUniverses.contains(universe))
        return;
    _childUniverses.append(universe);
    UniverseManager::instance().add(universe);
}

bool Device::removeChildUniverse(Universe* universe)
{
    if (!universe || !getChildUniverses().contains(universe))
        return false;
    if (!UniverseManager::instance().remove(universe, false))
        return false;
    // Deleted now: its entry reads null.
    _childUniverses.removeAll(QPointer<Universe>());
    return true;
}

QList<Universe*> Device::getChildUniverses() const
{
    QList<Universe*> live;
    for (const QPointer<Universe>& universe : _childUniverses) {
        if (universe)
            live.append(universe.data());
    }
    return live;
}

void Device::deviceHierarchyInfo(const QString& text)
{
    // Each device at most once, should interfaces ever point in a circle.
    QSet<Device*> visited;
    Device* device = this;
    while (device && !visited.contains(device)) {
        visited.insert(device);
        device->_packetLog.info(text);
        NetworkInterface* itf = device->getInterface();
        device = itf ? itf->getParentDevice() : nullptr;
    }
}

void Device::busDelay(int milliseconds)
{
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}

} // namespace tarvesk::core
