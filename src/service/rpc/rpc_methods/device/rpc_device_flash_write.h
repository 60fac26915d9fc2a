#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_flash_base.h"

namespace tarvesk::service {

class RpcValue;

// "device.flash.write": stores up to 180 lightshape profile bytes in the
// driver's profile region and checks the firmware's status after it.
class RpcDeviceFlashWrite : public RpcDeviceFlashBase
{
    Q_OBJECT

public:
    RpcDeviceFlashWrite();

    QList<RpcRequestParameter> inputParameters() const override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;

    // "bytes" as a JSON array of integers 0..255, or as a text of such
    // integers separated by commas, optionally in one pair of brackets; ""
    // and "[]" are no bytes. Anything else throws -32602: a byte is never
    // guessed, cut or wrapped.
    static QList<int> profileBytes(RpcValue* given);
};

} // namespace tarvesk::service
