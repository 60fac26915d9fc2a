#pragma once

#include "core/interface_type.h"
#include "core/item_list.h"

#include <QList>

namespace tarvesk::core {

class Device;
class Universe;

// The process-wide list of all devices; it owns them. Devices enter it through
// Universe::addDevice and leave it (deleted) through Universe::removeDevice.
class DeviceManager : public ItemList
{
public:
    // Created on first use. At process exit the list itself is released; the
    // devices still in it are not deleted.
    static DeviceManager& instance();

    // Appends every device whose universe is the given one, in the list's order.
    void getDeviceListByUniverse(const Universe* universe, QList<Device*>& out) const;
    // Every device for ITF_TYPE_ALL; otherwise those whose interface has the type.
    void getDeviceList(QList<Device*>& out, InterfaceType type) const;

private:
    DeviceManager() = default;
};

} // namespace tarvesk::core
