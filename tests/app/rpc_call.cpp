#include "rpc_call.h"

#include "http_test_client.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace qmtest {

QJsonObject rpcCall(int port, const std::string& method, const QJsonValue& params)
{
    const QByteArray text = params.isObject()
        ? QJsonDocument(params.toObject()).toJson(QJsonDocument::Compact)
        : params.isArray() ? QJsonDocument(params.toArray()).toJson(QJsonDocument::Compact)
                           : QByteArray("null");
    return rpcCallText(port, method, text.toStdString());
}

QJsonObject rpcCallText(int port, const std::string& method, const std::string& params)
{
    HttpTestClient client(port);
    const HttpReply reply = client.request(
        "POST", "/", {{"Content-Type", "application/json-rpc"}}, rpcBody(method, "1", params));
    return QJsonDocument::fromJson(QByteArray::fromStdString(reply.body)).object();
}

QJsonObject searchStep(int port, int universe, const char* stepName)
{
    const std::string params = R"({"universe_id": )" + std::to_string(universe)
        + R"(, "search_method": "step", "search_step_name": ")" + stepName + R"("})";
    return rpcCallText(port, "universe.search", params);
}

int commissionOneGear(int port, int universe)
{
    if (!searchStep(port, universe, "initialise_all").contains("result"))
        return 0;
    int device = 0;
    for (int request = 0; request < 8; ++request) {
        const QJsonArray found = searchStep(port, universe, "search_single").value("result").toArray();
        if (found.isEmpty())
            break;
        device = found.first().toObject().value("device_id").toInt();
    }
    return searchStep(port, universe, "end_search").contains("result") ? device : 0;
}

} // namespace qmtest
