#pragma once

#include "service/rpc/rpc_methods/device/rpc_device_firmware.h"

#include <QList>
#include <QStringList>

namespace tarvesk::itf {
class BootloaderProxy;
} // namespace tarvesk::itf

namespace tarvesk::service {

// "device.firmware.upload": writes one firmware module, given as module text
// ("firmware") or by its file name in the firmware cache ("firmware_db_file"),
// into a driver through its bootloader, then reads the rows back from the chip
// written; "status" "ok" means the flash holds the module.
class RpcDeviceFirmwareUpload : public RpcDeviceFirmware
{
    Q_OBJECT

public:
    RpcDeviceFirmwareUpload();

    QList<RpcRequestParameter> inputParameters() const override;
    void validateInputParameters(RpcRequest* request) override;
    RpcMethodError handleRequest(RpcRequest* request, RpcResponse* response) override;

    // The three digits after "i" of a module file name (i001v00203s001.hex);
    // throws StringException for a name without them.
    static qint8 getChipIdentificationFromFwFileName(const QString& fileName);

protected:
    // 4 for the second core's modules, else 0.
    quint8 getChipAddress(RpcRequest* request);
    // The rows to write (compact row texts, in line order, without the
    // skipped rows) and the module's id and processor id.
    void getFirmwareStringList(RpcRequest* request, const QList<int>& skippedRows, QStringList& rows,
        int& moduleId, int& processorId);

private:
    // Rows of the list whose flash content differs from what was written
    // last at their address, read back from the chip.
    static int countUnwrittenRows(itf::BootloaderProxy* proxy, const QStringList& rows, quint8 chipAddress);
};

} // namespace tarvesk::service
