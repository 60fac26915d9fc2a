#pragma once

#include "service/rpc/rpc_methods/rpc_request_parameter.h"
#include "service/rpc_method_error.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

namespace tarvesk::service {

class AbstractDatabase;
class RpcRequest;
class RpcResponse;

// Base of every JSON-RPC method. Holds what all methods share: the names
// clients may call (which depend on the API mode), the product database, the
// check of the declared parameters, and execute(), which runs one request
// through the checks and the method's own work and turns every failure into
// a JsonRpcException with its JSON-RPC error code.
//
// The class-wide state is set at start-up, before requests are served;
// requests reach execute() one at a time (the HTTP handler's mutex).
class AbstractRpcMethod : public QObject
{
    Q_OBJECT

public:
    explicit AbstractRpcMethod(const QString& name);
    ~AbstractRpcMethod() override;

    const QString& getName() const { return _name; }

    // Runs one request. skipNameCheck lets a method run another in-process
    // although its name is not open to clients in the current API mode.
    // Returns success, or throws JsonRpcException with the failure's code and
    // the message "Error executing method <name>: <reason>".
    RpcMethodError execute(RpcRequest* request, RpcResponse* response, bool skipNameCheck);

    // The declarations of the method's named parameters, in check order.
    virtual QList<RpcRequestParameter> inputParameters() const = 0;
    // The default check of the declared parameters; throws JsonRpcException
    // -32602. Overrides with rules of their own call it as well.
    virtual void validateInputParameters(RpcRequest* request);
    // The method's own work: fills the response's result.
    virtual RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) = 0;

    // Sets the API mode and rebuilds the allowed-name list for it.
    static void setApiMode(bool apiMode);
    static bool isApiMode() { return _apiMode; }
    // Whether clients may call the name (fills the list for the normal mode
    // when it is still empty).
    static bool isValidCommand(const QString& name);
    static const QList<QString>& commandNames() { return _commandNames; }
    // Throws JsonRpcException -32601 unless the list holds the name.
    static void validateMethod(const QString& name);

    static void setDatabase(std::shared_ptr<AbstractDatabase> database);
    static const std::shared_ptr<AbstractDatabase>& database() { return _database; }

protected:
    static QList<QString> _commandNames;
    static bool _apiMode;
    static std::shared_ptr<AbstractDatabase> _database;

private:
    const QString _name;
};

} // namespace tarvesk::service
