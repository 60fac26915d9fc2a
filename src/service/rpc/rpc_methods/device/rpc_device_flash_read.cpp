#include "service/rpc/rpc_methods/device/rpc_device_flash_read.h"

#include "core/memory/lightshape_ram_buffer_memory_read_write.h"
#include "service/rpc_object.h"
#include "service/rpc_response.h"

namespace tarvesk::service {

RpcDeviceFlashRead::RpcDeviceFlashRead()
    : RpcDeviceFlashBase(QStringLiteral("device.flash.read"))
{ }

QList<RpcRequestParameter> RpcDeviceFlashRead::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_DEVICE_ID, 0, true, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_REGION, QStringLiteral("light_shape"), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_SKIP_ENTERBL, false, false),
        RpcRequestParameter(RpcRequestEnums::PARAM_EXTRA, 0, false),
    };
}

RpcMethodError RpcDeviceFlashRead::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const auto memory
        = profileMemory(request, QStringLiteral("flash reads via bootloader are not yet supported!"));
    // A non-zero status is the firmware's word on the last write, shown, not an error here.
    memoryWork([&] {
        response->setResultValue(
            reply(*memory, memory->dump(true, core::LightShapeRamBufferMemoryReadWrite::DUMP_ALL)));
    });
    return {};
}

} // namespace tarvesk::service
