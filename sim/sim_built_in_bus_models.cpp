#include "sim_bus_model_registry.h"

namespace tarvesk::sim {

// One line per model: registry.registerModel("name", SimBusModel::Dali, factory).
void registerBuiltInBusModels(SimBusModelRegistry& registry)
{
    Q_UNUSED(registry)
}

} // namespace tarvesk::sim
