#pragma once

#include "devices/lib_usb_device.h"
#include "interfaces/iusb_vandrel_device.h"

#include <QByteArray>
#include <QMap>
#include <QPointer>

#include <memory>
#include <vector>

namespace tarvesk::core {
class DeviceInfoDatabase;
class ProfileType;
class Thread;
} // namespace tarvesk::core

namespace tarvesk::itf {
class DmxInterface;
class UsbVandrelDaliInterface;
class UsbVandrelDataMonitor;
} // namespace tarvesk::itf

namespace tarvesk::proto {
class RawPacket;
}

namespace tarvesk::devices {

// The Vandrel USB programming interface as a device. Once claimed it reads its
// firmware version, subversion and capability byte, derives its capabilities,
// creates its parameters (its own registers and its Dorvane controller's), its
// raw parameter interfaces, the bus interfaces with one child universe per bus,
// and from firmware 13 on its "USB monitor" thread, whose data monitor polls
// the box and hands every record to the device's packet log.
//
// All of that is made once per device. A reconnect (the "connection_status"
// parameter) only restarts the monitor; a disconnect stops it and waits for its
// pass before the handle closes. Destruction stops the monitor, removes the
// child universes Dorvane, DALI and DMX in that order (each bus interface goes
// with its universe) and then closes the handle.
//
// The two hardware releases are subclasses (UsbVandrel18_10Device,
// UsbVandrel20_14Device); UsbVandrelDeviceFactory picks one.
class UsbVandrelDevice : public LibUsbDevice, public itf::IUsbVandrelDevice
{
    Q_OBJECT

public:
    // Attempts at the version register before the box counts as unreadable.
    static constexpr int VersionReads = 20;
    static constexpr int MonitorPeriodMs = 5;
    static constexpr unsigned int FirstMonitorFirmware = 13;

    explicit UsbVandrelDevice(core::Universe* universe);
    ~UsbVandrelDevice() override;

    int initializeDeviceInfo(service::AbstractDatabase* database) override;
    void initializeInterfaces() override;
    // Stops the monitor and waits for its pass, then closes the handle.
    bool deviceDisconnect() override;

    int getParamCallback(core::Parameter* param) override;
    int setParamCallback(core::Parameter* param, QVariant value) override;

    // The block of status bytes of the newer release; nothing here.
    virtual int getStatusData(QByteArray& out);

    // --- IUsbVandrelDevice ---
    libusb_device_handle* getDeviceHandle() const override { return LibUsbDevice::getDeviceHandle(); }
    bool hasDataMonitor() const override { return _monitor != nullptr; }
    void installPacketMutex(proto::PacketMutex* packetMutex) override;
    void restartMonitor(int intervalMs) override;
    void attachRecordSink(itf::IVandrelRecordSink* sink) override;
    void detachRecordSink(itf::IVandrelRecordSink* sink) override;
    void tellRecordSinks(const std::function<void(itf::IVandrelRecordSink&)>& tell) override;

    itf::UsbVandrelDataMonitor* getDataMonitor() const { return _monitor; }
    itf::DmxInterface* getDmxInterface() const { return _dmxUniverse ? _dmx : nullptr; }
    unsigned int getCapabilityByte() const { return _capabilityByte; }
    const QMap<QString, int>& modeMap() const { return _modes; }
    const QMap<int, QString>& reverseModeMap() const { return _modeNames; }

public slots:
    // Runs on the monitor thread (direct connection); the log takes the packet.
    void logPacket(tarvesk::proto::RawPacket* packet);

protected:
    void addMode(const QString& name, int number);
    virtual void initDorvaneInfoParameters();

    // Helpers of the callbacks: read the register at the parameter's width and
    // set the value (masked to 0 or 1 when the parameter has a mask), or the
    // name that the map gives the number ("unkown" without one). 0 or the read status.
    int getParamHelper(core::Parameter* param, core::RawParameterInterface* raw, unsigned char address);
    int getEnumParamHelper(core::Parameter* param, core::RawParameterInterface* raw, unsigned char address,
        const QMap<int, QString>& names);
    // The box's own registers and its Dorvane controller's RAM; null when missing.
    core::RawParameterInterface* presmonde();
    core::RawParameterInterface* dorvaneRam();
    // The device's parameter of that name, or null.
    core::Parameter* parameter(const QString& identifier);
    // Reads the parameter through its callback (as a client read would).
    int readParameter(const QString& identifier, QVariant& value);
    int writeParameter(const QString& identifier, const QVariant& value);

private:
    int basicSetUp();
    void createParameterGroup(const QString& group);
    void readSerialNumber();
    void addCapabilitiesFromVersion();
    void addCapabilitiesFromCapabilityByte();
    void lookUpProductRecord();
    void startMonitor();
    // Waits (bounded) until the monitor has drained what the box held before it was opened.
    void awaitMonitorPrimed();
    void stopMonitor();
    void createBusInterfaces();
    void removeChildUniverses();

    QMap<QString, int> _modes;
    QMap<int, QString> _modeNames;
    itf::DmxInterface* _dmx = nullptr;             // owned by the DMX universe
    itf::UsbVandrelDaliInterface* _dali = nullptr; // owned by the DALI universe
    QPointer<core::Universe> _dmxUniverse;
    QPointer<core::Universe> _daliUniverse;
    QPointer<core::Universe> _dorvaneUniverse;
    std::shared_ptr<core::Thread> _monitorThread;
    itf::UsbVandrelDataMonitor* _monitor = nullptr;     // lives on _monitorThread
    std::vector<itf::IVandrelRecordSink*> _recordSinks; // request threads; handed to each monitor
    bool _interfacesMade = false;
    unsigned int _serialNumber = 0;
    unsigned int _capabilityByte = 0;
    std::shared_ptr<core::DeviceInfoDatabase> _products;
    core::ProfileType* _usbProfileType = nullptr; // held by the product database
};

} // namespace tarvesk::devices
