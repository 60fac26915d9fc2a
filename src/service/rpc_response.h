#pragma once

#include "service/rpc_message.h"

#include <QVariant>

#include <memory>

namespace tarvesk::service {

class RpcValue;
class RpcObject;
class RpcArray;

// One JSON-RPC response: a result and an optional debug value, or an error.
class RpcResponse : public RpcMessage
{
public:
    RpcResponse();
    ~RpcResponse() override;

    RpcResponse(const RpcResponse&) = delete;
    RpcResponse& operator=(const RpcResponse&) = delete;

    bool hasResult() const { return _result != nullptr; }
    // Take ownership; the previous value is deleted unless it is the same.
    void setResultValue(RpcValue* value);
    void setResultValue(RpcObject* value);
    void setResultValue(RpcArray* value);
    void setDebugValue(RpcValue* value);

    // The member under key of an object result, else the whole result. The
    // response always keeps ownership of what it returns, also when there is
    // no result: then it is an undefined value held by the response. Never null.
    RpcValue* getResult(const QString& key = QString());
    // The result as JSON: a QJsonArray for an array result, otherwise a
    // QJsonObject (empty when the result is no object or there is none).
    QVariant getQJsonResult() const;

    unsigned int getMemorySize() const;

protected:
    bool checkRequiredFields(const QJsonObject& object) override;
    void createFields(QJsonObject& object) const override;
    void collectFields(JsonMembers& members) const override;

private:
    std::unique_ptr<RpcValue> _result;
    std::unique_ptr<RpcValue> _debug;
    std::unique_ptr<RpcValue> _noResult; // what getResult answers without a result
};

} // namespace tarvesk::service
