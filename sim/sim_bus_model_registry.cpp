#include "sim_bus_model_registry.h"

namespace tarvesk::sim {

SimBusModelRegistry& SimBusModelRegistry::instance()
{
    static SimBusModelRegistry registry;
    return registry;
}

SimBusModelRegistry::SimBusModelRegistry()
{
    registerBuiltInBusModels(*this);
}

void SimBusModelRegistry::registerModel(const QString& name, SimBusModel::Bus bus, Factory factory)
{
    _models.insert(name, {bus, std::move(factory)});
}

QStringList SimBusModelRegistry::modelNames(SimBusModel::Bus bus) const
{
    QStringList names;
    for (auto it = _models.constBegin(); it != _models.constEnd(); ++it) {
        if (it->bus == bus)
            names.append(it.key());
    }
    return names;
}

std::shared_ptr<SimBusModel> SimBusModelRegistry::create(
    SimBusModel::Bus bus, const QString& name, const QJsonObject& entry, QString* error) const
{
    auto it = _models.constFind(name);
    if (it == _models.constEnd() || it->bus != bus) {
        if (error) {
            const QStringList known = modelNames(bus);
            *error
                = QStringLiteral("unknown bus model \"%1\" (known here: %2)")
                      .arg(name, known.isEmpty() ? QStringLiteral("none") : known.join(QStringLiteral(", ")));
        }
        return nullptr;
    }
    QString reason;
    std::shared_ptr<SimBusModel> model = it->factory(entry, &reason);
    if (!model && error)
        *error = QStringLiteral("bus model \"%1\": %2").arg(name, reason);
    return model;
}

} // namespace tarvesk::sim
