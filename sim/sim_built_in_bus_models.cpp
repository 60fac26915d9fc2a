#include "dali/sim_dali_gear_bench.h"
#include "dali/sim_dali_master.h"
#include "dmx/sim_dmx_bench.h"
#include "dorvane/sim_dorvane_bench.h"
#include "sim_bus_model_registry.h"

namespace tarvesk::sim {

// One line per model: registry.registerModel("name", SimBusModel::Dali, factory).
void registerBuiltInBusModels(SimBusModelRegistry& registry)
{
    registry.registerModel(QStringLiteral("dali_gear"), SimBusModel::Dali, createDaliGearFromBench);
    registry.registerModel(QStringLiteral("dali_master"), SimBusModel::Dali, createDaliMasterFromBench);
    registry.registerModel(QStringLiteral("wystrel_driver"), SimBusModel::Dmx, createWystrelDriverFromBench);
    registry.registerModel(QStringLiteral("rdm_responder"), SimBusModel::Dmx, createRdmResponderFromBench);
    registry.registerModel(
        QStringLiteral("dorvane_driver"), SimBusModel::Dorvane, createDorvaneDriverFromBench);
    registry.registerModel(
        QStringLiteral("dorvane_legacy_driver"), SimBusModel::Dorvane, createDorvaneLegacyDriverFromBench);
    registry.registerModel(QStringLiteral("dv1_slave"), SimBusModel::Dorvane, createDv1SlaveFromBench);
    registry.registerModel(QStringLiteral("dv2_slave"), SimBusModel::Dorvane, createDv2SlaveFromBench);
}

} // namespace tarvesk::sim
