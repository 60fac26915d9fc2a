#include "app/production_dependencies.h"

#include "core/item.h"
#include "core/universe_manager.h"
#include "service/database/data1_database.h"

#include <QMetaType>
#include <QPointer>

#include <gtest/gtest.h>

using tarvesk::productionRpcServerDependencies;
using tarvesk::core::Item;
using tarvesk::core::UniverseManager;

TEST(ProductionDependencies, DataPackageDatabaseAndTheTypesItsScriptsCall)
{
    const auto dependencies = productionRpcServerDependencies();

    // The DALI operations that answer through a byte pointer, called from scripts.
    EXPECT_NE(QMetaType::type("unsigned char *"), QMetaType::UnknownType);
    ASSERT_TRUE(dependencies.database);
    EXPECT_TRUE(std::dynamic_pointer_cast<tarvesk::service::Data1Database>(dependencies.database()));
    EXPECT_FALSE(dependencies.methodFactory) << "the RPC server's own method factory serves";
}

TEST(ProductionDependencies, UsbUniverseLivesInTheUniverseManagerUntilReleased)
{
    const int before = UniverseManager::instance().count();
    const auto dependencies = productionRpcServerDependencies();

    QPointer<Item> usb = dependencies.createUsbUniverse(QStringLiteral("USB"));
    ASSERT_TRUE(usb);
    EXPECT_EQ(usb->getName(), "USB");
    EXPECT_EQ(UniverseManager::instance().count(), before + 1);
    EXPECT_FALSE(UniverseManager::instance().remove(usb)) << "only a forced removal takes the USB universe";

    dependencies.releaseUsbUniverse(usb);
    EXPECT_FALSE(usb);
    EXPECT_EQ(UniverseManager::instance().count(), before);
}

// The end of a pass may remove every universe by force before the RPC server
// releases its own: the release then must not touch the deleted universe.
TEST(ProductionDependencies, ReleaseAfterTheUniverseWasRemovedByForce)
{
    const int before = UniverseManager::instance().count();
    const auto dependencies = productionRpcServerDependencies();
    Item* usb = dependencies.createUsbUniverse(QStringLiteral("USB"));
    ASSERT_TRUE(usb);
    ASSERT_TRUE(UniverseManager::instance().remove(usb, true));

    dependencies.releaseUsbUniverse(usb);
    EXPECT_EQ(UniverseManager::instance().count(), before);
}
