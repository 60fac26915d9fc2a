#include "service/rpc/rpc_methods/device/rpc_device_firmware_bl_spam.h"

#include "core/device.h"
#include "core/itf_error.h"
#include "core/network_interface.h"
#include "interfaces/bootloader/bootloader_proxy.h"
#include "log/logging_categories.h"
#include "service/json_rpc_exception.h"
#include "service/rpc_array.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <limits>

namespace tarvesk::service {

RpcDeviceFirmwareBlSpam::RpcDeviceFirmwareBlSpam()
    : RpcDeviceFirmware(QStringLiteral("device.firmware.blspam"))
{ }

QList<RpcRequestParameter> RpcDeviceFirmwareBlSpam::inputParameters() const
{
    using E = RpcRequestEnums;
    return {
        RpcRequestParameter(E::PARAM_SPAMTIME, 3000, false),
        RpcRequestParameter(E::PARAM_INTERFACE_TYPE, QStringLiteral("dorvane"), false),
        RpcRequestParameter(E::PARAM_DEVICE_ID, 1, false, E::TYPE_INTEGER),
    };
}

void RpcDeviceFirmwareBlSpam::validateInputParameters(RpcRequest* request)
{
    AbstractRpcMethod::validateInputParameters(request);
    RpcValue* given = request->getParam(QStringLiteral("spamtime"));
    int spamTime = 0;
    if (!wholeNumberIn(given, 0, std::numeric_limits<int>::max(), spamTime)) {
        QM_THROW_JSONRPC(QStringLiteral("Parameter 'spamtime' must be a whole number of milliseconds, not "
                                        "negative"),
            RPC_ERROR_INVALID_PARAMS);
    }
    if (spamTime > MaxSpamTimeMs) {
        QM_THROW_JSONRPC(QStringLiteral("Parameter 'spamtime' must be at most %1 milliseconds, a driver's "
                                        "bootloader answers well within that")
                             .arg(MaxSpamTimeMs),
            RPC_ERROR_INVALID_PARAMS);
    }
}

RpcMethodError RpcDeviceFirmwareBlSpam::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const int spamTime = request->getParam(QStringLiteral("spamtime"))->getIntegerValue();
    itf::BootloaderProxy* proxy = nullptr;
    getBootloaderProxy(request, &proxy, false);
    if (!proxy) {
        QM_THROW_JSONRPC(QStringLiteral("No bootloader proxy channel found to communicate with device."),
            RPC_ERROR_INTERNAL);
    }
    bool entered = false;
    int elapsed = -1;
    const int status = proxy->sendBootloaderSpam(spamTime, entered, elapsed);
    if (status != core::ITF_OK) {
        QM_THROW_JSONRPC(
            QStringLiteral("Bootloader spam function error: %1").arg(core::itfErrorToString(status)),
            RPC_ERROR_INTERNAL);
    }
    core::NetworkInterface* target = proxy->getTargetInterface();
    core::Device* owner = target ? target->getParentDevice() : nullptr;
    if (!owner || !owner->hasCapability(core::Device::CAP_VD_BOOTLOADER_SPAM_RELIABILITY_UPDATE)) {
        // Older interfaces may report a catch that did not happen: a datastore
        // read tells, but only the log hears about it.
        unsigned char bootloaderVersion = 0;
        unsigned short processorId = 0;
        try {
            proxy->readDataStore(bootloaderVersion, processorId);
        } catch (const JsonRpcException& e) {
            qCDebug(rpcServerMethod()).noquote()
                << QStringLiteral("Device responded but did not enter bootloader mode.\n stacktrace: %1")
                       .arg(e.message());
        }
    }
    qCDebug(rpcServerMethod()).noquote() << QStringLiteral("Elapsed time of %1ms").arg(elapsed);
    auto* result = new RpcObject;
    result->addChild(QStringLiteral("elapsed_time"), new RpcValue(elapsed));
    result->addChild(QStringLiteral("entered_bootloader"), new RpcValue(entered));
    auto* array = new RpcArray;
    array->addChild(result);
    response->setResultValue(array);
    return {};
}

} // namespace tarvesk::service
