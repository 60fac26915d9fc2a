#include "core/universe_manager.h"

#include "core/device.h"
#include "core/device_manager.h"
#include "core/universe.h"

namespace tarvesk::core {

UniverseManager& UniverseManager::instance()
{
    // Never destroyed: universes may still be removed by other objects that
    // end during process exit.
    static UniverseManager* manager = new UniverseManager;
    return *manager;
}

bool UniverseManager::cleanupUniverse(Universe* universe)
{
    if (!universe)
        return false;
    QList<Device*> devices;
    DeviceManager::instance().getDeviceListByUniverse(universe, devices);
    for (Device* device : devices) {
        device->setImmortality(false);
        universe->removeDevice(device, false);
    }
    return remove(universe, false);
}

} // namespace tarvesk::core
