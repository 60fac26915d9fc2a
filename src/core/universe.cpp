#include "core/universe.h"

#include "core/device.h"
#include "core/device_manager.h"
#include "core/network_interface.h"
#include "log/logging_categories.h"
#include "search/universe_searcher.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

namespace tarvesk::core {

namespace {

// Which universe owns which interface, so that no interface is owned twice.
QMutex& ownersMutex()
{
    static QMutex mutex;
    return mutex;
}

QHash<const NetworkInterface*, Universe*>& owners()
{
    static QHash<const NetworkInterface*, Universe*> map;
    return map;
}

} // namespace

void Universe::InterfaceDeleter::operator()(NetworkInterface* itf) const
{
    {
        QMutexLocker lock(&ownersMutex());
        owners().remove(itf);
    }
    delete itf;
}

Universe::Universe(const QString& name, NetworkInterface* itf, search::UniverseSearcher* searcher)
    : Item(name)
    , _searcher(searcher)
{
    if (itf)
        _defaultType = itf->getInterfaceType();
    addInterface(itf);
    setAttribute(QStringLiteral("interface_type"),
        new DataValueSet(QStringLiteral("interface_type"), QStringLiteral("Interface type"), QString(),
            QString(), NetworkInterface::interfaceTypeToString(_defaultType)));
}

Universe::~Universe()
{
    _searcher.reset();
    clearDevices(true);
    // The devices are gone; now nothing uses the interfaces any more.
    _interfaces.clear();
    _replacedInterfaces.clear();
}

Universe* Universe::ownerOf(const NetworkInterface* itf)
{
    QMutexLocker lock(&ownersMutex());
    return owners().value(itf, nullptr);
}

bool Universe::addInterface(NetworkInterface* itf)
{
    if (!itf)
        return false;
    {
        QMutexLocker lock(&ownersMutex());
        Universe* owner = owners().value(itf, nullptr);
        if (owner == this)
            return true;
        if (owner) {
            qCCritical(service::loggerGlog()).noquote()
                << GLOG_PREFIX
                << QStringLiteral("Universe \"%1\" refused an interface \"%2\" that universe \"%3\" holds")
                       .arg(getName(), itf->getInterfaceTypeString(), owner->getName());
            return false;
        }
        owners().insert(itf, this);
    }
    InterfacePtr& slot = _interfaces[itf->getInterfaceType()];
    if (slot)
        _replacedInterfaces.push_back(std::move(slot));
    slot = InterfacePtr(itf);
    return true;
}

NetworkInterface* Universe::getInterface(InterfaceType type) const
{
    const InterfaceType wanted = type == ITF_TYPE_DEFAULT ? _defaultType : type;
    auto it = _interfaces.find(wanted);
    if (it != _interfaces.end())
        return it->second.get();
    qCCritical(service::loggerGlog()).noquote()
        << GLOG_PREFIX
        << QStringLiteral("Universe \"%1\" asked for an interface \"%2\" (%3)")
               .arg(getName(), NetworkInterface::interfaceTypeToString(type))
               .arg(int(type));
    return nullptr;
}

bool Universe::addDevice(Device* device)
{
    if (!device || _devices.contains(device))
        return false;
    if (!DeviceManager::instance().add(device))
        return false;
    _devices.append(device);
    return true;
}

bool Universe::removeDevice(Device* device, bool force)
{
    if (!DeviceManager::instance().remove(device, force))
        return false;
    _devices.removeOne(device);
    return true;
}

void Universe::clearDevices(bool force)
{
    const QList<Device*> snapshot = _devices;
    for (Device* device : snapshot) {
        // A device removed by an earlier removal's cascade is gone already.
        if (_devices.contains(device))
            removeDevice(device, force);
    }
}

} // namespace tarvesk::core
