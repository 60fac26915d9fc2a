#include "service/rpc/rpc_methods/device/rpc_device_firmware_datastore_write.h"

#include "core/firmware.h"
#include "core/parameters/datastore/data_store.h"
#include "interfaces/bootloader/bootloader_proxy.h"
#include "log/logging_categories.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_types/rpc_type_datastore_parameter_array.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_response.h"

#include <QVector>

namespace tarvesk::service {

namespace {

const QString kWriteFailure = QStringLiteral("could not read datastore via bootloade.\n stacktrace: %1");
constexpr int kIdentityWords = 4;

QString hexWords(const QVector<int>& words)
{
    QStringList texts;
    for (int w : words)
        texts << QStringLiteral("%1").arg(w & 0xFFFF, 4, 16, QLatin1Char('0'));
    return texts.join(QLatin1Char(' '));
}

// Reads the chip's device-information row again and refuses, with the buffer's
// row as it was, when its identity words are not those the datastore was read
// with: one chip's calibration and identity must never go into another chip.
void checkSameChip(itf::BootloaderProxy& proxy, core::DataStore& store)
{
    core::Firmware& buffer = proxy.getInterfaceFirmwareBuffer();
    QVector<int> savedRow;
    for (int i = 0; i < core::Firmware::kWordsPerRow; ++i)
        savedRow << buffer.getWord(itf::BootloaderProxy::DeviceInfoRow + i, false);
    unsigned char bootloaderVersion = 0;
    unsigned short processorId = 0;
    proxy.readDeviceInfo(bootloaderVersion, processorId, 0);
    QVector<int> chip;
    for (int i = 0; i < kIdentityWords; ++i)
        chip << int(buffer.getUnsignedWord(itf::BootloaderProxy::DeviceInfoRow + i, false));
    const QVector<int>& expected = store.readChipIdentity();
    if (chip == expected)
        return;
    for (int i = 0; i < savedRow.size(); ++i)
        buffer.setWord(itf::BootloaderProxy::DeviceInfoRow + i, savedRow.at(i));
    QM_THROW_JSONRPC(QStringLiteral("the datastore was read from another chip (identity %1, this chip %2); "
                                    "read the datastore of this device first")
                         .arg(hexWords(expected), hexWords(chip)),
        RPC_ERROR_INTERNAL);
}

} // namespace

RpcDeviceFirmwareDatastoreWrite::RpcDeviceFirmwareDatastoreWrite()
    : RpcDeviceFirmware(QStringLiteral("device.firmware.datastore.write"))
{ }

QList<RpcRequestParameter> RpcDeviceFirmwareDatastoreWrite::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_DEVICE_ID, 1, false, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_INTERFACE_TYPE, QStringLiteral("dorvane"), false,
            RpcRequestEnums::TYPE_STRING, {QStringLiteral("dorvane"), QStringLiteral("dmx")}),
    };
}

RpcMethodError RpcDeviceFirmwareDatastoreWrite::handleRequest(RpcRequest* request, RpcResponse* response)
{
    itf::BootloaderProxy* proxy = nullptr;
    getBootloaderProxy(request, &proxy, true);
    qCDebug(rpcServerMethod()).noquote() << QStringLiteral("Executing method \"%1\" through %2")
                                                .arg(getName(), proxy->getDeviceConnectionDescription());
    core::DataStore* store = proxy->getInterfaceFirmwareBuffer().getDataStore();
    try {
        // A store never read is refused by the proxy ("Datastore is empty").
        if (store->isInitialized())
            checkSameChip(*proxy, *store);
        proxy->writeDataStore();
    } catch (const JsonRpcException& e) {
        QM_RETHROW_JSONRPC(kWriteFailure, e);
    }
    store->setOldCalibrationParametersInUse(false);
    store->convertMemoryMapToParameterValues();
    response->setResultValue(new RpcTypeDatastoreParameterArray(*store, true));
    return {};
}

} // namespace tarvesk::service
