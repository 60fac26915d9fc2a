#include "dali/sim_dali_gear_bench.h"
#include "sim_bus_model_registry.h"

namespace tarvesk::sim {

// One line per model: registry.registerModel("name", SimBusModel::Dali, factory).
void registerBuiltInBusModels(SimBusModelRegistry& registry)
{
    registry.registerModel(QStringLiteral("dali_gear"), SimBusModel::Dali, createDaliGearFromBench);
}

} // namespace tarvesk::sim
