#include "service/rpc/rpc_methods/protocol/rpc_send.h"

#include "core/device.h"
#include "core/device_manager.h"
#include "core/itf_error.h"
#include "core/network_interface.h"
#include "core/universe.h"
#include "core/universe_manager.h"
#include "protocol/raw_packet.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/protocol/rpc_send_context.h"
#include "service/rpc/rpc_types/rpc_type_send_result.h"
#include "service/rpc_array.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <cmath>

namespace tarvesk::service {

namespace {

const QString kUniverseId = QStringLiteral("universe_id");
const QString kDeviceId = QStringLiteral("device_id");
const QString kBytes = QStringLiteral("bytes");
const QString kDebugLevel = QStringLiteral("debug_level");

RpcArray* bytesArray(RpcRequest* request)
{
    RpcValue* value = request->getParam(kBytes);
    RpcArray* array = value ? value->getArrayValue() : nullptr;
    if (!array) {
        QM_THROW_JSONRPC(QStringLiteral("parameter bytes must be an array"), RPC_ERROR_INVALID_PARAMS);
    }
    return array;
}

int integerOf(RpcRequest* request, const QString& name)
{
    RpcValue* value = request->getParam(name);
    bool ok = false;
    const int number = value ? value->toInteger(&ok) : 0;
    return ok ? number : 0;
}

} // namespace

RpcSend::RpcSend(const QString& name)
    : AbstractRpcMethod(name)
{ }

RpcSend::~RpcSend() = default;

QList<RpcRequestParameter> RpcSend::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_UNIVERSE_ID, -1, true, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_BYTES, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_DEBUG_LEVEL, 0, false),
    };
}

void RpcSend::validateInputParameters(RpcRequest* request)
{
    AbstractRpcMethod::validateInputParameters(request);
    bytesArray(request);
    checkValues(request);
}

void RpcSend::refuse(const QString& message)
{
    QM_THROW_JSONRPC(message, RPC_ERROR_INVALID_PARAMS);
}

QByteArray RpcSend::requestBytes(RpcRequest* request)
{
    try {
        return bytesArray(request)->getByteArray();
    } catch (const JsonRpcException& e) {
        throw JsonRpcException(QStringLiteral("parameter bytes: ") + e.message(), RPC_ERROR_INVALID_PARAMS);
    }
}

QVector<int> RpcSend::requestIntegers(RpcRequest* request)
{
    QVector<int> integers;
    const RpcArray* array = bytesArray(request);
    for (int i = 0; i < array->childCount(); ++i) {
        RpcValue* element = array->child(i);
        bool ok = false;
        const int value = element->toInteger(&ok);
        if (!ok || element->getDoubleValue() != double(value))
            refuse(QStringLiteral("parameter bytes: element %1 is not an integer").arg(i));
        integers.append(value);
    }
    return integers;
}

void RpcSend::initializePacket(RpcRequest* request, proto::RawPacket& packet)
{
    packet.append(requestBytes(request));
}

bool RpcSend::isTrue(RpcRequest* request, const QString& name)
{
    RpcValue* value = request->getParam(name);
    return value && value->getType() == RpcValue::RPC_VALUE_BOOL && value->getBoolValue();
}

void RpcSend::checkCount(int count, int min, int max, const QString& what)
{
    if (count >= min && count <= max)
        return;
    refuse(QStringLiteral("parameter bytes must hold %1 elements%2, not %3")
               .arg(countText(min, max), what.isEmpty() ? QString() : QStringLiteral(" for ") + what)
               .arg(count));
}

QString RpcSend::countText(int min, int max)
{
    return min == max ? QString::number(min) : QStringLiteral("%1 to %2").arg(min).arg(max);
}

void RpcSend::checkTime(RpcRequest* request, const QString& name)
{
    RpcValue* value = request->getParam(name);
    if (!value || !value->isDoubleValue())
        return; // no number: the handler's default applies
    const double ms = value->getDoubleValue();
    if (!std::isfinite(ms) || ms < 0)
        refuse(QStringLiteral("parameter %1 must be a finite time, not negative").arg(name));
}

void RpcSend::checkInteger(RpcRequest* request, const QString& name, int min, int max, bool numberRequired)
{
    RpcValue* value = request->getParam(name);
    if (!value)
        return;
    const QString message
        = QStringLiteral("parameter %1 must be an integer in %2..%3").arg(name).arg(min).arg(max);
    if (!value->isDoubleValue()) {
        if (numberRequired)
            refuse(message);
        return;
    }
    const double number = std::trunc(value->getDoubleValue());
    if (!std::isfinite(number) || number < min || number > max)
        refuse(message);
}

void RpcSend::initializeContext(
    RpcRequest* request, RpcSendContext& context, core::InterfaceType protocol) const
{
    if (RpcValue* idValue = request->getParam(kUniverseId)) {
        const int id = idValue->getIntegerValue();
        core::Universe* universe = nullptr;
        if (id < 0) {
            const QString type = core::NetworkInterface::interfaceTypeToString(protocol);
            universe = qobject_cast<core::Universe*>(
                core::UniverseManager::instance().getItemByAttribute(QStringLiteral("interface_type"), type));
            if (!universe)
                QM_THROW_JSONRPC(
                    QStringLiteral("Universe for protocol %1 not found").arg(type), RPC_ERROR_INTERNAL);
        } else {
            universe = qobject_cast<core::Universe*>(core::UniverseManager::instance().getItem(id));
            if (!universe) {
                QM_THROW_JSONRPC(
                    QStringLiteral("Universe with universe_id %1 not found").arg(id), RPC_ERROR_INTERNAL);
            }
        }
        context.setUniverse(universe);
    } else if (protocol == core::ITF_TYPE_USB) {
        const int id = integerOf(request, kDeviceId);
        auto* device = qobject_cast<core::Device*>(core::DeviceManager::instance().getItem(id));
        if (!device)
            QM_THROW_JSONRPC(
                QStringLiteral("Device with device_id %1 not found").arg(id), RPC_ERROR_INTERNAL);
        context.setDevice(device);
    }
    context.setDebugLevel(integerOf(request, kDebugLevel));
}

core::NetworkInterface* RpcSend::getInterface(core::Universe* universe, core::InterfaceType type) const
{
    core::NetworkInterface* itf = universe->getInterface(type);
    if (!itf)
        notAvailable(universe);
    return itf;
}

void RpcSend::notAvailable(core::Universe* universe) const
{
    QM_THROW_JSONRPC(
        QStringLiteral("Universe '%1' not available for '%2'")
            .arg(core::NetworkInterface::interfaceTypeToString(universe->getDefaultInterfaceType()),
                getName()),
        RPC_ERROR_INTERNAL);
}

void RpcSend::buildResponse(
    RpcResponse* response, int result, std::unique_ptr<proto::RawPacket> answer, bool expectAnswer)
{
    if (result != core::ITF_OK) {
        QM_THROW_JSONRPC(
            QStringLiteral("Unable to build packet response. error %1").arg(core::itfErrorToString(result)),
            RPC_ERROR_INTERNAL);
    }
    response->setResultValue(new RpcTypeSendResult(result, answer.get(), expectAnswer));
}

} // namespace tarvesk::service
