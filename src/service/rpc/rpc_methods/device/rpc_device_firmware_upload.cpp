#include "service/rpc/rpc_methods/device/rpc_device_firmware_upload.h"

#include "core/firmware.h"
#include "core/firmware_module.h"
#include "core/itf_error.h"
#include "core/parameters/datastore/data_store.h"
#include "interfaces/bootloader/bootloader_proxy.h"
#include "interfaces/bootloader/ibootloader.h"
#include "log/logging_categories.h"
#include "service/database/abstract_database.h"
#include "service/json_rpc_exception.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"
#include "service/string_exception.h"

#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace tarvesk::service {

namespace {

const QString FirmwareKey = QStringLiteral("firmware");
const QString FirmwareFileKey = QStringLiteral("firmware_db_file");
const QString CacheFolder = QStringLiteral("data/firmware_mods/");
constexpr int SecondCoreModule = 32;
constexpr quint8 SecondChipAddress = 4;
constexpr int NoModule = 997;
// The four rows of the datastore, words 0x780..0x7FF.
const QList<int> DatastoreRows {0x780, 0x7A0, 0x7C0, 0x7E0};

QString countText(int count)
{
    return QStringLiteral("%1").arg(count, 10);
}

// The word address a row text starts with.
int rowAddressOf(const QString& row)
{
    bool ok = false;
    const int address = row.left(4).toInt(&ok, 16);
    return ok ? address : -1;
}

} // namespace

RpcDeviceFirmwareUpload::RpcDeviceFirmwareUpload()
    : RpcDeviceFirmware(QStringLiteral("device.firmware.upload"))
{ }

QList<RpcRequestParameter> RpcDeviceFirmwareUpload::inputParameters() const
{
    using E = RpcRequestEnums;
    return {
        RpcRequestParameter(E::PARAM_FIRMWARE_DB_FILE, QVariant(), false),
        RpcRequestParameter(E::PARAM_FIRMWARE, QVariant(), false),
        RpcRequestParameter(E::PARAM_PAGE_NUMBER, 5, false),
        RpcRequestParameter(E::PARAM_SKIP_DATASTORE, false, false),
        RpcRequestParameter(E::PARAM_SKIP_ENTERBL, false, false),
        RpcRequestParameter(E::PARAM_INTERFACE_TYPE, QStringLiteral("dorvane"), false),
        RpcRequestParameter(E::PARAM_DEVICE_ID, 1, false, E::TYPE_INTEGER),
        RpcRequestParameter(E::PARAM_DEVICE_ADDRESS, 0, false, E::TYPE_INTEGER),
    };
}

void RpcDeviceFirmwareUpload::validateInputParameters(RpcRequest* request)
{
    AbstractRpcMethod::validateInputParameters(request);
    const bool text = request->getParam(FirmwareKey) != nullptr;
    const bool file = request->getParam(FirmwareFileKey) != nullptr;
    if (text && file) {
        QM_THROW_STRING(QStringLiteral(
            "Only one of two provided parameters ('%1' or '%2') can be provided for method '%3'")
                            .arg(FirmwareKey, FirmwareFileKey, getName()));
    }
    if (!text && !file) {
        QM_THROW_STRING(
            QStringLiteral("At least one of two parameters ('%1' or '%2') must be provided for method '%3'")
                .arg(FirmwareKey, FirmwareFileKey, getName()));
    }
    // The chip address is taken whole: 260 is no 4, and nothing is sent for it.
    RpcValue* address = request->getParam(QStringLiteral("device_address"));
    int chip = -1;
    if (!wholeNumberIn(address, 0, SecondChipAddress, chip) || (chip != 0 && chip != SecondChipAddress)) {
        QM_THROW_JSONRPC(
            QStringLiteral("%1 is not a valid value for this parameter.Currently accepted values "
                           "are: %2, %3.")
                .arg(address ? address->getVariantValue().toString() : QString())
                .arg(0)
                .arg(SecondChipAddress),
            RPC_ERROR_INVALID_PARAMS);
    }
    // The skip flag decides which rows are written: it must say yes or no.
    RpcValue* skip = request->getParam(QStringLiteral("skip_datastore"));
    if (skip && skip->getType() != RpcValue::RPC_VALUE_BOOL) {
        QM_THROW_JSONRPC(
            QStringLiteral("parameter skip_datastore must be a boolean"), RPC_ERROR_INVALID_PARAMS);
    }
}

qint8 RpcDeviceFirmwareUpload::getChipIdentificationFromFwFileName(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral("i(?<chip_id>\\d{3})v"));
    const QRegularExpressionMatch match = pattern.match(fileName);
    if (!match.hasMatch())
        QM_THROW_STRING(QStringLiteral("'%1' Is not a valid firmware filename.").arg(fileName));
    const QString chip = match.captured(QStringLiteral("chip_id"));
    qCDebug(rpcServerMethod()).noquote() << chip;
    return qint8(chip.toInt());
}

quint8 RpcDeviceFirmwareUpload::getChipAddress(RpcRequest* request)
{
    if (RpcValue* text = request->getParam(FirmwareKey); text)
        return quint8(request->getParam(QStringLiteral("device_address"))->getIntegerValue());
    if (RpcValue* file = request->getParam(FirmwareFileKey); file)
        return getChipIdentificationFromFwFileName(file->getStringValue()) == SecondCoreModule
            ? SecondChipAddress
            : 0;
    return 0;
}

void RpcDeviceFirmwareUpload::getFirmwareStringList(
    RpcRequest* request, const QList<int>& skippedRows, QStringList& rows, int& moduleId, int& processorId)
{
    core::Firmware image;
    QList<int> lineAddresses;
    int startAddress = 0;
    QString text;
    RpcValue* given = request->getParam(FirmwareKey);
    RpcValue* file = request->getParam(FirmwareFileKey);
    if (given) {
        text = given->getStringValue();
    } else if (file) {
        QString key = file->getStringValue().toLower();
        if (!key.contains(CacheFolder))
            key.prepend(CacheFolder);
        const QMap<QString, QByteArray> cache
            = database() ? database()->firmwareCacheData() : QMap<QString, QByteArray>();
        const auto entry = cache.constFind(key);
        if (entry == cache.constEnd()) {
            qCDebug(rpcServerMethod()).noquote()
                << QStringLiteral("cache has no data for module '%1'").arg(key);
        } else {
            const QByteArray& bytes = entry.value();
            const int end = bytes.indexOf('\0');
            text = QString::fromUtf8(end < 0 ? bytes : bytes.left(end));
            qCDebug(rpcServerMethod()).noquote()
                << QStringLiteral("data retrieved from cache for module '%1'").arg(key);
        }
    }
    if (text.isEmpty())
        QM_THROW_STRING(QStringLiteral("Error while importing the module from the database"));
    if (!image.importModString(text, lineAddresses, startAddress)) {
        QM_THROW_STRING(QStringLiteral("Error while importing the module from the database, data in file may "
                                       "be corrupted. (parse error)"));
    }
    // A row given twice holds its later line's words (the image keeps the last
    // value of each word) and is written once, where it first appeared: the
    // flash has a bounded number of rows, and so has the upload.
    QSet<int> listed;
    for (int address : lineAddresses) {
        const int row = image.getRowForAddress(address);
        if (listed.contains(row))
            continue;
        listed.insert(row);
        if (skippedRows.contains(address & ~(core::Firmware::kWordsPerRow - 1))) {
            qCInfo(rpcServerMethod()).noquote()
                << QStringLiteral("Skipping row : 0x%1").arg(address, 4, 16, QLatin1Char('0'));
            continue;
        }
        rows << image.getRowHexString(row, false);
    }
    if (given) {
        const core::FirmwareModule* module = image.getModuleByStartAddress(startAddress);
        moduleId = module ? module->getModuleId() : NoModule;
        processorId = module ? module->getProcessorId() : -1;
        return;
    }
    core::FirmwareModule named(nullptr);
    named.fromFileNameString(file->getStringValue());
    moduleId = named.getModuleId();
    processorId = named.getProcessorId();
}

int RpcDeviceFirmwareUpload::countUnwrittenRows(
    itf::BootloaderProxy* proxy, const QStringList& rows, quint8 chipAddress)
{
    // The unbrickable row and the module's first row share an address: what
    // counts is the row written last there.
    QMap<int, QString> expected;
    for (const QString& row : rows)
        expected.insert(rowAddressOf(row), row.toUpper());
    core::Firmware readBack;
    int differing = 0;
    for (auto it = expected.constBegin(); it != expected.constEnd(); ++it) {
        unsigned char version = 0;
        QString text;
        const int status
            = proxy->getBootloaderInterface()->readRowAddress(it.key(), version, text, chipAddress);
        if (status != core::ITF_OK) {
            QM_THROW_JSONRPC(
                QStringLiteral("Firmware uploading failed: row 0x%1 could not be read back. error %2")
                    .arg(it.key(), 4, 16, QLatin1Char('0'))
                    .arg(status),
                RPC_ERROR_INTERNAL);
        }
        readBack.setFirmwareRow(quint16(it.key()), text, true);
        if (readBack.getRowHexString(readBack.getRowForAddress(it.key()), false) != it.value())
            ++differing;
    }
    return differing;
}

RpcMethodError RpcDeviceFirmwareUpload::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const bool skipDatastore = request->getParam(QStringLiteral("skip_datastore"))->getBoolValue();
    const quint8 chipAddress = getChipAddress(request);
    const QList<int> skippedRows = skipDatastore && chipAddress == 0 ? DatastoreRows : QList<int>();

    QStringList rows;
    int moduleId = NoModule;
    int processorId = -1;
    getFirmwareStringList(request, skippedRows, rows, moduleId, processorId);

    itf::BootloaderProxy* proxy = nullptr;
    getBootloaderProxy(request, &proxy, true);
    qCDebug(rpcServerMethod()).noquote()
        << QStringLiteral("Executing %1 through %2").arg(getName(), proxy->getDeviceConnectionDescription());

    // The unbrickable row first and the module's first line last: a write
    // that stops part-way leaves the module's first line unwritten.
    const QString unbrickable = core::FirmwareModule::getUnbrickableRowByModuleId(moduleId);
    if (!unbrickable.isEmpty())
        rows << unbrickable;
    std::reverse(rows.begin(), rows.end());

    if (processorId != -1) {
        unsigned char bootloaderVersion = 0;
        unsigned short deviceProcessor = 0;
        try {
            proxy->readDeviceInfo(bootloaderVersion, deviceProcessor, chipAddress);
        } catch (const JsonRpcException& e) {
            QM_RETHROW_JSONRPC(
                QStringLiteral("Could not retrieve processor information.\n stacktrace: %1"), e);
        }
        if (deviceProcessor != processorId) {
            const int deviceIdWord = proxy->getInterfaceFirmwareBuffer().getUnsignedWord(
                itf::BootloaderProxy::DeviceIdWord, false);
            QM_THROW_JSONRPC(
                QStringLiteral(
                    "Firmware processor type (%1) not intended for connected drivers microchip (%2)")
                    .arg(core::DataStore::getProcessorNameByProcId(processorId),
                        core::DataStore::getProcessorNameByDevId(deviceIdWord)),
                RPC_ERROR_INTERNAL);
        }
    }

    int missedWrites = 0;
    int totalRetries = 0;
    itf::IBootloader* bootloader = proxy->getBootloaderInterface();
    const int status = bootloader ? bootloader->writeRows(rows, missedWrites, totalRetries, chipAddress)
                                  : core::ITF_ERR_UNSUPPORTED_FEATURE;
    if (status != core::ITF_OK) {
        QM_THROW_JSONRPC(
            QStringLiteral("Firmware uploading failed with error %1 (correct_writes: %2, "
                           "missed_writes: %3, total_retries: %4)")
                .arg(status)
                .arg(countText(rows.size() - missedWrites), countText(missedWrites), countText(totalRetries)),
            RPC_ERROR_INTERNAL);
    }
    // A row the bootloader took but the flash does not hold is a missed write
    // too: "ok" must mean that the driver holds the module.
    missedWrites = std::max(missedWrites, countUnwrittenRows(proxy, rows, chipAddress));
    if (missedWrites > 0) {
        QM_THROW_JSONRPC(
            QStringLiteral("Firmware uploading failed, rows differ after writing (correct_writes: "
                           "%1, missed_writes: %2, total_retries: %3)")
                .arg(countText(rows.size() - missedWrites), countText(missedWrites), countText(totalRetries)),
            RPC_ERROR_INTERNAL);
    }

    auto* result = new RpcObject;
    result->addChild(QStringLiteral("missed_writes"), new RpcValue(missedWrites));
    result->addChild(QStringLiteral("correct_writes"), new RpcValue(int(rows.size()) - missedWrites));
    result->addChild(QStringLiteral("status"), new RpcValue(QStringLiteral("ok")));
    response->setResultValue(result);
    qCInfo(rpcServerMethod()).noquote()
        << QStringLiteral("Firmware uploading successful (correct_writes: %1, missed_writes: %2, "
                          "total_retries: %3)")
               .arg(countText(rows.size() - missedWrites), countText(missedWrites), countText(totalRetries));
    return {};
}

} // namespace tarvesk::service
