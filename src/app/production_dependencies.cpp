#include "app/production_dependencies.h"

#include "core/universe_manager.h"
#include "interfaces/dali_interface.h"
#include "interfaces/dmx/spi_interface.h"
#include "interfaces/lib_usb_interface.h"
#include "service/database/data1_database.h"
#include "universes/usb_universe.h"

#include <QPointer>

namespace tarvesk {

service::QuinmarkRpcServer::Dependencies productionRpcServerDependencies()
{
    // The feature scripts call the DALI interface's operations that answer
    // through a byte pointer; the type must be known before they load.
    itf::DaliInterface::initMeta();
    // The same for the SPI interface's operations and its module kinds.
    itf::SpiInterface::initMeta();

    service::QuinmarkRpcServer::Dependencies dependencies;
    dependencies.database = [] { return std::make_shared<service::Data1Database>(); };

    // The end of a pass may already have removed every universe by force; the
    // guarded pointer tells the release whether its universe still exists.
    auto created = std::make_shared<QPointer<core::Item>>();
    dependencies.createUsbUniverse = [created](const QString& name) -> core::Item* {
        auto* universe = new universes::UsbUniverse(name, new itf::LibUsbInterface);
        if (!core::UniverseManager::instance().add(universe)) {
            delete universe;
            return nullptr;
        }
        *created = universe;
        return universe;
    };
    dependencies.releaseUsbUniverse = [created](core::Item*) {
        if (core::Item* universe = created->data())
            core::UniverseManager::instance().remove(universe, true);
        *created = nullptr;
    };
    return dependencies;
}

} // namespace tarvesk
