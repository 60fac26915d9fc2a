#pragma once

#include <QJsonValue>
#include <QString>

namespace tarvesk::service {
class AbstractRpcMethod;
}

namespace tarvesk::test {

// What one method call gave: its result, or the JSON-RPC error code and message.
struct MethodOutcome
{
    int code = 0;
    QString message;
    QJsonValue result;
};

// Runs one request of the method as the server runs it (the name check off).
// members is what follows "method" in the request object, e.g. `,"params":{}`
// or nothing.
MethodOutcome callMethodWith(service::AbstractRpcMethod& method, const QString& members);

// The same with params, the JSON text of "params".
MethodOutcome callMethod(service::AbstractRpcMethod& method, const QString& params);

} // namespace tarvesk::test
