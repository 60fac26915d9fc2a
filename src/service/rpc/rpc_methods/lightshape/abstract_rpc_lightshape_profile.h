#pragma once

#include "service/rpc/rpc_methods/rpc_method.h"

#include <memory>

namespace tarvesk::service {

class AbstractLightshapeColorLibrary;

// Base of "lightshape.profile.create" and "lightshape.profile.verify": the
// declared lightshape inputs and the method's colour library, kept from
// request to request and replaced when a request asks for another "version".
class AbstractRpcLightshapeProfile : public AbstractRpcMethod
{
    Q_OBJECT

public:
    explicit AbstractRpcLightshapeProfile(const QString& name);
    ~AbstractRpcLightshapeProfile() override;

    QList<RpcRequestParameter> inputParameters() const override;

protected:
    // The library of the request's "version", configured with all of the
    // request's parameters (which runs its computation). The method keeps it.
    AbstractLightshapeColorLibrary* library(RpcRequest* request);

private:
    std::unique_ptr<AbstractLightshapeColorLibrary> _library;
};

} // namespace tarvesk::service
