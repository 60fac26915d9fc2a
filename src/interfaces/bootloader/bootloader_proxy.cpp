#include "interfaces/bootloader/bootloader_proxy.h"

#include "core/device.h"
#include "core/firmware_module.h"
#include "core/itf_error.h"
#include "core/network_interface.h"
#include "core/parameters/datastore/data_store.h"
#include "interfaces/bootloader/bootloader_state_machine.h"
#include "interfaces/bootloader/ibootloader.h"
#include "interfaces/ibootloader_mode_control.h"
#include "log/logging_categories.h"
#include "protocol/options.h"
#include "protocol/wystrel/wystrel_packet.h"
#include "service/json_rpc_exception.h"

namespace tarvesk::itf {

namespace {

constexpr int BootloaderModule = 999;
constexpr int SecondBootloaderModule = 996;
constexpr int CoreModule = 0;
constexpr int SecondCoreModule = 32;
constexpr int ParameterStoreModule = 998;
constexpr int SecondCoreSize = 62;
constexpr int BootloaderSize = 2;
constexpr int MaxModuleId = 2046;
constexpr unsigned char SecondProcessorAddress = 4;

[[noreturn]] void fail(const QString& message, int line)
{
    throw JsonRpcException(message, BootloaderProxy::ErrorCode, QStringLiteral(__FILE__), line);
}

#define QM_PROXY_FAIL(message) fail((message), __LINE__)

IBootloaderModeControl* modeControlOf(core::NetworkInterface* target)
{
    return dynamic_cast<IBootloaderModeControl*>(target);
}

proto::WystrelPacket bootloaderFrame()
{
    return proto::WystrelPacket(proto::WystrelPacket::WY_CMD_BOOT_LOADER);
}

} // namespace

BootloaderProxy::BootloaderProxy(
    core::NetworkInterface* targetInterface, IBootloader* bootloader, BootloaderStateMachine* stateMachine)
    : _target(targetInterface)
    , _bootloader(bootloader)
    , _stateMachine(stateMachine)
{
    if (_bootloader && _stateMachine) {
        connect(_bootloader, &IBootloader::bootloaderModeVerified, _stateMachine,
            &BootloaderStateMachine::bootloaderModeVerified, Qt::DirectConnection);
        connect(_bootloader, &IBootloader::bootloaderModeStopped, _stateMachine,
            &BootloaderStateMachine::bootloaderModeStopped, Qt::DirectConnection);
    }
}

BootloaderProxy::~BootloaderProxy()
{
    delete _stateMachine;
    delete _bootloader;
}

int BootloaderProxy::startBootloader(int timeoutMs, bool& entered, int& elapsedMs)
{
    IBootloaderModeControl* control = modeControlOf(_target);
    if (!control)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    return control->startBootloader(timeoutMs, entered, elapsedMs);
}

int BootloaderProxy::sendBootloaderSpam(int timeMs, bool& entered, int& elapsedMs)
{
    IBootloaderModeControl* control = modeControlOf(_target);
    if (!control)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    return control->sendBootloaderSpam(timeMs, entered, elapsedMs);
}

int BootloaderProxy::sendBootloaderDmxCommand(
    proto::WystrelPacket& request, proto::Options& options, proto::WystrelPacket& answer)
{
    const int status = _bootloader ? _bootloader->sendBootloaderCommand(request, options, answer)
                                   : core::ITF_ERR_UNSUPPORTED_FEATURE;
    if (status != core::ITF_OK)
        QM_PROXY_FAIL(tr("Failed to send bootloader dmx command %1. error %2")
                          .arg(request.getCommandName())
                          .arg(status));
    return core::ITF_OK;
}

void BootloaderProxy::sendWriteTemperatureCorrection(unsigned char value)
{
    proto::WystrelPacket request;
    request.special_setWriteTempCorrection(value);
    proto::Options options;
    proto::WystrelPacket answer;
    sendBootloaderDmxCommand(request, options, answer);
}

int BootloaderProxy::sendStartApp()
{
    proto::WystrelPacket request = bootloaderFrame();
    request.bootloader_setStartApp();
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, false);
    proto::WystrelPacket answer;
    sendBootloaderDmxCommand(request, options, answer);
    return core::ITF_OK;
}

void BootloaderProxy::sendReadNoPages(
    unsigned short& coreEnd, unsigned char& pageCount, int retryCount, unsigned char deviceAddress)
{
    proto::WystrelPacket request = bootloaderFrame();
    request.bootloader_setReadNoPages(deviceAddress);
    proto::Options options;
    options.addOption(proto::option::RetryCount, retryCount);
    proto::WystrelPacket answer;
    sendBootloaderDmxCommand(request, options, answer);
    quint16 end = coreEnd;
    quint8 count = pageCount;
    const int decoded = answer.bootloader_getReadNoPages(end, count);
    if (decoded == core::ITF_OK) {
        coreEnd = end;
        pageCount = count;
    }
    qCWarning(service::loggerGlog()).noquote()
        << tr("reading number fw of pages via bootloader (error not zero means device has no application). "
              "error %1")
               .arg(decoded);
}

void BootloaderProxy::sendCheckChecksum(int count)
{
    proto::WystrelPacket request = bootloaderFrame();
    request.bootloader_setCheckChecksum(quint16(qBound(0, count, 0xFFFF)));
    proto::Options options;
    proto::WystrelPacket answer;
    sendBootloaderDmxCommand(request, options, answer);
    const int value = (answer.getUint8(5) & 0x3F) << 8 | answer.getUint8(6);
    if (value != 0)
        QM_PROXY_FAIL(tr("Incorrect checksum"));
}

void BootloaderProxy::sendReadPageInfoFirst(int address, unsigned short& moduleId, unsigned char& size,
    unsigned char& coreVersion, unsigned char deviceAddress)
{
    proto::WystrelPacket request = bootloaderFrame();
    request.bootloader_setReadPageInfoFirst(quint16(address), deviceAddress);
    proto::Options options;
    proto::WystrelPacket answer;
    sendBootloaderDmxCommand(request, options, answer);
    quint16 id = 0;
    quint8 moduleSize = 0;
    quint8 version = 0;
    const int decoded = answer.bootloader_getPageInfoFirst(id, moduleSize, version);
    if (decoded != core::ITF_OK)
        QM_PROXY_FAIL(tr("Failed to read first page information. error %1").arg(decoded));
    moduleId = id;
    size = moduleSize;
    coreVersion = version;
}

void BootloaderProxy::sendReadPageInfoSecond(int address, unsigned char& version, unsigned char& subversion,
    unsigned char& coreSubversion, unsigned char deviceAddress)
{
    proto::WystrelPacket request = bootloaderFrame();
    request.bootloader_setReadPageInfoSecond(quint16(address), deviceAddress);
    proto::Options options;
    proto::WystrelPacket answer;
    sendBootloaderDmxCommand(request, options, answer);
    quint8 a = 0;
    quint8 b = 0;
    quint8 c = 0;
    const int decoded = answer.bootloader_getReadPageInfoSecond(a, b, c);
    if (decoded != core::ITF_OK)
        QM_PROXY_FAIL(tr("Failed to read second page information. error %1").arg(decoded));
    version = a;
    subversion = b;
    coreSubversion = c;
}

bool BootloaderProxy::searchDeviceAtAddress(unsigned char deviceAddress)
{
    unsigned char version = 0;
    QString text;
    return _bootloader
        && _bootloader->readRowAddress(DeviceInfoRow, version, text, deviceAddress) == core::ITF_OK;
}

void BootloaderProxy::readDeviceInfo(
    unsigned char& bootloaderVersion, unsigned short& processorId, unsigned char deviceAddress)
{
    QString text;
    const int status = _bootloader
        ? _bootloader->readRowAddress(DeviceInfoRow, bootloaderVersion, text, deviceAddress)
        : core::ITF_ERR_UNSUPPORTED_FEATURE;
    if (status != core::ITF_OK)
        QM_PROXY_FAIL(tr("Failed to read microchip device information. error %1").arg(status));
    _buffer.setFirmwareRow(DeviceInfoRow, text, true);
    processorId
        = quint16(core::DataStore::getProcessorIdByDevId(_buffer.getUnsignedWord(DeviceIdWord, false)));
}

void BootloaderProxy::readModuleInfo(unsigned short address, core::FirmwareModule** module,
    unsigned char& coreVersion, unsigned char& coreSubversion, unsigned char deviceAddress)
{
    unsigned short id = 0;
    unsigned char size = 0;
    unsigned char version = 0;
    unsigned char subversion = 0;
    sendReadPageInfoFirst(address, id, size, coreVersion, deviceAddress);
    sendReadPageInfoSecond(address, version, subversion, coreSubversion, deviceAddress);
    if (id >= 1 && id <= MaxModuleId && module)
        *module = new core::FirmwareModule(id, version, subversion, size, QStringLiteral("dat0"), address);
}

void BootloaderProxy::searchModules(
    unsigned char& bootloaderVersion, unsigned short& processorId, unsigned char deviceAddress)
{
    readDeviceInfo(bootloaderVersion, processorId, deviceAddress);
    // Defaults for a device that cannot say (or whose answer cannot be decoded).
    unsigned short coreEnd = CoreModuleStart;
    unsigned char pageCount = DefaultPageCount;
    try {
        sendReadNoPages(coreEnd, pageCount, PageCountRetries, deviceAddress);
    } catch (const JsonRpcException&) {
        coreEnd = CoreModuleStart;
        pageCount = DefaultPageCount;
        qCWarning(service::loggerGlog()).noquote()
            << tr("Could not read number of pages for device address %1").arg(deviceAddress);
    }
    _buffer.clearModules();
    unsigned char coreVersion = 0;
    unsigned char coreSubversion = 0;
    for (int page = coreEnd / PageWords; page < pageCount; ++page) {
        try {
            for (int slot = 0; slot < PageWords / SlotWords;) {
                core::FirmwareModule* module = nullptr;
                readModuleInfo(quint16(page * PageWords + slot * SlotWords), &module, coreVersion,
                    coreSubversion, deviceAddress);
                if (!module) {
                    ++slot;
                    continue;
                }
                const int size = module->getModuleSize();
                _buffer.addModule(module);
                slot += size > 0 ? size : 1;
            }
        } catch (const JsonRpcException&) {
            // A blank slot or a failed read ends the page; the next page is scanned.
        }
    }
    addFixedModules(bootloaderVersion, coreEnd, coreVersion, coreSubversion, deviceAddress);
}

void BootloaderProxy::addFixedModules(unsigned char bootloaderVersion, unsigned short coreEnd,
    unsigned char coreVersion, unsigned char coreSubversion, unsigned char deviceAddress)
{
    const QString extension = QStringLiteral("dat0");
    if (deviceAddress == 0) {
        if (!_buffer.getModuleById(CoreModule))
            _buffer.addModule(new core::FirmwareModule(CoreModule, coreVersion, coreSubversion,
                (int(coreEnd) - CoreModuleStart) / SlotWords, extension, CoreModuleStart));
        if (!_buffer.getModuleById(ParameterStoreModule))
            _buffer.addModule(new core::FirmwareModule(
                ParameterStoreModule, 1, 0, BootloaderSize, extension, ParameterStoreStart));
        _buffer.addModule(
            new core::FirmwareModule(BootloaderModule, bootloaderVersion, 0, BootloaderSize, extension, 0));
    } else if (deviceAddress == SecondProcessorAddress) {
        if (!_buffer.getModuleById(SecondCoreModule)) {
            if (coreVersion == 0 && coreSubversion == 0) {
                core::FirmwareModule* ignored = nullptr;
                readModuleInfo(0, &ignored, coreVersion, coreSubversion, SecondProcessorAddress);
                delete ignored;
            }
            _buffer.addModule(new core::FirmwareModule(
                SecondCoreModule, coreVersion, coreSubversion, SecondCoreSize, extension, CoreModuleStart));
        }
        _buffer.addModule(new core::FirmwareModule(
            SecondBootloaderModule, bootloaderVersion, 0, BootloaderSize, extension, 0));
    }
}

void BootloaderProxy::writeRows(QStringList rows, int& count, int& retryCount, unsigned char deviceAddress)
{
    const int status = _bootloader ? _bootloader->writeRows(rows, count, retryCount, deviceAddress)
                                   : core::ITF_ERR_UNSUPPORTED_FEATURE;
    if (status != core::ITF_OK)
        QM_PROXY_FAIL(tr("Failed to write firmware rows. error %1").arg(status));
}

void BootloaderProxy::readRows(unsigned short first, unsigned short last)
{
    if (first > last)
        return;
    // Counted in int: a last address near 0xFFFF must end the loop, not wrap it.
    for (int address = first & ~(core::Firmware::kWordsPerRow - 1); address <= int(last);
         address += core::Firmware::kWordsPerRow) {
        unsigned char version = 0;
        QString text;
        const int status = _bootloader ? _bootloader->readRowAddress(address, version, text, 0)
                                       : core::ITF_ERR_UNSUPPORTED_FEATURE;
        if (status != core::ITF_OK)
            QM_PROXY_FAIL(tr("Failed to read firmware row at address %1. error %2").arg(address).arg(status));
        _buffer.setFirmwareRow(quint16(address), text, true);
        _buffer.getDataStore()->setDSParameter(QStringLiteral("bootloader_version"), int(version));
    }
}

void BootloaderProxy::readDataStore(unsigned char& bootloaderVersion, unsigned short& processorId)
{
    readRows(DatastoreFirstRow, DatastoreLastWord);
    readDeviceInfo(bootloaderVersion, processorId, 0);
}

void BootloaderProxy::writeDataStore()
{
    core::DataStore* store = _buffer.getDataStore();
    if (!store->isInitialized())
        QM_PROXY_FAIL(tr("Datastore is empty"));
    store->convertParameterValuesToMemoryMap();
    QStringList rows;
    for (int address = DatastoreFirstRow; address <= DatastoreLastWord;
         address += core::Firmware::kWordsPerRow)
        rows << _buffer.getRowHexString(_buffer.getRowForAddress(address), false);
    int count = 0;
    int retryCount = 0;
    writeRows(rows, count, retryCount, 0);
}

QString BootloaderProxy::getDeviceConnectionDescription()
{
    core::Device* device = _target ? _target->getParentDevice() : nullptr;
    return tr("device %1 \"%2\" interface \"%3\"")
        .arg(device ? device->getId() : 0, 10)
        .arg(device ? device->getName() : QString())
        .arg(_target ? _target->getInterfaceTypeString() : QString());
}

void BootloaderProxy::bootloaderTimedOut()
{
    qCDebug(service::loggerGlog()).noquote() << QStringLiteral("Bootloader timed out (approximation)");
}

} // namespace tarvesk::itf
