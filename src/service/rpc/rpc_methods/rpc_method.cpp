#include "service/rpc/rpc_methods/rpc_method.h"

#include "log/logging_categories.h"
#include "service/database/abstract_database.h"
#include "service/json_rpc_exception.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"
#include "service/string_exception.h"

#include <QElapsedTimer>
#include <QJsonArray>

#include <cmath>
#include <limits>

namespace tarvesk::service {

QList<QString> AbstractRpcMethod::_commandNames;
bool AbstractRpcMethod::_apiMode = false;
std::shared_ptr<AbstractDatabase> AbstractRpcMethod::_database;

namespace {

// The production-test set: all that clients may call in API mode.
const char* const apiModeNames[] = {
    "system.listMethods",
    "uut.device.info",
    "uut.profiles.list",
    "uut.profile.program",
    "uut.profile.verify",
    "uut.device.convert.rb57",
    "device.create",
};

// Open to clients outside API mode, after the API-mode names.
const char* const normalModeNames[] = {
    "system.method.params.list",
    "application.param.get",
    "lightshape.profile.create",
    "lightshape.profile.verify",
    "marlowfinch.eeprom.read",
    "marlowfinch.test",
    "application.log",
    "application.param.set",
    "application.param.list",
    "application.restart",
    "application.reset",
    "application.quit",
    "device.firmware.upload",
    "device.firmware.verify",
    "device.firmware.blspam",
    "device.firmware.datastore.read",
    "device.firmware.datastore.write",
    "device.firmware.datastore.get",
    "device.firmware.datastore.set",
    "device.firmware.rawparam.get",
    "device.firmware.correct.checksums",
    "device.firmware.datastore.list",
    "device.firmware.do",
    "device.flash.write",
    "device.flash.read",
    "device.list",
    "device.param.get",
    "device.param.set",
    "device.params.set",
    "device.param.list",
    "device.rawparam.get",
    "device.rawparam.set",
    "device.firmware.modules.list",
    "device.profile.get",
    "device.profile.set",
    "device.profile.verify",
    "device.type.list",
    "device.log",
    "device.log.get",
    "device.ping",
    "profile.create",
    "profile.remove",
    "profile.list",
    "profile.type.list",
    "profile.type.param.create",
    "profile.type.param.list",
    "profile.param.list",
    "profile.param.get",
    "profile.param.set",
    "profile.update",
    "profile.duplicate",
    "profile.param.create",
    "profile.load",
    "profile.save",
    "script.run",
    "dali.send",
    "dmx.send",
    "dorvane.send",
    "spi.send",
    "usb.send",
    "scpi.send",
    "setpoint.send",
    "packet.query",
    "packet.create",
    "universe.search",
    "universe.list",
    "database.module.list",
    "database.module.get",
};

void checkDeclaredType(const RpcRequestParameter& declaration, const QJsonValue& json)
{
    const QString& name = declaration.name();
    switch (declaration.type()) {
    case RpcRequestEnums::TYPE_INTEGER:
    case RpcRequestEnums::TYPE_NUMBER: {
        if (!json.isDouble())
            QM_THROW_JSONRPC(
                QStringLiteral("parameter %1 must be an integer").arg(name), RPC_ERROR_INVALID_PARAMS);
        // The method will cast it to int: refuse what no int can hold.
        const double number = std::trunc(json.toDouble());
        if (!std::isfinite(number) || number < double(std::numeric_limits<int>::min())
            || number > double(std::numeric_limits<int>::max())) {
            QM_THROW_JSONRPC(QStringLiteral("parameter %1 must be an integer in the range %2..%3")
                                 .arg(name)
                                 .arg(std::numeric_limits<int>::min())
                                 .arg(std::numeric_limits<int>::max()),
                RPC_ERROR_INVALID_PARAMS);
        }
        break;
    }
    case RpcRequestEnums::TYPE_STRING:
        if (!json.isString())
            QM_THROW_JSONRPC(
                QStringLiteral("parameter %1 must be a string").arg(name), RPC_ERROR_INVALID_PARAMS);
        break;
    case RpcRequestEnums::TYPE_BOOL:
        if (!json.isBool())
            QM_THROW_JSONRPC(
                QStringLiteral("parameter %1 must be a boolean").arg(name), RPC_ERROR_INVALID_PARAMS);
        break;
    case RpcRequestEnums::TYPE_STRING_ARRAY: {
        if (!json.isArray()) {
            QM_THROW_JSONRPC(QStringLiteral("parameter %1 must be an array of strings").arg(name),
                RPC_ERROR_INVALID_PARAMS);
        }
        const QJsonArray array = json.toArray();
        for (const QJsonValue& element : array) {
            if (!element.isString()) {
                QM_THROW_JSONRPC(
                    QStringLiteral("parameter %1 must be an array of strings, not only items are strings")
                        .arg(name),
                    RPC_ERROR_INVALID_PARAMS);
            }
        }
        break;
    }
    default:
        break;
    }
}

void checkAllowedValues(const RpcRequestParameter& declaration, const RpcValue& value)
{
    const QList<QVariant>& allowed = declaration.allowedValues();
    if (allowed.isEmpty())
        return;
    const QVariant given = value.getVariantValue();
    if (allowed.contains(given))
        return;
    QString list;
    for (const QVariant& v : allowed)
        list += v.toString() + QLatin1Char(',');
    QM_THROW_JSONRPC(
        QStringLiteral("Invalid Parameter value %1 = %2. value must contain one of the following values: %3")
            .arg(declaration.name(), given.toString(), list),
        RPC_ERROR_INVALID_PARAMS);
}

} // namespace

AbstractRpcMethod::AbstractRpcMethod(const QString& name)
    : _name(name)
{
    if (_commandNames.isEmpty())
        setApiMode(false);
}

AbstractRpcMethod::~AbstractRpcMethod() = default;

void AbstractRpcMethod::setApiMode(bool apiMode)
{
    _apiMode = apiMode;
    _commandNames.clear();
    for (const char* name : apiModeNames)
        _commandNames.append(QString::fromLatin1(name));
    if (!apiMode) {
        for (const char* name : normalModeNames)
            _commandNames.append(QString::fromLatin1(name));
    }
}

bool AbstractRpcMethod::isValidCommand(const QString& name)
{
    if (_commandNames.isEmpty())
        setApiMode(false);
    return _commandNames.contains(name);
}

void AbstractRpcMethod::validateMethod(const QString& name)
{
    if (!_commandNames.contains(name))
        QM_THROW_JSONRPC(QStringLiteral("Invalid rpc method: %1").arg(name), RPC_ERROR_METHOD_NOT_FOUND);
}

void AbstractRpcMethod::setDatabase(std::shared_ptr<AbstractDatabase> database)
{
    _database = std::move(database);
}

void AbstractRpcMethod::validateInputParameters(RpcRequest* request)
{
    const QList<RpcRequestParameter> declarations = inputParameters();
    if (declarations.isEmpty()) {
        if (request->hasParameters()) {
            QM_THROW_JSONRPC(
                QStringLiteral("Method %1 does not accept parameters. remove params from request %1")
                    .arg(_name),
                RPC_ERROR_INVALID_PARAMS);
        }
        return;
    }
    // Declared parameters are named: positional or scalar params could
    // neither be checked nor take the declared defaults.
    if (!request->hasNamedParameters()) {
        QM_THROW_JSONRPC(
            QStringLiteral("Method %1 takes named parameters: params must be an object").arg(_name),
            RPC_ERROR_INVALID_PARAMS);
    }

    for (const RpcRequestParameter& declaration : declarations) {
        RpcValue* value = request->getParam(declaration.name());
        if (!value) {
            if (declaration.isRequired()) {
                QM_THROW_JSONRPC(
                    QStringLiteral("Parameter '%1' required for method %2").arg(declaration.name(), _name),
                    RPC_ERROR_INVALID_PARAMS);
            }
            if (declaration.defaultValue().isValid())
                request->addParameter(declaration.name(), new RpcValue(declaration.defaultValue()));
            continue;
        }
        checkDeclaredType(declaration, value->toJsonValue());
        checkAllowedValues(declaration, *value);
    }
}

RpcMethodError AbstractRpcMethod::execute(RpcRequest* request, RpcResponse* response, bool skipNameCheck)
{
    RpcMethodError result;
    int failureCode = RPC_ERROR_INTERNAL;
    QElapsedTimer timer;
    timer.start();

    try {
        if (!_database) {
            QM_THROW_STRING(QStringLiteral(
                "An instance of AbstractDatabase* must be provided to access product info and "
                "lookuptables.This "
                "information is required to execute any command. Use AbstractRpcMethod::setDatabase()"));
        }
        if (!request) {
            QM_THROW_JSONRPC(QStringLiteral("rpc request not provided for method '%1'").arg(_name),
                RPC_ERROR_INVALID_REQUEST);
        }
        if (!response)
            QM_THROW_JSONRPC(
                QStringLiteral("rpc response object must be provided!"), RPC_ERROR_INVALID_REQUEST);

        response->setIdFrom(*request);
        if (request->getMethodName() != _name) {
            QM_THROW_JSONRPC(
                QStringLiteral("Invalid request %1 for method '%2'").arg(request->getMethodName(), _name),
                RPC_ERROR_INVALID_REQUEST);
        }
        if (!skipNameCheck)
            validateMethod(request->getMethodName());
        validateInputParameters(request);
        result = handleRequest(request, response);
    } catch (const JsonRpcException& e) {
        // Code 0 would read as success.
        failureCode = e.code() != 0 ? e.code() : int(RPC_ERROR_INTERNAL);
        result = RpcMethodError(
            failureCode, QStringLiteral("Error executing method %1: %2").arg(_name, e.message()));
    } catch (const StringException& e) {
        result = RpcMethodError(
            RPC_ERROR_INTERNAL, QStringLiteral("Error executing method %1: %2").arg(_name, e.message()));
    } catch (...) {
        result = RpcMethodError(RPC_ERROR_INTERNAL,
            QStringLiteral("Unknown exception type occured while executing method %1").arg(_name));
    }

    if (result.isOk())
        return result;

    qCDebug(rpcServerMethod()).noquote()
        << QStringLiteral("FAILED to execute method %1 (%2 ms) with error %3")
               .arg(_name)
               .arg(timer.elapsed())
               .arg(result.getErrorMessage());
    qCDebug(rpcServerMethod()).noquote()
        << QStringLiteral("... END execute method ") + _name + QStringLiteral(" ...");
    // An error that handleRequest returned is an internal error whatever
    // code it carried; a thrown JsonRpcException keeps its own code.
    throw JsonRpcException(result.getErrorMessage(), failureCode);
}

} // namespace tarvesk::service
