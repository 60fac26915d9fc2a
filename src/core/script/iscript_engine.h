#pragma once

#include <QJSValue>
#include <QList>

#include <string>

class QObject;

namespace tarvesk::core {

class IDeviceInfoRecord;
class IProfileTypeParameters;

// The engine that runs the feature scripts of the data package. Parameters
// and profile-type schemas hold it (shared) and hand it on; ScriptEngine
// implements it. The defaults only serve holders that never run a script.
class IScriptEngine
{
public:
    virtual ~IScriptEngine() = default;

    // Runs the scripts' "enableFeature" for one feature of a profile type;
    // throws ScriptError when it fails.
    virtual void enableFeature(
        IProfileTypeParameters* parameters, IDeviceInfoRecord* record, const std::string& featureName);

    // The object as a script value; the system keeps ownership of it.
    virtual QJSValue createOwnedArgument(QObject* object);

    // Calls a script function (a parameter's script callback). The result is
    // the function's value, or an error value when it failed.
    virtual QJSValue callFunction(const QJSValue& function, const QJSValueList& arguments);
};

} // namespace tarvesk::core
