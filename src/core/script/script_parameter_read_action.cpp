#include "core/script/script_parameter_read_action.h"

#include "core/core_errors.h"
#include "core/device.h"
#include "core/parameters/parameter.h"
#include "core/script/iscript_engine.h"

namespace tarvesk::core {

namespace {

// A status the callback returned, or 0 when it returned no number.
int statusOf(const QJSValue& result)
{
    return result.isNumber() ? result.toInt() : 0;
}

} // namespace

ScriptParameterReadAction::ScriptParameterReadAction(Device* device)
    : _device(device)
{ }

int ScriptParameterReadAction::execute(IParameter* parameter, QVariant)
{
    auto* scripted = dynamic_cast<Parameter*>(parameter);
    if (!scripted || !scripted->getScriptGetCallback().isCallable())
        throw ParameterError("No script callback set for the get action");
    const auto engine = scripted->getScriptEngine();
    if (!engine)
        throw ParameterError(
            "No script engine for the get action of " + scripted->getIdentifier().toStdString());
    QJSValue result;
    try {
        result = engine->callFunction(scripted->getScriptGetCallback(),
            {engine->createOwnedArgument(_device), engine->createOwnedArgument(scripted)});
    } catch (const ScriptError& e) {
        throw ParameterError(std::string("Error in script callback:") + e.what());
    }
    if (result.isError())
        throw ParameterError("Error in script callback:" + result.toString().toStdString());
    return statusOf(result);
}

} // namespace tarvesk::core
