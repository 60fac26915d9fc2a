#include "service/rpc/rpc_methods/device/rpc_device_firmware_rawparam_get.h"

#include "core/firmware.h"
#include "interfaces/bootloader/bootloader_proxy.h"
#include "log/logging_categories.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_types/rpc_type_raw_send_result.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <QVector>

#include <algorithm>

namespace tarvesk::service {

namespace {

const QString StartKey = QStringLiteral("start_address");
const QString EndKey = QStringLiteral("end_address");

RpcObject* rangeOf(RpcRequest* request)
{
    RpcValue* range = request->getParam(QStringLiteral("address_range"));
    return range ? range->getObjectValue() : nullptr;
}

} // namespace

RpcDeviceFirmwareRawParamGet::RpcDeviceFirmwareRawParamGet()
    : RpcDeviceFirmware(QStringLiteral("device.firmware.rawparam.get"))
{ }

QList<RpcRequestParameter> RpcDeviceFirmwareRawParamGet::inputParameters() const
{
    using E = RpcRequestEnums;
    return {
        RpcRequestParameter(E::PARAM_INTERFACE_TYPE, QStringLiteral("dorvane"), false),
        RpcRequestParameter(E::PARAM_ADDRESS_RANGE, QVariant(), true),
        RpcRequestParameter(E::PARAM_DEVICE_ID, 1, false, E::TYPE_INTEGER),
        RpcRequestParameter(E::PARAM_DEBUG_LEVEL, QVariant(), false),
    };
}

void RpcDeviceFirmwareRawParamGet::validateInputParameters(RpcRequest* request)
{
    AbstractRpcMethod::validateInputParameters(request);
    RpcObject* range = rangeOf(request);
    int value = 0;
    if (!range || !wholeNumberIn(range->child(StartKey), 0, MaxWordAddress, value)
        || !wholeNumberIn(range->child(EndKey), 0, MaxWordAddress, value)) {
        QM_THROW_JSONRPC(QStringLiteral("Parameter 'address_range' must be an object with the whole numbers "
                                        "'%1' and '%2' from 0 to %3")
                             .arg(StartKey, EndKey)
                             .arg(MaxWordAddress),
            RPC_ERROR_INVALID_PARAMS);
    }
}

RpcMethodError RpcDeviceFirmwareRawParamGet::handleRequest(RpcRequest* request, RpcResponse* response)
{
    RpcObject* range = rangeOf(request);
    const int start = range->child(StartKey)->getIntegerValue();
    const int end = std::max(start, range->child(EndKey)->getIntegerValue());

    itf::BootloaderProxy* proxy = nullptr;
    getBootloaderProxy(request, &proxy, true);
    qCDebug(rpcServerMethod()).noquote()
        << QStringLiteral("Executing method through %1").arg(proxy->getDeviceConnectionDescription());
    try {
        proxy->readRows(quint16(start), quint16(end));
    } catch (const JsonRpcException& e) {
        QM_RETHROW_JSONRPC(
            QStringLiteral("Unable to read flash rows through bootloader proxy.\nstacktrace: %1"), e);
    }
    const core::Firmware& buffer = proxy->getInterfaceFirmwareBuffer();
    QVector<int> words;
    words.reserve(end - start + 1);
    for (int address = start; address <= end; ++address)
        words.append(buffer.getWord(address, false));
    response->setResultValue(new RpcTypeRawSendResult(QStringLiteral("ok"), words, 0));
    return {};
}

} // namespace tarvesk::service
