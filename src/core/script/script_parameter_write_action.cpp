#include "core/script/script_parameter_write_action.h"

#include "core/core_errors.h"
#include "core/device.h"
#include "core/parameters/parameter.h"
#include "core/script/iscript_engine.h"

namespace tarvesk::core {

ScriptParameterWriteAction::ScriptParameterWriteAction(Device* device)
    : _device(device)
{ }

QJSValue ScriptParameterWriteAction::addConvertedVariantToArgumentList(const QVariant& value)
{
    switch (value.userType()) {
    case QMetaType::Bool:
        return QJSValue(value.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Double:
        return QJSValue(value.toDouble());
    case QMetaType::QString:
        return QJSValue(value.toString());
    default:
        throw ParameterError(QStringLiteral("Trying to convert unknown QVariant type '%1'")
                                 .arg(QString::fromLatin1(value.isValid() ? value.typeName() : "invalid"))
                                 .toStdString());
    }
}

int ScriptParameterWriteAction::execute(IParameter* parameter, QVariant value)
{
    auto* scripted = dynamic_cast<Parameter*>(parameter);
    if (!scripted || !scripted->getScriptSetCallback().isCallable())
        throw ParameterError("No script callback set for the set action");
    const auto engine = scripted->getScriptEngine();
    if (!engine)
        throw ParameterError(
            "No script engine for the set action of " + scripted->getIdentifier().toStdString());
    const QJSValue converted = addConvertedVariantToArgumentList(value);
    QJSValue result;
    try {
        result = engine->callFunction(scripted->getScriptSetCallback(),
            {engine->createOwnedArgument(_device), engine->createOwnedArgument(scripted), converted});
    } catch (const ScriptError& e) {
        throw ParameterError(std::string("Error in script callback: ") + e.what());
    }
    if (result.isError())
        throw ParameterError("Error in script callback");
    return result.isNumber() ? result.toInt() : 0;
}

} // namespace tarvesk::core
