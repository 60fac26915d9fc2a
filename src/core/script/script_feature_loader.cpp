#include "core/script/script_feature_loader.h"

#include "core/core_errors.h"
#include "core/database/device_info_record.h"
#include "core/script/iscript_engine.h"

namespace tarvesk::core {

ScriptFeatureLoader::ScriptFeatureLoader(std::shared_ptr<IScriptEngine> engine)
    : _engine(std::move(engine))
{ }

void ScriptFeatureLoader::loadFeature(
    IProfileTypeParameters* parameters, DeviceInfoRecord* record, const std::string& featureName) const
{
    if (!_engine)
        throw FeatureError("ScriptFeatureLoader: ScriptEngine not defined");
    try {
        _engine->enableFeature(parameters, record, featureName);
    } catch (const ScriptError& e) {
        throw FeatureError(e.what());
    }
}

} // namespace tarvesk::core
