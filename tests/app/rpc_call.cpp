#include "rpc_call.h"

#include "http_test_client.h"

#include <QJsonDocument>

namespace qmtest {

QJsonObject rpcCall(int port, const std::string& method, const QJsonValue& params)
{
    const QJsonObject request {
        {"jsonrpc", "2.0"}, {"id", 1}, {"method", QString::fromStdString(method)}, {"params", params}};
    HttpTestClient client(port);
    const HttpReply reply = client.request("POST", "/", {{"Content-Type", "application/json-rpc"}},
        QJsonDocument(request).toJson(QJsonDocument::Compact).toStdString());
    return QJsonDocument::fromJson(QByteArray::fromStdString(reply.body)).object();
}

} // namespace qmtest
