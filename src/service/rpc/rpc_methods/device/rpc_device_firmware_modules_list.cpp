#include "service/rpc/rpc_methods/device/rpc_device_firmware_modules_list.h"

#include "core/firmware.h"
#include "core/firmware_module.h"
#include "interfaces/bootloader/bootloader_proxy.h"
#include "log/logging_categories.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_types/rpc_type_firmware_module.h"
#include "service/rpc_array.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"

#include <memory>

namespace tarvesk::service {

namespace {

void appendModules(RpcArray& list, const core::Firmware& buffer, unsigned char deviceAddress)
{
    QList<core::FirmwareModule*> modules;
    buffer.getModuleList(modules);
    for (const core::FirmwareModule* module : modules)
        list.addChild(new RpcTypeFirmwareModule(module, deviceAddress));
}

} // namespace

RpcDeviceFirmwareModulesList::RpcDeviceFirmwareModulesList()
    : RpcDeviceFirmware(QStringLiteral("device.firmware.modules.list"))
{ }

QList<RpcRequestParameter> RpcDeviceFirmwareModulesList::inputParameters() const
{
    using E = RpcRequestEnums;
    return {
        RpcRequestParameter(E::PARAM_INTERFACE_TYPE, QStringLiteral("dorvane"), false),
        RpcRequestParameter(E::PARAM_DEVICE_ID, 1, false, E::TYPE_INTEGER),
    };
}

RpcMethodError RpcDeviceFirmwareModulesList::handleRequest(RpcRequest* request, RpcResponse* response)
{
    itf::BootloaderProxy* proxy = nullptr;
    getBootloaderProxy(request, &proxy, true);
    qCDebug(rpcServerMethod()).noquote() << QStringLiteral("Executing method \"%1\" through %2")
                                                .arg(getName(), proxy->getDeviceConnectionDescription());

    auto list = std::make_unique<RpcArray>();
    try {
        unsigned char bootloaderVersion = 0;
        unsigned short processorId = 0;
        proxy->searchModules(bootloaderVersion, processorId, 0);
        appendModules(*list, proxy->getInterfaceFirmwareBuffer(), 0);
        if (bootloaderVersion > LastSingleChipBootloader && proxy->searchDeviceAtAddress(SecondChipAddress)) {
            proxy->searchModules(bootloaderVersion, processorId, SecondChipAddress);
            appendModules(*list, proxy->getInterfaceFirmwareBuffer(), SecondChipAddress);
        }
    } catch (const JsonRpcException& e) {
        QM_RETHROW_JSONRPC(
            QStringLiteral("Could not execute search modules via bootloader.\n stacktrace: %1"), e);
    }
    response->setResultValue(list.release());
    return {};
}

} // namespace tarvesk::service
