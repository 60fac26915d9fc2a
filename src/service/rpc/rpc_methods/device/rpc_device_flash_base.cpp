#include "service/rpc/rpc_methods/device/rpc_device_flash_base.h"

#include "core/core_errors.h"
#include "core/device.h"
#include "core/device_manager.h"
#include "core/memory/lightshape_ram_buffer_memory_read_write.h"
#include "core/parameters/raw_parameter_interface.h"
#include "service/json_rpc_exception.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_value.h"

namespace tarvesk::service {

namespace {

const QString kLightShape = QStringLiteral("light_shape");

} // namespace

RpcDeviceFlashBase::RpcDeviceFlashBase(const QString& name)
    : AbstractRpcMethod(name)
{ }

RpcDeviceFlashBase::~RpcDeviceFlashBase() = default;

std::unique_ptr<core::LightShapeRamBufferMemoryReadWrite> RpcDeviceFlashBase::profileMemory(
    RpcRequest* request, const QString& bootloaderRefusal, const std::function<void()>& beforeChecks)
{
    const int id = request->getParam(QStringLiteral("device_id"))->getIntegerValue();
    auto* device = qobject_cast<core::Device*>(core::DeviceManager::instance().getItem(id));
    if (!device)
        QM_THROW_JSONRPC(QStringLiteral("device %1 does not exist.").arg(id), RPC_ERROR_INTERNAL);
    RpcValue* regionValue = request->getParam(QStringLiteral("region"));
    const QString region = regionValue ? regionValue->getStringValue() : QString();
    if (beforeChecks)
        beforeChecks();
    RpcValue* skip = request->getParam(QStringLiteral("skip_enterbl"));
    if (skip && skip->getType() == RpcValue::RPC_VALUE_BOOL && skip->getBoolValue())
        QM_THROW_JSONRPC(bootloaderRefusal, RPC_ERROR_INTERNAL);
    if (region != kLightShape)
        QM_THROW_JSONRPC(
            QStringLiteral("flash write to region '%1' are not supported!").arg(region), RPC_ERROR_INTERNAL);
    core::RawParameterInterface* itf = device->getRawParameterInterface(core::presmondeInterface());
    if (!itf) {
        QM_THROW_JSONRPC(QStringLiteral("device %1 has no raw interface \"%2\" to reach its flash through")
                             .arg(id)
                             .arg(core::presmondeInterface()),
            RPC_ERROR_INTERNAL);
    }
    return std::make_unique<core::LightShapeRamBufferMemoryReadWrite>(itf);
}

RpcObject* RpcDeviceFlashBase::reply(
    core::LightShapeRamBufferMemoryReadWrite& memory, const QList<int>& bytes)
{
    auto result = std::make_unique<RpcObject>();
    result->addChild(QStringLiteral("target"), new RpcValue(memory.flashTarget()));
    result->addChild(QStringLiteral("status"), new RpcValue(memory.status()));
    result->addChild(QStringLiteral("bytes"), new RpcValue(bytes));
    return result.release();
}

void RpcDeviceFlashBase::memoryWork(const std::function<void()>& work)
{
    try {
        work();
    } catch (const core::MemoryAccessError& error) {
        QM_THROW_JSONRPC(QString::fromStdString(error.what()), RPC_ERROR_INTERNAL);
    }
}

} // namespace tarvesk::service
