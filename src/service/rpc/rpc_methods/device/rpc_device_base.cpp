#include "service/rpc/rpc_methods/device/rpc_device_base.h"

#include "core/device.h"
#include "core/device_manager.h"
#include "core/network_interface.h"
#include "core/parameters/iparameter.h"
#include "service/json_rpc_exception.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_value.h"

#include <memory>

namespace tarvesk::service {

RpcDeviceBase::RpcDeviceBase(const QString& name)
    : AbstractRpcMethod(name)
{ }

RpcDeviceBase::~RpcDeviceBase() = default;

bool RpcDeviceBase::findDevice(int id, core::Device** device)
{
    *device = qobject_cast<core::Device*>(core::DeviceManager::instance().getItem(id));
    if (!*device)
        QM_THROW_JSONRPC(QStringLiteral("Device with id %1 not found").arg(id), RPC_ERROR_INTERNAL);
    core::NetworkInterface* itf = (*device)->getInterface();
    if (!itf) {
        QM_THROW_JSONRPC(
            QStringLiteral("Interface type for Device with id %1 not found").arg(id), RPC_ERROR_INTERNAL);
    }
    // A device behind an interface device that is gone is gone too.
    core::Device* parent = itf->getParentDevice();
    if (parent && !parent->isConnected())
        (*device)->deviceDisconnect();
    if (!(*device)->isConnected())
        QM_THROW_JSONRPC(QStringLiteral("Device with id %1 not connected").arg(id), RPC_ERROR_INTERNAL);
    return true;
}

void RpcDeviceBase::findParameter(core::Device* device, RpcValue* pid, core::IParameter** parameter)
{
    const QString text = pid ? pid->getStringValue() : QString();
    if (!device)
        QM_THROW_JSONRPC(QStringLiteral("Internal error, no device..."), RPC_ERROR_INTERNAL);
    *parameter = device->getParameterInterface(text);
    if (!*parameter)
        QM_THROW_JSONRPC(
            QStringLiteral("Parameter with pid \"%1\" not found").arg(text), RPC_ERROR_INVALID_PARAMS);
}

int RpcDeviceBase::getDebugLevel(RpcRequest* request) const
{
    RpcValue* level = request->getParam(QStringLiteral("debug_level"));
    if (!level)
        return 0;
    bool ok = false;
    const int value = level->toInteger(&ok);
    return ok ? value : 0;
}

core::Device* RpcDeviceBase::deviceOf(RpcRequest* request)
{
    core::Device* device = nullptr;
    findDevice(request->getParam(QStringLiteral("device_id"))->getIntegerValue(), &device);
    return device;
}

void RpcDeviceBase::throwConnectionLost(core::Device* device)
{
    QM_THROW_JSONRPC(
        QStringLiteral("Connection lost with device %1: %2").arg(device->getId()).arg(device->getName()),
        RPC_ERROR_SERVER);
}

bool RpcDeviceBase::updateFlagOf(RpcRequest* request)
{
    RpcValue* update = request->getParam(QStringLiteral("update"));
    if (!update)
        return true;
    std::unique_ptr<RpcValue> read(update->clone());
    if (!read->convertToBool())
        QM_THROW_JSONRPC(QStringLiteral("parameter update must be a boolean"), RPC_ERROR_INVALID_PARAMS);
    return read->getBoolValue();
}

} // namespace tarvesk::service
