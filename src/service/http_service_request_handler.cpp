#include "service/http_service_request_handler.h"

#include "log/logging_categories.h"
#include "network/http_request.h"
#include "network/http_response.h"
#include "service/quinmark_rpc_server.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"
#include "service/service_request.h"

#include <QDebug>

namespace tarvesk::service {

HttpServiceRequestHandler::HttpServiceRequestHandler(
    std::shared_ptr<QuinmarkRpcServer> rpcServer, bool withoutLock, int debugLevel)
    : debugLevel(debugLevel)
    , withoutLock(withoutLock)
    , rpcServer(std::move(rpcServer))
{ }

void HttpServiceRequestHandler::registerServiceHandler(
    const std::string& path, std::shared_ptr<ServiceRequest> handler)
{
    qCDebug(loggerGlog()).noquote() << QStringLiteral("Registering service handler for URL path \"%1\".")
                                           .arg(QString::fromStdString(path));
    serviceHandlers[path] = std::move(handler);
}

std::unique_lock<std::mutex> HttpServiceRequestHandler::requestLock()
{
    return withoutLock ? std::unique_lock<std::mutex>(mutex, std::defer_lock)
                       : std::unique_lock<std::mutex>(mutex);
}

network::HttpResponse* HttpServiceRequestHandler::handleRequest(network::HttpRequest* request)
{
    if (debugLevel >= 2)
        request->debugPrint();
    auto* response = new network::HttpResponse;
    const QString method = request->getMethod();
    if (method == QLatin1String("POST")) {
        handleHttpPost(request, response);
        // Its values are freed by now; the memory of a large one goes back
        // to the system after the reply (HttpRequest), not into this thread's keep.
        if (request->getUploadData().size() >= network::HttpRequest::ReleaseMemoryBodySize)
            RpcValue::releaseKeptBlocks();
    } else if (method == QLatin1String("GET") || method == QLatin1String("HEAD"))
        handleHttpGet(request, response);
    else
        response->setStatusCode(405);
    if (debugLevel >= 2)
        response->debugPrint();
    return response;
}

void HttpServiceRequestHandler::handleHttpPost(
    const network::HttpRequest* request, network::HttpResponse* response)
{
    const QString contentType = request->getHeaderItem(QStringLiteral("Content-Type"));
    if (!contentType.contains(QLatin1String("application/json-rpc"))
        && !contentType.contains(QLatin1String("application/x-www-form-urlencoded"))) {
        qCCritical(loggerGlog()).noquote()
            << GLOG_PREFIX
            << QStringLiteral(
                   "JSON RPC internal server error: Content-Type \"%1\" not accepted as POST request")
                   .arg(contentType);
        response->setStatusCode(403);
        return;
    }
    response->setContentType(QStringLiteral("application/json-rpc"));

    QByteArray body = request->getUploadData();
    const int nul = body.indexOf('\0');
    if (nul >= 0)
        body.truncate(nul);
    std::unique_lock<std::mutex> largeBody(largeBodyMutex, std::defer_lock);
    if (body.size() >= network::HttpRequest::ReleaseMemoryBodySize && !withoutLock)
        largeBody.lock();

    RpcResponse rpcResponse;

    if (body.isEmpty()) {
        rpcResponse.error(RPC_ERROR_PARSE, QString());
        response->setStatusCode(500);
    } else {
        RpcRequest rpcRequest {QString()};
        if (!rpcRequest.parseJsonRpcUtf8(body)) {
            // Envelope faults are answered without an id: it may not have been read.
            switch (rpcRequest.getErrorCode()) {
            case RPC_ERROR_INVALID_REQUEST:
                qCCritical(loggerGlog()) << GLOG_PREFIX << "JSON RPC invalid request error";
                rpcResponse.error(RPC_ERROR_INVALID_REQUEST, rpcRequest.getErrorString());
                response->setStatusCode(400);
                break;
            case RPC_ERROR_PARSE:
                qCCritical(loggerGlog()) << GLOG_PREFIX << "JSON RPC request parse error";
                rpcResponse.error(RPC_ERROR_PARSE, rpcRequest.getErrorString());
                response->setStatusCode(500);
                break;
            default:
                qCCritical(loggerGlog()) << GLOG_PREFIX << "JSON RPC internal server error";
                rpcResponse.error(RPC_ERROR_INTERNAL, rpcRequest.getErrorString());
                response->setStatusCode(500);
                break;
            }
        } else {
            if (debugLevel >= 1)
                qCDebug(loggerGlog()).noquote()
                    << QStringLiteral("[ *** JSON RPC method \"%1\" ***").arg(rpcRequest.getMethodName());
            RpcMethodError result(RPC_ERROR_INTERNAL, QStringLiteral("No RPC server installed"));
            if (rpcServer) {
                const auto lock = requestLock();
                result = rpcServer->handleRequest(&rpcRequest, &rpcResponse);
            }
            if (result.isError()) {
                rpcResponse.setIdFrom(rpcRequest);
                rpcResponse.error(result.getErrorCode(), result.getErrorMessage());
                response->setStatusCode(500);
            } else {
                response->setStatusCode(200);
            }
            if (debugLevel >= 1)
                qCDebug(loggerGlog()) << "*** ]";
        }
    }
    response->setData(rpcResponse.serializeToUtf8(QJsonDocument::Indented));
}

void HttpServiceRequestHandler::handleHttpGet(network::HttpRequest* request, network::HttpResponse* response)
{
    if (debugLevel >= 1)
        qCDebug(loggerGlog()).noquote()
            << QStringLiteral("Handling HTTP GET request: %1").arg(request->getURL().toString());
    QString path = request->getURL().path(QUrl::FullyDecoded);
    if (path.isEmpty() || path == QLatin1String("/")) {
        const bool apiMode = rpcServer && rpcServer->isApiMode();
        path
            = apiMode ? QStringLiteral("/data/html/api/index.html") : QStringLiteral("/data/html/index.html");
        request->setUrlPath(path);
    }
    const std::string bytes = path.toStdString();
    for (const auto& [key, handler] : serviceHandlers) {
        if (bytes.find(key) != std::string::npos) {
            std::unique_lock<std::mutex> lock;
            if (handler->needsRequestLock())
                lock = requestLock();
            handler->handleRequest(request, response);
            return;
        }
    }
    qCWarning(loggerGlog()) << "No file request handler installed to perfom http GET request: " << path;
    response->setStatusCode(404);
}

} // namespace tarvesk::service
