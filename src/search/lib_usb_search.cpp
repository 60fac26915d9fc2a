#include "search/lib_usb_search.h"

#include "core/itf_error.h"
#include "core/universe.h"
#include "devices/lib_usb_device.h"
#include "interfaces/lib_usb_interface.h"
#include "log/logging_categories.h"
#include "search/search_results.h"
#include "search/usb_search_options.h"
#include "search/usb_search_result.h"

namespace tarvesk::search {

namespace {

// A USB device that a device of the universe already holds open is not found
// again: it can be claimed only once.
bool isHeld(core::Universe* universe, libusb_device* device)
{
    for (core::Device* held : universe->getDevices()) {
        auto* usbDevice = dynamic_cast<devices::LibUsbDevice*>(held);
        if (usbDevice && usbDevice->getDevice() == device)
            return true;
    }
    return false;
}

} // namespace

LibUsbSearch::LibUsbSearch(core::Universe* universe)
    : UniverseSearcher(QStringLiteral("LibUsbSearch"), universe)
{ }

int LibUsbSearch::search(SearchOptions* options, SearchResults* results)
{
    core::NetworkInterface* itf = getUniverse() ? getUniverse()->getInterface(core::ITF_TYPE_USB) : nullptr;
    auto* usb = qobject_cast<itf::LibUsbInterface*>(itf);
    auto* usbOptions = dynamic_cast<UsbSearchOptions*>(options);
    if (!usbOptions || !usb || !results) {
        qCCritical(service::loggerGlog()).noquote()
            << GLOG_PREFIX << "Lib USB search doesn't get USB search options.";
        return core::ITF_ERR_INVALID_PARAM;
    }
    // Listing on a null context would list the library's default context,
    // which this transport never opened.
    if (!usb->init() || !usb->getContext()) {
        qCCritical(service::loggerGlog()).noquote() << GLOG_PREFIX << "USB library could not be initialised";
        return core::ITF_ERR_TRANSFER;
    }

    qCDebug(service::loggerGlog()).noquote() << GLOG_PREFIX << "Getting USB device list";
    itf::ILibUsb* libUsb = usb->getLibUsb();
    libusb_device** list = nullptr;
    const ssize_t count = libUsb->getDeviceList(usb->getContext(), &list);
    qCDebug(service::loggerGlog()).noquote()
        << GLOG_PREFIX << QStringLiteral("Got %1 devices from device list").arg(count);
    if (count < 0)
        qCWarning(service::loggerGlog()).noquote() << GLOG_PREFIX << "Could not retrieve USB device list";
    if (count <= 0) {
        if (list)
            libUsb->freeDeviceList(list, 1);
        qCInfo(service::loggerGlog()).noquote() << GLOG_PREFIX << "No USB interface found";
        return 0;
    }

    const int before = results->size();
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor = {};
        if (libUsb->getDeviceDescriptor(list[i], &descriptor) != 0)
            continue;
        if (!usbOptions->containsVidPid(descriptor.idVendor, descriptor.idProduct)
            || isHeld(getUniverse(), list[i]))
            continue;
        qCDebug(service::loggerGlog()).noquote() << QStringLiteral("Found device with VID %1 PID %2")
                                                        .arg(descriptor.idVendor)
                                                        .arg(descriptor.idProduct);
        results->append(new UsbSearchResult(getUniverse(), usb, list[i], descriptor.bcdDevice,
            usbOptions->getFactory(descriptor.idVendor, descriptor.idProduct)));
    }
    libUsb->freeDeviceList(list, 1);
    if (results->size() == before)
        qCInfo(service::loggerGlog()).noquote() << GLOG_PREFIX << "No USB interface found";
    return 0;
}

} // namespace tarvesk::search
