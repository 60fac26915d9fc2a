#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_base.h"

namespace tarvesk::core {
class GroupFilter;
}

namespace tarvesk::service {

// Fills the filter from the request's "group_filter": an object {"groups":
// [...], "operation": "in" | "not_in"}; anything else selects the default,
// which leaves out the D4i memory-bank groups. An empty "groups" list keeps
// the filter as given. Throws JsonRpcException -32602 for a malformed object.
void validateGroupFilter(RpcRequest* request, core::GroupFilter* filter);

// "device.param.list": the parameters of a device that the access level and
// the group filter admit, read from the device or as held.
class RpcDeviceParamList : public RpcDeviceBase
{
    Q_OBJECT

public:
    RpcDeviceParamList();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
