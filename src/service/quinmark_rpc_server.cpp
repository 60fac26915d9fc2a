#include "service/quinmark_rpc_server.h"

#include "core/item.h"
#include "log/logging_categories.h"
#include "service/database/abstract_database.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/rpc_method.h"
#include "service/rpc/rpc_methods/rpc_method_factory.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/string_exception.h"

#include <string>

namespace tarvesk::service {

QuinmarkRpcServer::QuinmarkRpcServer(bool apiMode, bool firmwareCache, Dependencies dependencies)
    : _apiMode(apiMode)
    , _firmwareCache(firmwareCache)
    , _dependencies(std::move(dependencies))
{ }

QuinmarkRpcServer::~QuinmarkRpcServer()
{
    _methodFactory.reset();
    if (_usbUniverse && _dependencies.releaseUsbUniverse)
        _dependencies.releaseUsbUniverse(_usbUniverse);
    // The method framework must not keep a database whose server has ended.
    if (_database && AbstractRpcMethod::database() == _database)
        AbstractRpcMethod::setDatabase(nullptr);
}

bool QuinmarkRpcServer::init()
{
    try {
        if (_dependencies.database) {
            _database = _dependencies.database();
            if (!_database)
                QM_THROW_STRING(QStringLiteral("The product database could not be created"));
            if (!_database->initialize(_firmwareCache))
                return false;
        } else {
            qCWarning(rpcServer()) << "No product database installed; methods will report it missing";
        }
        AbstractRpcMethod::setDatabase(_database);
        AbstractRpcMethod::setApiMode(_apiMode);
        _methodFactory = _dependencies.methodFactory ? _dependencies.methodFactory()
                                                     : std::make_unique<RpcMethodCachedFactory>();
        if (!_methodFactory)
            QM_THROW_STRING(QStringLiteral("The method factory could not be created"));
        initUsbUniverse();
    } catch (const QString& text) {
        qCInfo(rpcServer()).noquote() << text;
        return false;
    } catch (const std::string& text) {
        qCInfo(rpcServer()).noquote() << QString::fromStdString(text);
        return false;
    } catch (const char* text) {
        qCInfo(rpcServer()).noquote() << QString::fromUtf8(text);
        return false;
    } catch (const StringException& e) {
        qCDebug(rpcServer()).noquote() << e.message();
        return false;
    } catch (...) {
        qCDebug(rpcServer()) << "Unknown exception occurred while initializing QuinmarkRpcServer ";
        return false;
    }
    qCDebug(rpcServer()) << "Initialized QuinmarkRpcServer";
    return true;
}

void QuinmarkRpcServer::initUsbUniverse()
{
    qCDebug(rpcServer()) << "Creating USB universe";
    if (!_dependencies.createUsbUniverse) {
        qCWarning(rpcServer()) << "No USB universe installed; the service runs without USB interfaces";
        return;
    }
    _usbUniverse = _dependencies.createUsbUniverse(QStringLiteral("USB"));
}

QString QuinmarkRpcServer::clientMessage(const QString& message) const
{
    if (!_apiMode)
        return message;
    // API-mode clients do not see where in the source a failure arose.
    const int at = message.indexOf(QLatin1Char('@'));
    return at < 0 ? message : message.left(at);
}

RpcMethodError QuinmarkRpcServer::handleRequest(RpcRequest* request, RpcResponse* response)
{
    RpcMethodError result(0, QString());
    try {
        if (!_methodFactory)
            QM_THROW_STRING(QStringLiteral("The RPC server is not initialised"));
        AbstractRpcMethod* method = _methodFactory->create(request);
        result = method->execute(request, response, false);
    } catch (const JsonRpcException& e) {
        result
            = RpcMethodError(e.code() != 0 ? e.code() : int(RPC_ERROR_INTERNAL), clientMessage(e.message()));
    } catch (const StringException& e) {
        result = RpcMethodError(RPC_ERROR_INTERNAL, clientMessage(e.message()));
    } catch (...) {
        result = RpcMethodError(RPC_ERROR_INTERNAL,
            QStringLiteral("Unknown exception occurred while executing '%1'")
                .arg(request ? request->getMethodName() : QString()));
    }
    if (result.isError()) {
        qCInfo(rpcServer()).noquote() << result.getErrorMessage();
        if (response) {
            if (request)
                response->setIdFrom(*request);
            response->error(result.getErrorCode(), result.getErrorMessage());
        }
    }
    return result;
}

} // namespace tarvesk::service
