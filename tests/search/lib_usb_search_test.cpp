#include "core/device.h"
#include "core/itf_error.h"
#include "devices/lib_usb_device.h"
#include "devices/usb_vandrel_device_factory.h"
#include "interfaces/lib_usb_interface.h"
#include "log_capture.h"
#include "search/lib_usb_search.h"
#include "search/search_results.h"
#include "search/usb_search_options.h"
#include "search/usb_search_result.h"
#include "sim_usb_universe.h"
#include "universes/usb_universe.h"

#include <gtest/gtest.h>

using namespace tarvesk;
using tarvesk::test::LogCapture;
using tarvesk::test::SimUsbUniverse;

namespace {

std::unique_ptr<search::UsbSearchOptions> vandrelOptions()
{
    auto options = std::make_unique<search::UsbSearchOptions>();
    devices::UsbVandrelDeviceFactory::registerIn(*options);
    return options;
}

sim::SimBoxConfig box(quint16 productId, quint16 release, quint32 serial)
{
    sim::SimBoxConfig config;
    config.productId = productId;
    config.release = release;
    config.serial = serial;
    return config;
}

TEST(LibUsbSearch, KeepsRegisteredBoxesInListOrderAndHoldsThemUntilTheResultsGo)
{
    SimUsbUniverse usb;
    usb.libUsb->addBox(box(0xFF00, 0x2014, 1));
    usb.libUsb->addBox(box(0xFF01, 0x2014, 2)); // registered vendor, other product
    usb.libUsb->addBox(box(0xFF00, 0x1810, 3));
    auto options = vandrelOptions();
    {
        search::SearchResults results;
        ASSERT_EQ(usb.universe->getSearcher()->search(options.get(), &results), 0);
        ASSERT_EQ(results.size(), 2);
        const auto* first = dynamic_cast<search::UsbSearchResult*>(*results.begin());
        const auto* second = dynamic_cast<search::UsbSearchResult*>(*(results.begin() + 1));
        ASSERT_TRUE(first && second);
        EXPECT_EQ(first->getBcdDevice(), 0x2014);
        EXPECT_EQ(second->getBcdDevice(), 0x1810);
        EXPECT_NE(first->getLibUsbDevice(), second->getLibUsbDevice());
        // The list is freed: only the results keep the devices.
        EXPECT_EQ(usb.transport->heldDeviceCount(), 2);
        EXPECT_EQ(first->getUID(), search::SearchResult::NoUid);
    }
    EXPECT_EQ(usb.transport->heldDeviceCount(), 0);
}

TEST(LibUsbSearch, RefusesWhatItCannotSearchAndFindsNothingOnAFailedListing)
{
    SimUsbUniverse usb;
    usb.libUsb->addBox();
    search::SearchOptions plain(search::SearchOptions::ALL, {}, false);
    search::SearchResults results;
    auto options = vandrelOptions();
    search::UniverseSearcher* searcher = usb.universe->getSearcher();
    EXPECT_EQ(searcher->search(&plain, &results), core::ITF_ERR_INVALID_PARAM);
    EXPECT_EQ(searcher->search(nullptr, &results), core::ITF_ERR_INVALID_PARAM);
    EXPECT_EQ(searcher->search(options.get(), nullptr), core::ITF_ERR_INVALID_PARAM);

    usb.libUsb->failDeviceList(LIBUSB_ERROR_NO_MEM);
    LogCapture log;
    EXPECT_EQ(searcher->search(options.get(), &results), 0);
    EXPECT_EQ(log.count(QStringLiteral("Could not retrieve USB device list")), 1);
    EXPECT_EQ(results.size(), 0);

    // A universe whose transport is not libusb has nothing to list with.
    universes::UsbUniverse other(QStringLiteral("other"), new core::NetworkInterface(core::ITF_TYPE_USB));
    EXPECT_EQ(other.getSearcher()->search(options.get(), &results), core::ITF_ERR_INVALID_PARAM);
}

TEST(LibUsbSearch, ALibraryThatCannotStartFailsTheSearch)
{
    auto libUsb = std::make_shared<sim::SimLibUsb>();
    libUsb->addBox();
    libUsb->failInit(LIBUSB_ERROR_OTHER);
    SimUsbUniverse usb(libUsb);
    auto options = vandrelOptions();
    search::SearchResults results;
    EXPECT_EQ(usb.universe->getSearcher()->search(options.get(), &results), core::ITF_ERR_TRANSFER);
    EXPECT_EQ(results.size(), 0);
    // The next search initialises it.
    EXPECT_EQ(usb.universe->getSearcher()->search(options.get(), &results), 0);
    EXPECT_EQ(results.size(), 1);
}

TEST(LibUsbSearch, ABoxThatADeviceOfTheUniverseHoldsIsNotFoundAgain)
{
    SimUsbUniverse usb;
    usb.libUsb->addBox(box(0xFF00, 0x2014, 1));
    int status = -1;
    core::Device* device = usb.createDevice(0, nullptr, &status).release();
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(usb.universe->addDevice(device));
    usb.libUsb->addBox(box(0xFF00, 0x2014, 2));

    auto options = vandrelOptions();
    search::SearchResults results;
    ASSERT_EQ(usb.universe->getSearcher()->search(options.get(), &results), 0);
    ASSERT_EQ(results.size(), 1);
    EXPECT_NE(dynamic_cast<search::UsbSearchResult*>(*results.begin())->getLibUsbDevice(),
        dynamic_cast<devices::LibUsbDevice*>(device)->getDevice());
}

} // namespace
