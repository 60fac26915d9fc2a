#pragma once

#include "service/rpc_message.h"

#include <memory>

namespace tarvesk::service {

class RpcValue;
class RpcObject;
class RpcArray;

// One JSON-RPC request: the method name and its parameters. A new request
// has the id "0" and an empty object as its parameters.
class RpcRequest : public RpcMessage
{
public:
    explicit RpcRequest(const QString& methodName = QString());
    // Same method name, a deep copy of the parameters and the same critical
    // flag; id "0", no error, no raw text, a new creation time.
    RpcRequest(const RpcRequest& other);
    RpcRequest& operator=(const RpcRequest&) = delete;
    ~RpcRequest() override;

    RpcRequest* clone() const;

    const QString& getMethodName() const { return _methodName; }
    virtual void setMethodName(const QString& name);

    // The parameters as the client sent them (any JSON type), or null.
    RpcValue* getParameters() const { return _params.get(); }
    // The named member of object-valued parameters; null when the
    // parameters are absent, not an object (positional), or lack the name.
    RpcValue* getParam(const QString& name) const;
    // True when the parameters are an object with at least one member.
    bool hasParameters() const;
    bool hasParameter(const QString& name) const { return getParam(name) != nullptr; }
    // Whether the parameters are absent or an object, so that named
    // parameters can be added.
    bool hasNamedParameters() const;
    void removeParameter(const QString& name);
    // Adds the value under the name, replacing one held there, and takes
    // ownership. Absent parameters become an empty object first. Parameters
    // that are not an object are left alone: the value is deleted and false
    // returned (a client's positional parameters are never thrown away).
    bool addParameter(const QString& name, RpcValue* value);
    bool addParameter(const QString& name, RpcObject* value);
    bool addParameter(const QString& name, RpcArray* value);

    void setCriticalFlag(bool critical) { _critical = critical; }
    bool getCriticalFlag() const { return _critical; }

    unsigned int getMemorySize() const;

protected:
    bool checkRequiredFields(const QJsonObject& object) override;
    void createFields(QJsonObject& object) const override;
    void collectFields(JsonMembers& members) const override;

private:
    std::unique_ptr<RpcValue> _params;
    QString _methodName;
    bool _critical = false;
};

} // namespace tarvesk::service
