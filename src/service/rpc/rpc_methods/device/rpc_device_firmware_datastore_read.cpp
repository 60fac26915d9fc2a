#include "service/rpc/rpc_methods/device/rpc_device_firmware_datastore_read.h"

#include "core/firmware.h"
#include "core/parameters/datastore/data_store.h"
#include "core/parameters/parameter.h"
#include "interfaces/bootloader/bootloader_proxy.h"
#include "log/logging_categories.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_types/rpc_type_datastore_parameter_array.h"
#include "service/rpc_response.h"

#include <QVector>

namespace tarvesk::service {

namespace {

const QString kBootloaderVersion = QStringLiteral("bootloader_version");

// What a datastore read overwrites in the buffer, to be put back when the read
// fails part-way: the datastore rows, the device-information row and the
// bootloader version that each row read sets.
class DatastoreSnapshot
{
public:
    explicit DatastoreSnapshot(core::Firmware& buffer)
        : _buffer(buffer)
    {
        for (int a : addresses())
            _words << buffer.getWord(a, false);
        if (core::Parameter* version
            = buffer.getDataStore()->getDatastoreParameters().value(kBootloaderVersion))
            _bootloaderVersion = version->getActualValue();
    }

    void restore()
    {
        int i = 0;
        for (int a : addresses())
            _buffer.setWord(a, _words.at(i++));
        if (core::Parameter* version
            = _buffer.getDataStore()->getDatastoreParameters().value(kBootloaderVersion))
            version->setActualValue(_bootloaderVersion);
    }

private:
    static QVector<int> addresses()
    {
        QVector<int> list;
        for (int a = itf::BootloaderProxy::DatastoreFirstRow; a <= itf::BootloaderProxy::DatastoreLastWord;
             ++a)
            list << a;
        for (int a = itf::BootloaderProxy::DeviceInfoRow;
             a < itf::BootloaderProxy::DeviceInfoRow + core::Firmware::kWordsPerRow; ++a)
            list << a;
        return list;
    }

    core::Firmware& _buffer;
    QVector<int> _words;
    QVariant _bootloaderVersion;
};

} // namespace

RpcDeviceFirmwareDatastoreRead::RpcDeviceFirmwareDatastoreRead()
    : RpcDeviceFirmware(QStringLiteral("device.firmware.datastore.read"))
{ }

QList<RpcRequestParameter> RpcDeviceFirmwareDatastoreRead::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_INTERFACE_TYPE, QStringLiteral("dorvane"), false),
        RpcRequestParameter(RpcRequestEnums::PARAM_DEVICE_ID, 1, false, RpcRequestEnums::TYPE_INTEGER),
    };
}

RpcMethodError RpcDeviceFirmwareDatastoreRead::handleRequest(RpcRequest* request, RpcResponse* response)
{
    itf::BootloaderProxy* proxy = nullptr;
    getBootloaderProxy(request, &proxy, true);
    qCDebug(rpcServerMethod()).noquote()
        << QStringLiteral("Executing method through %1").arg(proxy->getDeviceConnectionDescription());
    core::Firmware& buffer = proxy->getInterfaceFirmwareBuffer();
    DatastoreSnapshot snapshot(buffer);
    try {
        unsigned char bootloaderVersion = 0;
        unsigned short processorId = 0;
        proxy->readDataStore(bootloaderVersion, processorId);
    } catch (const JsonRpcException& e) {
        // Half of one chip's rows beside another's identity must never be written back.
        snapshot.restore();
        QM_RETHROW_JSONRPC(
            QStringLiteral("Failed to read datastore from via bootloader.\n stacktrace: %1"), e);
    }
    core::DataStore* store = buffer.getDataStore();
    store->convertMemoryMapToParameterValues();
    response->setResultValue(new RpcTypeDatastoreParameterArray(*store, true));
    return {};
}

} // namespace tarvesk::service
