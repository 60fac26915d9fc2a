#include "core/script/script_engine.h"

#include "core/core_errors.h"
#include "core/database/device_info_record.h"
#include "core/device.h"
#include "core/file/ifile_loader.h"
#include "core/network_interface.h"
#include "core/parameters/iparameter.h"
#include "core/parameters/parameter.h"
#include "core/parameters/raw_parameter_interface.h"
#include "core/profile/iprofile_type_parameters.h"
#include "core/profile/profile_type_parameters.h"
#include "core/script/script_engine_thread.h"
#include "core/script/script_invoker.h"
#include "core/script/script_watchdog.h"
#include "protocol/dali/dali_lookup_table.h"

#include <QJSEngine>
#include <QQmlEngine>

namespace tarvesk::core {

namespace {

const std::vector<std::string> libraryFiles = {
    "data/product_database/constants.js",
    "data/product_database/error.js",
    "data/product_database/functions.js",
};

// Calls a function and reports a throw of any value (not only Error objects,
// which are all that QJSValue::call can tell apart from a plain result).
const char* const trampolineSource = R"JS(
(function (fn, args) {
    try {
        return { ok: true, value: fn.apply(null, args) };
    } catch (e) {
        return { ok: false, error: e };
    }
})
)JS";

[[noreturn]] void throwScriptError(const QString& text)
{
    throw ScriptError(text.toStdString());
}

} // namespace

ScriptEngine::ScriptEngine(
    std::shared_ptr<IFileLoader> fileLoader, std::shared_ptr<proto::DaliLookupTable> daliLookupTable)
    : _fileLoader(std::move(fileLoader))
    , _daliLookupTable(std::move(daliLookupTable))
{
    qRegisterMetaType<IParameter*>("tarvesk::core::IParameter *");
    qRegisterMetaType<Parameter*>("tarvesk::core::Parameter *");
    // The pointer types of the script-visible signatures of this subsystem.
    qRegisterMetaType<IProfileTypeParameters*>();
    qRegisterMetaType<IDeviceInfoRecord*>();
    qRegisterMetaType<DeviceInfoRecord*>();
    qRegisterMetaType<Device*>();
    qRegisterMetaType<NetworkInterface*>();
    qRegisterMetaType<RawParameterInterface*>();
    // Fixed-width names that script-visible signatures use for plain integers.
    qRegisterMetaType<uint8_t>("uint8_t");
    qRegisterMetaType<uint16_t>("uint16_t");
    qRegisterMetaType<uint32_t>("uint32_t");
    qRegisterMetaType<int32_t>("int32_t");
}

ScriptEngine::~ScriptEngine()
{
    _enableFeature = QJSValue();
    _wrap = QJSValue();
    _trampoline = QJSValue();
    if (!_thread)
        return;
    // The engine goes first (its wrappers refer to the invoker), on its own
    // thread, once the values let go elsewhere are freed.
    _thread->runQueuedCalls();
    _thread->run([this] {
        _engine.reset();
        _invoker.reset();
    });
}

void ScriptEngine::initializeJavaScriptEngine()
{
    // Not the thread that makes it: a request's connection thread runs no
    // event loop and ends with its connection, so the releases queued for it
    // would never run. Nor the application's thread: its event loop would run
    // them while a request runs a script, which corrupts the engine.
    if (!_thread)
        _thread = std::make_unique<ScriptEngineThread>();
    _engine = std::make_shared<QJSEngine>();
    _engine->moveToThread(_thread->thread());
    _engine->installExtensions(QJSEngine::ConsoleExtension);
    _invoker = std::make_unique<ScriptInvoker>(_engine.get());
    _invoker->moveToThread(_thread->thread());
    _wrap = _invoker->createWrapFunction();
    _trampoline = _engine->evaluate(QString::fromLatin1(trampolineSource));
    if (!_wrap.isCallable() || !_trampoline.isCallable())
        throwScriptError(QStringLiteral("Failed to set up the script engine"));
}

QJSValue ScriptEngine::createOwnedArgument(QObject* object)
{
    if (!_engine)
        initializeJavaScriptEngine();
    if (!object)
        throwScriptError(QStringLiteral("Failed to create QJSValue from QObject: nullptr"));
    QQmlEngine::setObjectOwnership(object, QQmlEngine::CppOwnership);
    return _wrap.call({_engine->newQObject(object)});
}

void ScriptEngine::initializeJavaScriptLibraryFunctions()
{
    loadIncludes(_fileLoader, libraryFiles);
    loadDaliLookupTable(_daliLookupTable);
    _enableFeature = createEnableFeatureFunction();
}

void ScriptEngine::loadIncludes(
    const std::shared_ptr<IFileLoader>& fileLoader, const std::vector<std::string>& names)
{
    for (const std::string& name : names)
        includeFile(fileLoader, name);
}

void ScriptEngine::includeFile(const std::shared_ptr<IFileLoader>& fileLoader, const std::string& name)
{
    if (!fileLoader)
        throwScriptError(QStringLiteral("No file loader for \"%1\"").arg(QString::fromStdString(name)));
    const QByteArray bytes = fileLoader->loadFile(name);
    const int end = bytes.indexOf('\0');
    const QString program = QString::fromUtf8(end < 0 ? bytes : bytes.left(end));
    const QJSValue result = runWithBudget([&] { return _engine->evaluate(program, QString(), 1); });
    if (result.isError())
        throwScriptError(QStringLiteral("invalid js file format \"%1\": %2")
                             .arg(QString::fromStdString(name), result.toString()));
}

void ScriptEngine::loadDaliLookupTable(const std::shared_ptr<proto::DaliLookupTable>& table)
{
    if (!table)
        return;
    _engine->globalObject().setProperty(
        QStringLiteral("dali_lookup_table"), createOwnedArgument(table.get()));
}

QJSValue ScriptEngine::createEnableFeatureFunction() const
{
    const QJSValue function = _engine->globalObject().property(QStringLiteral("enableFeature"));
    if (!function.isCallable())
        throwScriptError(
            QStringLiteral("Javascript \"enableFeature\" function in \"functions.js\" is not callable"));
    return function;
}

void ScriptEngine::enableFeature(
    IProfileTypeParameters* parameters, IDeviceInfoRecord* record, const std::string& featureName)
{
    if (!_engine)
        initializeJavaScriptEngine();
    if (!isJavaScriptLibraryInitialized())
        initializeJavaScriptLibraryFunctions();

    const QString name = QString::fromStdString(featureName);
    const QJSValueList arguments {
        createOwnedArgument(parameters), createOwnedArgument(record), QJSValue(name)};
    const QJSValue outcome = callFunction(_enableFeature, arguments);
    if (outcome.isError()) {
        throwScriptError(
            QStringLiteral("Error enabling feature '%1' for profile : %2\n%3 : %4")
                .arg(name, outcome.toString(), outcome.property(QStringLiteral("lineNumber")).toString(),
                    outcome.property(QStringLiteral("columnNumber")).toString()));
    }
    if (outcome.isBool() && !outcome.toBool())
        throwScriptError(
            QStringLiteral("Error enabling feature '%1' for profile : %2").arg(name, outcome.toString()));
}

QJSValue ScriptEngine::callFunction(const QJSValue& function, const QJSValueList& arguments)
{
    if (!_engine)
        initializeJavaScriptEngine();
    // Frees what the call and the steps before it let go, also when it throws.
    struct Release
    {
        ScriptEngine* engine;
        ~Release() { engine->releaseDroppedValues(); }
    } release {this};
    return callThroughTrampoline(function, arguments);
}

void ScriptEngine::releaseDroppedValues()
{
    if (_thread && _depth == 0)
        _thread->runQueuedCalls();
}

QJSValue ScriptEngine::callThroughTrampoline(const QJSValue& function, const QJSValueList& arguments)
{
    QJSValue args = _engine->newArray(uint(arguments.size()));
    for (int i = 0; i < arguments.size(); ++i)
        args.setProperty(quint32(i), arguments[i]);
    const QJSValue outcome = runWithBudget([&] { return _trampoline.call({function, args}); });
    if (outcome.isError())
        return outcome;
    if (outcome.property(QStringLiteral("ok")).toBool())
        return outcome.property(QStringLiteral("value"));
    const QJSValue error = outcome.property(QStringLiteral("error"));
    if (error.isError())
        return error;
    // A thrown value that is not an Error object still is an error.
    QJSValue wrapped
        = _engine->evaluate(QStringLiteral("(function (v) { return new Error(String(v)); })")).call({error});
    return wrapped;
}

QJSValue ScriptEngine::runWithBudget(const std::function<QJSValue()>& run)
{
    if (!_watchdog)
        _watchdog = std::make_unique<ScriptWatchdog>();
    const bool outermost = _depth == 0;
    if (outermost)
        _watchdog->arm(_engine.get(), _timeBudget);
    ++_depth;
    const QJSValue result = run();
    --_depth;
    if (outermost && _watchdog->disarm()) {
        _engine->setInterrupted(false);
        throwScriptError(
            QStringLiteral("Script stopped after its time budget of %1 ms").arg(_timeBudget.count()));
    }
    return result;
}

} // namespace tarvesk::core
