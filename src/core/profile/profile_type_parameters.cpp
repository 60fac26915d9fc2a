#include "core/profile/profile_type_parameters.h"

#include "core/core_errors.h"
#include "core/parameters/iparameter_factory.h"
#include "core/parameters/parameter.h"

#include <QDebug>

#include <stdexcept>

namespace tarvesk::core {

ProfileTypeParameters::ProfileTypeParameters(
    std::shared_ptr<IScriptEngine> engine, std::shared_ptr<IParameterFactory> factory)
    : _engine(std::move(engine))
    , _factory(std::move(factory))
{ }

IParameter* ProfileTypeParameters::addParameterByName(const QString& param)
{
    try {
        if (!_factory)
            throw ParameterError("no parameter factory");
        std::unique_ptr<IParameter> made(_factory->create(param));
        if (!made)
            throw ParameterError("the factory made no parameter");
        addParameter(made.get());
        IParameter* added = made.release();
        // Feature scripts run on request threads: the parameter joins the
        // schema's thread before the schema becomes its parent.
        if (added->thread() != thread())
            added->moveToThread(thread());
        added->setParent(this);
        if (auto* parameter = dynamic_cast<Parameter*>(added))
            parameter->setScriptEngine(_engine);
        return added;
    } catch (const std::runtime_error& e) {
        qWarning().noquote() << QStringLiteral("Error adding parameter ") + param + QStringLiteral(": ")
                + QString::fromUtf8(e.what());
        return nullptr;
    }
}

void ProfileTypeParameters::addParameter(IParameter* parameter)
{
    if (!parameter)
        throw ParameterError("Cannot add a null parameter to a profile type");
    _parameters[parameter->getIdentifier()] = parameter;
}

std::vector<IParameter*> ProfileTypeParameters::getList() const
{
    std::vector<IParameter*> list;
    list.reserve(_parameters.size());
    for (const auto& entry : _parameters)
        list.push_back(entry.second);
    return list;
}

IParameter* ProfileTypeParameters::getParameterInterface(const QString& paramIdent)
{
    const auto it = _parameters.find(paramIdent);
    return it == _parameters.end() ? nullptr : it->second;
}

} // namespace tarvesk::core
