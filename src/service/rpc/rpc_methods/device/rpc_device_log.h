#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_base.h"

namespace tarvesk::service {

// "device.log": a client's text entry in a device's packet log, at the level
// "info", "warning" or "error"; any other level writes nothing.
class RpcDeviceLog : public RpcDeviceBase
{
    Q_OBJECT

public:
    RpcDeviceLog();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

// "device.log.get": one page of a device's packet log, at most "count"
// entries from "from_packet", with the number of entries after them.
class RpcDeviceLogGet : public RpcDeviceBase
{
    Q_OBJECT

public:
    RpcDeviceLogGet();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;
};

} // namespace tarvesk::service
