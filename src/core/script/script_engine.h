#pragma once

#include "core/script/iscript_engine.h"

#include <QJSValue>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QJSEngine;

namespace tarvesk::proto {
class DaliLookupTable;
}

namespace tarvesk::core {

class IFileLoader;
class ScriptEngineThread;
class ScriptInvoker;
class ScriptWatchdog;

// The one JavaScript engine of the feature scripts (QJSEngine), shared by all
// profile types. Its library (constants.js, error.js, functions.js) is read
// through the file loader at the first enableFeature.
//
// Two guards keep a faulty script from harming the service: every object a
// script sees is reached through a ScriptInvoker, so a C++ exception becomes a
// JavaScript error; and every run has a time budget after which the engine is
// interrupted, so an endless loop cannot hang the request that runs it.
//
// The engine belongs to a thread of its own (ScriptEngineThread), where the
// script values let go on the callers' threads are freed at the end of every
// call of a script function.
//
// Not thread-safe: callers run one at a time (the request handler's mutex).
class ScriptEngine : public IScriptEngine
{
public:
    static constexpr std::chrono::milliseconds defaultTimeBudget {20000};

    ScriptEngine(
        std::shared_ptr<IFileLoader> fileLoader, std::shared_ptr<proto::DaliLookupTable> daliLookupTable);
    ~ScriptEngine() override;

    void enableFeature(IProfileTypeParameters* parameters, IDeviceInfoRecord* record,
        const std::string& featureName) override;
    QJSValue createOwnedArgument(QObject* object) override;

    // Calls a script function (a parameter's get or set callback) under the
    // time budget. The result is the function's value, or an error value when
    // it threw or was stopped.
    QJSValue callFunction(const QJSValue& function, const QJSValueList& arguments) override;

    bool isJavaScriptEngineInitialized() const { return _engine != nullptr; }
    bool isJavaScriptLibraryInitialized() const { return _enableFeature.isCallable(); }

    void initializeJavaScriptEngine();
    void initializeJavaScriptLibraryFunctions();
    void includeFile(const std::shared_ptr<IFileLoader>& fileLoader, const std::string& name);
    void loadIncludes(const std::shared_ptr<IFileLoader>& fileLoader, const std::vector<std::string>& names);
    void loadDaliLookupTable(const std::shared_ptr<proto::DaliLookupTable>& table);
    QJSValue createEnableFeatureFunction() const;

    void setTimeBudget(std::chrono::milliseconds budget) { _timeBudget = budget; }

private:
    // Runs script code under the time budget; a run that overran throws ScriptError.
    QJSValue runWithBudget(const std::function<QJSValue()>& run);
    QJSValue callThroughTrampoline(const QJSValue& function, const QJSValueList& arguments);
    // Frees the script values that were let go since the last time.
    void releaseDroppedValues();

    std::unique_ptr<ScriptWatchdog> _watchdog;
    std::unique_ptr<ScriptEngineThread> _thread;
    std::unique_ptr<ScriptInvoker> _invoker;
    std::shared_ptr<QJSEngine> _engine;
    QJSValue _wrap;       // turns a QObject script value into its guarded proxy
    QJSValue _trampoline; // calls a function and reports a throw of any value
    QJSValue _enableFeature;
    std::shared_ptr<IFileLoader> _fileLoader;
    std::shared_ptr<proto::DaliLookupTable> _daliLookupTable;
    std::chrono::milliseconds _timeBudget = defaultTimeBudget;
    int _depth = 0;
};

} // namespace tarvesk::core
