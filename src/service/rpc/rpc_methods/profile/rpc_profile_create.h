#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

namespace tarvesk::core {
class Device;
class Profile;
} // namespace tarvesk::core

namespace tarvesk::service {

// "profile.create": a new profile in the store, with the parameters of a
// profile type as the type defines them, or filled from a device (its current
// or its default values).
class RpcProfileCreate : public AbstractRpcMethod
{
    Q_OBJECT

public:
    RpcProfileCreate();

    QList<RpcRequestParameter> inputParameters() const override;
    void validateInputParameters(RpcRequest* request) override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;

    // The requested name, or with "(n)" appended until no profile of the
    // store has it (case ignored).
    static QString uniqueName(const QString& requested);

private:
    core::Profile* fromProfileType(
        const QString& typeName, const QString& name, const QString& description) const;
    core::Profile* fromDevice(int deviceId, const QString& name, const QString& description,
        const QString& accessLevel, bool defaultValues) const;

    // Set by every validation, read by the handler of the same request.
    int _versionMajor;
    int _versionMinor;
};

} // namespace tarvesk::service
