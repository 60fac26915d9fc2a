#include "service/rpc/rpc_methods/device/rpc_device_log.h"

#include "core/device.h"
#include "log/logging_categories.h"
#include "protocol/packet_log.h"
#include "service/database/abstract_database.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_types/rpc_type_action_result.h"
#include "service/rpc/rpc_types/rpc_type_packet.h"
#include "service/rpc_array.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <QMutexLocker>

namespace tarvesk::service {

RpcDeviceLog::RpcDeviceLog()
    : RpcDeviceBase(QStringLiteral("device.log"))
{ }

QList<RpcRequestParameter> RpcDeviceLog::inputParameters() const
{
    return {
        RpcRequestParameter(
            RpcRequestEnums::PARAM_DEVICE_ID, QVariant(), true, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_MSG, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_LOG_TYPE, QStringLiteral("info"), false),
    };
}

RpcMethodError RpcDeviceLog::handleRequest(RpcRequest* request, RpcResponse* response)
{
    core::Device* device = deviceOf(request);
    const RpcValue* msg = request->getParam(QStringLiteral("msg"));
    const RpcValue* type = request->getParam(QStringLiteral("log_type"));
    const QString message = oneLogLine(msg ? msg->getStringValue() : QString());
    const QString logType = type ? type->getStringValue() : QStringLiteral("info");

    proto::PacketLog* log = device->getPacketLog();
    if (logType == QLatin1String("info"))
        log->info(message);
    else if (logType == QLatin1String("warning"))
        log->warning(message);
    else if (logType == QLatin1String("error"))
        log->error(message);

    response->setResultValue(new RpcTypeActionResult(QStringLiteral("ok"), tr("Message logged")));
    return {};
}

RpcDeviceLogGet::RpcDeviceLogGet()
    : RpcDeviceBase(QStringLiteral("device.log.get"))
{ }

QList<RpcRequestParameter> RpcDeviceLogGet::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_INTERFACE_TYPE, QVariant(), false),
        RpcRequestParameter(
            RpcRequestEnums::PARAM_DEVICE_ID, QVariant(), true, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_FROM_PACKET, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_COUNT, QVariant(), true),
    };
}

namespace {

// The parameter truncated to an integer; -32602 when it is no number or
// below the least value allowed.
int integerAtLeast(RpcRequest* request, const char* key, int least)
{
    RpcValue* value = request->getParam(QLatin1String(key));
    bool ok = false;
    const int number = value ? value->toInteger(&ok) : 0;
    if (!ok || number < least) {
        QM_THROW_JSONRPC(QStringLiteral("Invalid value for '%1': a whole number of at least %2 is needed")
                             .arg(QLatin1String(key))
                             .arg(least),
            RPC_ERROR_INVALID_PARAMS);
    }
    return number;
}

} // namespace

RpcMethodError RpcDeviceLogGet::handleRequest(RpcRequest* request, RpcResponse* response)
{
    core::Device* device = deviceOf(request);
    const int from = integerAtLeast(request, "from_packet", 0);
    const int count = integerAtLeast(request, "count", 1);

    QMutexLocker lock(device->getDeviceMutex());
    std::vector<std::unique_ptr<proto::RawPacket>> entries;
    const int left = device->getPacketLog()->getPage(entries, from, count);

    std::shared_ptr<AbstractDatabase> db = database();
    QHash<QString, proto::PacketLookupTable*>* tables = db ? db->lookupTables() : nullptr;
    auto* packets = new RpcArray;
    for (const auto& entry : entries)
        packets->addChild(new RpcTypePacket(entry.get(), tables));
    auto* result = new RpcObject;
    result->addChild(QStringLiteral("packets"), packets);
    result->addChild(QStringLiteral("count"), new RpcValue(int(entries.size())));
    result->addChild(QStringLiteral("packets_left"), new RpcValue(left));
    response->setResultValue(result);
    return {};
}

} // namespace tarvesk::service
