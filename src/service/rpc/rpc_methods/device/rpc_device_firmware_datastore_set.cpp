#include "service/rpc/rpc_methods/device/rpc_device_firmware_datastore_set.h"

#include "core/device.h"
#include "core/firmware.h"
#include "core/network_interface.h"
#include "core/parameters/datastore/data_store.h"
#include "interfaces/bootloader/bootloader_proxy.h"
#include "protocol/packet_log.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_types/rpc_type_parameter.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

namespace {

// The names whose change makes the next write store the older calibration words.
bool isOldCalibrationName(const QString& pid)
{
    static const QStringList names = [] {
        QStringList list;
        for (const char* range : {"high_range_parm_", "low_range_parm_"}) {
            for (const char* suffix : {"a", "b", "d_minus_b", "e", "f", "g"})
                list << QLatin1String(range) + QLatin1String(suffix);
        }
        const QStringList first = list;
        for (const QString& name : first)
            list << name + QStringLiteral("_cs2");
        return list;
    }();
    return names.contains(pid, Qt::CaseSensitive);
}

} // namespace

RpcDeviceFirmwareDatastoreSet::RpcDeviceFirmwareDatastoreSet()
    : RpcDeviceFirmware(QStringLiteral("device.firmware.datastore.set"))
{ }

QList<RpcRequestParameter> RpcDeviceFirmwareDatastoreSet::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_PID, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_VALUE, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_INTERFACE_TYPE, QStringLiteral("dorvane"), false),
        RpcRequestParameter(RpcRequestEnums::PARAM_DEVICE_ID, 1, false, RpcRequestEnums::TYPE_INTEGER),
    };
}

RpcMethodError RpcDeviceFirmwareDatastoreSet::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const QString pid = request->getParam(QStringLiteral("pid"))->getStringValue();
    RpcValue* given = request->getParam(QStringLiteral("value"));
    itf::BootloaderProxy* proxy = nullptr;
    getBootloaderProxy(request, &proxy, false);
    if (!proxy) {
        QM_THROW_JSONRPC(QStringLiteral("No bootloader proxy channel found to communicate with device."),
            RPC_ERROR_INTERNAL);
    }
    core::DataStore* store = proxy->getInterfaceFirmwareBuffer().getDataStore();
    if (!store->getDatastoreParameters().contains(pid))
        QM_THROW_JSONRPC(QStringLiteral("Parameter '%1' not available").arg(pid), RPC_ERROR_INTERNAL);
    // Checked before anything changes: neither the value nor the calibration layout.
    QVariant value;
    const QString refusal = store->admitValue(pid, given->getVariantValue(), &value);
    if (!refusal.isEmpty())
        QM_THROW_JSONRPC(refusal, RPC_ERROR_INVALID_PARAMS);

    core::NetworkInterface* target = proxy->getTargetInterface();
    if (core::Device* owner = target ? target->getParentDevice() : nullptr)
        owner->getPacketLog()->info(QStringLiteral("DS set \"%1\" : %2").arg(pid, value.toString()));
    core::Parameter* parameter = store->setDSParameter(pid, value);
    if (!parameter)
        QM_THROW_JSONRPC(QStringLiteral("Parameter '%1' not available").arg(pid), RPC_ERROR_INTERNAL);
    if (isOldCalibrationName(pid))
        store->setOldCalibrationParametersInUse(true);
    response->setResultValue(new RpcTypeParameter(parameter));
    return {};
}

} // namespace tarvesk::service
