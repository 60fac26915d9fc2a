#include "sim_usb_universe.h"

#include "core/device.h"
#include "core/universe_manager.h"
#include "devices/usb_vandrel_device_factory.h"
#include "interfaces/lib_usb_interface.h"
#include "search/search_result.h"
#include "search/search_results.h"
#include "search/universe_searcher.h"
#include "search/usb_search_options.h"
#include "universes/usb_universe.h"

#include <gtest/gtest.h>

namespace tarvesk::test {

SimUsbUniverse::SimUsbUniverse(std::shared_ptr<sim::SimLibUsb> simLibUsb)
    : libUsb(std::move(simLibUsb))
{
    transport = new itf::LibUsbInterface(libUsb);
    universe = new universes::UsbUniverse(QStringLiteral("USB"), transport);
    core::UniverseManager::instance().add(universe);
}

SimUsbUniverse::~SimUsbUniverse()
{
    universe->clearDevices(true);
    EXPECT_EQ(transport->heldDeviceCount(), 0) << "USB devices still referenced";
    EXPECT_EQ(transport->openHandleCount(), 0) << "USB handles still open";
    core::UniverseManager::instance().remove(universe, true);
    EXPECT_TRUE(libUsb->violations().isEmpty()) << libUsb->violations().join('\n').toStdString();
}

std::unique_ptr<core::Device> SimUsbUniverse::createDevice(
    int index, service::AbstractDatabase* database, int* initStatus)
{
    search::UsbSearchOptions options;
    devices::UsbVandrelDeviceFactory::registerIn(options);
    search::SearchResults results;
    if (universe->getSearcher()->search(&options, &results) != 0 || index >= results.size())
        return nullptr;
    std::unique_ptr<core::Device> device((*(results.begin() + index))->createDevice());
    if (!device)
        return nullptr;
    EXPECT_EQ(device->initializeDeviceInfo(database), 0);
    const int status = device->init();
    if (initStatus)
        *initStatus = status;
    return device;
}

} // namespace tarvesk::test
