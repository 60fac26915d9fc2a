#pragma once

#include "core/profile/iprofile_type_parameters.h"

#include <map>
#include <memory>

namespace tarvesk::core {

class IParameterFactory;
class IScriptEngine;

// The schema of one profile type: at most one parameter per identifier,
// listed in identifier order (by code unit, so upper case first).
//
// Ownership: parameters made by addParameterByName belong to the schema (it
// is their parent); parameters handed to addParameter stay with the caller.
// A parameter that is replaced is only dropped from the map.
class ProfileTypeParameters : public IProfileTypeParameters
{
    Q_OBJECT

public:
    ProfileTypeParameters(std::shared_ptr<IScriptEngine> engine, std::shared_ptr<IParameterFactory> factory);

    // The new parameter, or null (with a warning) when it could not be made.
    IParameter* addParameterByName(const QString& param) override;
    void addParameter(IParameter* parameter) override;
    std::vector<IParameter*> getList() const override;
    IParameter* getParameterInterface(const QString& paramIdent) override;

private:
    std::map<QString, IParameter*> _parameters; // not owned through the map
    std::shared_ptr<IScriptEngine> _engine;
    std::shared_ptr<IParameterFactory> _factory;
};

} // namespace tarvesk::core
