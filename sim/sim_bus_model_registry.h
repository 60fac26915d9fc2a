#pragma once

#include "sim_bus_model.h"

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace tarvesk::sim {

// Builds bus models by the name a bench file gives them ("model": "...").
class SimBusModelRegistry
{
public:
    // Builds a model from its bench entry; null with the reason in error when the entry is unusable.
    using Factory = std::function<std::shared_ptr<SimBusModel>(const QJsonObject& entry, QString* error)>;

    // The registry with every model this simulator knows.
    static SimBusModelRegistry& instance();

    void registerModel(const QString& name, SimBusModel::Bus bus, Factory factory);
    QStringList modelNames(SimBusModel::Bus bus) const;
    std::shared_ptr<SimBusModel> create(
        SimBusModel::Bus bus, const QString& name, const QJsonObject& entry, QString* error) const;

private:
    SimBusModelRegistry();

    struct Entry
    {
        SimBusModel::Bus bus;
        Factory factory;
    };
    QMap<QString, Entry> _models; // written at start-up, before any bench loads
};

// Registers the simulator's own bus models; models of new buses add themselves here.
void registerBuiltInBusModels(SimBusModelRegistry& registry);

} // namespace tarvesk::sim
