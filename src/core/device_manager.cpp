#include "core/device_manager.h"

#include "core/device.h"
#include "core/network_interface.h"

namespace tarvesk::core {

DeviceManager& DeviceManager::instance()
{
    static DeviceManager manager;
    return manager;
}

void DeviceManager::getDeviceListByUniverse(const Universe* universe, QList<Device*>& out) const
{
    QList<Item*> items;
    getItemList(items);
    for (Item* item : items) {
        auto* device = qobject_cast<Device*>(item);
        if (device && device->getUniverse() == universe)
            out.append(device);
    }
}

void DeviceManager::getDeviceList(QList<Device*>& out, InterfaceType type) const
{
    QList<Item*> items;
    getItemList(items);
    for (Item* item : items) {
        auto* device = qobject_cast<Device*>(item);
        if (!device)
            continue;
        if (type == ITF_TYPE_ALL
            || (device->getInterface() && device->getInterface()->getInterfaceType() == type))
            out.append(device);
    }
}

} // namespace tarvesk::core
