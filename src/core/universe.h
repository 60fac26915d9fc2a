#pragma once

#include "core/interface_type.h"
#include "core/item.h"

#include <QList>
#include <QString>

#include <map>
#include <memory>
#include <vector>

namespace tarvesk::search {
class UniverseSearcher;
}

namespace tarvesk::core {

class Device;
class NetworkInterface;

// One bus or line that the service can search: the interfaces through which it
// is reached (one per interface type), the devices found on it and the searcher
// that finds them.
//
// Ownership: the universe owns the interfaces added to it and its searcher, and
// deletes them when it is destroyed (after its devices, which use the
// interfaces). An interface belongs to exactly one universe; adding it to a
// second one is refused. The devices are owned by the device manager; the
// universe only lists them and removes them from the manager.
class Universe : public Item
{
    Q_OBJECT

public:
    // The first interface must not be null; it fixes the default type.
    Universe(const QString& name, NetworkInterface* itf, search::UniverseSearcher* searcher);
    ~Universe() override;

    // Stores the interface under its type and takes it over; the default type
    // stays. An interface of the same type that was there before is no longer
    // answered but kept until the universe ends, since devices may still use it.
    // False (and nothing changes) for null or for an interface that another
    // universe already holds.
    bool addInterface(NetworkInterface* itf);
    // ITF_TYPE_DEFAULT looks up the default type. Null, with a critical log
    // line, when there is none.
    NetworkInterface* getInterface(InterfaceType type) const;
    InterfaceType getDefaultInterfaceType() const { return _defaultType; }
    search::UniverseSearcher* getSearcher() const { return _searcher.get(); }

    // Adds the device to the device manager (which gives it its id) and lists it
    // here. False when the manager refuses it; the universe does not list it then.
    bool addDevice(Device* device);
    // Removes (and so deletes) the device through the device manager; only when
    // that succeeded does the device leave this universe's list.
    bool removeDevice(Device* device, bool force);
    void clearDevices(bool force);
    const QList<Device*>& getDevices() const { return _devices; }
    // Called by a device that is being destroyed: drops it from the list.
    void forgetDevice(Device* device) { _devices.removeAll(device); }

    // Which universe holds an interface, or null.
    static Universe* ownerOf(const NetworkInterface* itf);

private:
    struct InterfaceDeleter
    {
        void operator()(NetworkInterface* itf) const;
    };
    using InterfacePtr = std::unique_ptr<NetworkInterface, InterfaceDeleter>;

    std::map<InterfaceType, InterfacePtr> _interfaces; // owned, at most one per type
    std::vector<InterfacePtr> _replacedInterfaces;     // owned, no longer answered
    InterfaceType _defaultType = ITF_TYPE_UNKNOWN;
    std::unique_ptr<search::UniverseSearcher> _searcher; // owned; may be null
    QList<Device*> _devices;                             // owned by the device manager
};

} // namespace tarvesk::core
