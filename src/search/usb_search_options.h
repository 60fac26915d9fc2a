#pragma once

#include "search/search_options.h"

#include <map>

namespace tarvesk::devices {
class UsbDeviceFactory;
}

namespace tarvesk::search {

// Search options of the USB universe: the vendor and product ids to look for,
// each with the factory of its device class. Owns the factories.
class UsbSearchOptions : public SearchOptions
{
public:
    UsbSearchOptions();
    ~UsbSearchOptions() override;

    // Stores the factory under the pair; a factory registered before under it
    // is deleted (the options own what they hold).
    void registerVidPid(int vid, int pid, devices::UsbDeviceFactory* factory);
    bool containsVidPid(int vid, int pid) const;
    // The factory of the pair, or null.
    devices::UsbDeviceFactory* getFactory(int vid, int pid) const;

private:
    static int key(int vid, int pid) { return int((unsigned(vid & 0xFFFF) << 16) | unsigned(pid & 0xFFFF)); }

    std::map<int, devices::UsbDeviceFactory*> _factories; // owned; may hold null
};

} // namespace tarvesk::search
