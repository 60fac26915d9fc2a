#pragma once

#include "core/firmware.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace tarvesk::core {
class FirmwareModule;
class NetworkInterface;
} // namespace tarvesk::core

namespace tarvesk::proto {
class Options;
class WystrelPacket;
} // namespace tarvesk::proto

namespace tarvesk::itf {

class BootloaderStateMachine;
class IBootloader;

// The one front through which the firmware work reaches the bootloader of
// one driver behind a bus interface: module search, device information, rows,
// the datastore, the application start. Everything read is kept in the
// proxy's firmware buffer. Failures of bootloader commands and row operations
// throw a JsonRpcException with code -32603; the mode forwarders return a bus
// status instead.
class BootloaderProxy : public QObject
{
    Q_OBJECT

public:
    static constexpr int ErrorCode = -32603;
    static constexpr int DeviceInfoRow = 0x8000;
    static constexpr int DeviceIdWord = 0x8006;
    static constexpr int DatastoreFirstRow = 0x780;
    static constexpr int DatastoreLastWord = 0x7FF;
    static constexpr int CoreModuleStart = 512;
    static constexpr int ParameterStoreStart = 15872;
    static constexpr int SlotWords = 256;
    static constexpr int PageWords = 2048;
    static constexpr int DefaultPageCount = 8;
    static constexpr int PageCountRetries = 3;

    // Takes the bootloader and the state machine; connects the bootloader's
    // signals to the machine directly.
    BootloaderProxy(core::NetworkInterface* targetInterface, IBootloader* bootloader,
        BootloaderStateMachine* stateMachine);
    ~BootloaderProxy() override;

    core::NetworkInterface* getTargetInterface() const { return _target; }
    IBootloader* getBootloaderInterface() const { return _bootloader; }
    BootloaderStateMachine* getBootloaderStateMachine() const { return _stateMachine; }
    core::Firmware& getInterfaceFirmwareBuffer() { return _buffer; }

    // Forwarders to the target interface's mode control; -13 without one.
    int startBootloader(int timeoutMs, bool& entered, int& elapsedMs);
    int sendBootloaderSpam(int timeMs, bool& entered, int& elapsedMs);

    int sendBootloaderDmxCommand(
        proto::WystrelPacket& request, proto::Options& options, proto::WystrelPacket& answer);
    void sendWriteTemperatureCorrection(unsigned char value);
    int sendStartApp();
    void sendReadNoPages(
        unsigned short& coreEnd, unsigned char& pageCount, int retryCount, unsigned char deviceAddress);
    void sendCheckChecksum(int count);
    void sendReadPageInfoFirst(int address, unsigned short& moduleId, unsigned char& size,
        unsigned char& coreVersion, unsigned char deviceAddress);
    void sendReadPageInfoSecond(int address, unsigned char& version, unsigned char& subversion,
        unsigned char& coreSubversion, unsigned char deviceAddress);

    bool searchDeviceAtAddress(unsigned char deviceAddress);
    void readDeviceInfo(
        unsigned char& bootloaderVersion, unsigned short& processorId, unsigned char deviceAddress);
    // Hands a new module to the caller (through module) for an id of 1 to 2046.
    void readModuleInfo(unsigned short address, core::FirmwareModule** module, unsigned char& coreVersion,
        unsigned char& coreSubversion, unsigned char deviceAddress);
    void searchModules(
        unsigned char& bootloaderVersion, unsigned short& processorId, unsigned char deviceAddress);
    void writeRows(QStringList rows, int& count, int& retryCount, unsigned char deviceAddress);
    // Every row from the one holding first to the one holding last, each stored
    // at its own row start.
    void readRows(unsigned short first, unsigned short last);
    void readDataStore(unsigned char& bootloaderVersion, unsigned short& processorId);
    void writeDataStore();
    QString getDeviceConnectionDescription();

public slots:
    void bootloaderTimedOut();

private:
    void addFixedModules(unsigned char bootloaderVersion, unsigned short coreEnd, unsigned char coreVersion,
        unsigned char coreSubversion, unsigned char deviceAddress);

    core::NetworkInterface* _target; // not owned
    core::Firmware _buffer;
    IBootloader* _bootloader;              // owned
    BootloaderStateMachine* _stateMachine; // owned
};

} // namespace tarvesk::itf
