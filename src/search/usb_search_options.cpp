#include "search/usb_search_options.h"

#include "devices/usb_device_factory.h"

namespace tarvesk::search {

UsbSearchOptions::UsbSearchOptions()
    : SearchOptions(ALL, {}, false)
{ }

UsbSearchOptions::~UsbSearchOptions()
{
    for (auto& entry : _factories)
        delete entry.second;
}

void UsbSearchOptions::registerVidPid(int vid, int pid, devices::UsbDeviceFactory* factory)
{
    devices::UsbDeviceFactory*& slot = _factories[key(vid, pid)];
    if (slot != factory)
        delete slot;
    slot = factory;
}

bool UsbSearchOptions::containsVidPid(int vid, int pid) const
{
    return _factories.count(key(vid, pid)) > 0;
}

devices::UsbDeviceFactory* UsbSearchOptions::getFactory(int vid, int pid) const
{
    auto it = _factories.find(key(vid, pid));
    return it == _factories.end() ? nullptr : it->second;
}

} // namespace tarvesk::search
