#pragma once

#include "core/script/ifeature_loader.h"

#include <memory>

namespace tarvesk::core {

class IScriptEngine;

// Enables features through the feature scripts ("enableFeature").
class ScriptFeatureLoader : public IFeatureLoader
{
public:
    explicit ScriptFeatureLoader(std::shared_ptr<IScriptEngine> engine);

    void loadFeature(IProfileTypeParameters* parameters, DeviceInfoRecord* record,
        const std::string& featureName) const override;

private:
    std::shared_ptr<IScriptEngine> _engine;
};

} // namespace tarvesk::core
