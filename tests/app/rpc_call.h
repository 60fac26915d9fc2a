#pragma once

#include <QJsonObject>
#include <QJsonValue>

#include <string>

namespace qmtest {

// One JSON-RPC 2.0 request (id 1) by POST to the service on 127.0.0.1:port;
// the reply object, or an empty object when the reply is no JSON object.
QJsonObject rpcCall(int port, const std::string& method, const QJsonValue& params = QJsonValue());
// The same with "params" given as JSON text, sent as it stands.
QJsonObject rpcCallText(int port, const std::string& method, const std::string& params = "{}");
// One step of a step search ("universe.search" with "search_method" "step") on the universe.
QJsonObject searchStep(int port, int universe, const char* stepName);
// A step search of the one gear on a DALI universe: its device id, or 0.
int commissionOneGear(int port, int universe);

} // namespace qmtest
