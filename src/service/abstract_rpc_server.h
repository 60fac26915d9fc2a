#pragma once

#include "service/rpc_method_error.h"

#include <QObject>

namespace tarvesk::service {

class RpcRequest;
class RpcResponse;

// A JSON-RPC server driven by signals: a request comes in through received(),
// the server's handleRequest fills a fresh response, and send() hands it on.
// The response lives until send() has returned, so receivers read it in a
// direct connection and keep what they need.
class AbstractRpcServer : public QObject
{
    Q_OBJECT

public:
    explicit AbstractRpcServer(QObject* parent = nullptr);
    ~AbstractRpcServer() override;

    virtual RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) = 0;

public slots:
    void received(RpcRequest* request);

signals:
    void send(RpcResponse* response);
};

} // namespace tarvesk::service
