#include "core/script/iscript_engine.h"

#include "core/core_errors.h"

namespace tarvesk::core {

void IScriptEngine::enableFeature(IProfileTypeParameters*, IDeviceInfoRecord*, const std::string& featureName)
{
    throw ScriptError("No script engine to enable feature '" + featureName + "'");
}

QJSValue IScriptEngine::createOwnedArgument(QObject*)
{
    throw ScriptError("No script engine to create a script value");
}

QJSValue IScriptEngine::callFunction(const QJSValue& function, const QJSValueList& arguments)
{
    QJSValue callable = function;
    return callable.call(arguments);
}

} // namespace tarvesk::core
