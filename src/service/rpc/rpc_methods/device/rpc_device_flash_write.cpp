#include "service/rpc/rpc_methods/device/rpc_device_flash_write.h"

#include "core/memory/lightshape_ram_buffer_memory_read_write.h"
#include "service/json_rpc_exception.h"
#include "service/rpc_array.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <cmath>

namespace tarvesk::service {

namespace {

[[noreturn]] void badBytes(const QString& why)
{
    QM_THROW_JSONRPC(
        QStringLiteral("\"bytes\" must be integers from 0 to 255: %1").arg(why), RPC_ERROR_INVALID_PARAMS);
}

int byteOfNumber(double number, int index)
{
    if (!std::isfinite(number) || number != std::floor(number) || number < 0 || number > 255)
        badBytes(QStringLiteral("element %1 is %2").arg(index).arg(number));
    return int(number);
}

} // namespace

RpcDeviceFlashWrite::RpcDeviceFlashWrite()
    : RpcDeviceFlashBase(QStringLiteral("device.flash.write"))
{ }

QList<RpcRequestParameter> RpcDeviceFlashWrite::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_DEVICE_ID, 0, true, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_REGION, QStringLiteral("light_shape"), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_BYTES, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_SKIP_ENTERBL, false, false),
        RpcRequestParameter(RpcRequestEnums::PARAM_EXTRA, 0, false),
    };
}

QList<int> RpcDeviceFlashWrite::profileBytes(RpcValue* given)
{
    QList<int> bytes;
    if (given && given->getType() == RpcValue::RPC_VALUE_ARRAY && given->getArrayValue()) {
        const RpcArray& array = *given->getArrayValue();
        for (int i = 0; i < array.childCount(); ++i) {
            const RpcValue* element = array.child(i);
            if (!element || element->getType() != RpcValue::RPC_VALUE_DOUBLE)
                badBytes(QStringLiteral("element %1 is not a number").arg(i));
            bytes << byteOfNumber(element->getDoubleValue(), i);
        }
        return bytes;
    }
    if (!given || given->getType() != RpcValue::RPC_VALUE_STRING)
        badBytes(QStringLiteral("neither a list nor a text"));
    QString text = given->getStringValue().trimmed();
    if (text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']')))
        text = text.mid(1, text.size() - 2).trimmed();
    if (text.isEmpty())
        return bytes;
    const QStringList parts = text.split(QLatin1Char(','));
    for (int i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const int value = parts.at(i).trimmed().toInt(&ok, 10);
        if (!ok)
            badBytes(QStringLiteral("element %1 \"%2\" is not an integer").arg(i).arg(parts.at(i).trimmed()));
        bytes << byteOfNumber(value, i);
    }
    return bytes;
}

RpcMethodError RpcDeviceFlashWrite::handleRequest(RpcRequest* request, RpcResponse* response)
{
    QList<int> bytes;
    const auto memory
        = profileMemory(request, QStringLiteral("flash writes via bootloader are not yet supported!"),
            [&] { bytes = profileBytes(request->getParam(QStringLiteral("bytes"))); });
    if (bytes.size() > core::LightShapeRamBufferMemoryReadWrite::MaxProfileBytes) {
        QM_THROW_JSONRPC(QStringLiteral("invalid byte package size. max number of bytes possible to store in "
                                        "lx profile region is %1")
                             .arg(core::LightShapeRamBufferMemoryReadWrite::MaxProfileBytes),
            RPC_ERROR_INVALID_PARAMS);
    }
    std::unique_ptr<RpcObject> result;
    int status = 0;
    memoryWork([&] {
        const QList<int> written = memory->writeProfiles(bytes);
        result.reset(reply(*memory, written));
        status = memory->status();
    });
    if (status != 0) {
        QM_THROW_JSONRPC(QStringLiteral("Lx profile: uC reported a failure with error code %1").arg(status),
            RPC_ERROR_INTERNAL);
    }
    response->setResultValue(result.release());
    return {};
}

} // namespace tarvesk::service
