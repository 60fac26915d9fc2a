#pragma once

#include "core/universe.h"

namespace tarvesk::universes {

// The universe of the USB programming interfaces, searched by listing the USB
// devices. It lives as long as the service runs: removing it needs force.
class UsbUniverse : public core::Universe
{
    Q_OBJECT

public:
    // Takes over the transport (the libusb interface) and makes its searcher.
    UsbUniverse(const QString& name, core::NetworkInterface* itf);
};

} // namespace tarvesk::universes
