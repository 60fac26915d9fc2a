#include "devices/usb_vandrel_device.h"

#include <algorithm>

#include "core/database/device_info_database.h"
#include "core/database/oem_info_record.h"
#include "core/itf_error.h"
#include "core/parameters/raw_parameter_interface.h"
#include "core/thread.h"
#include "core/thread_manager.h"
#include "core/universe_manager.h"
#include "devices/usb_vandrel_raw_brask_interface.h"
#include "devices/usb_vandrel_raw_dorvane_interface.h"
#include "interfaces/dmx/dmx_spi_internal_interface.h"
#include "interfaces/lib_usb_interface.h"
#include "interfaces/usb_vandrel_dali_interface.h"
#include "interfaces/usb_vandrel_data_monitor.h"
#include "interfaces/usb_vandrel_dmx_interface.h"
#include "interfaces/usb_vandrel_dorvane_interface.h"
#include "interfaces/usb_vandrel_legacy_dmx_interface.h"
#include "log/logging_categories.h"
#include "protocol/raw_packet.h"
#include "service/database/abstract_database.h"
#include "universes/dali_universe.h"
#include "universes/dmx_universe.h"
#include "universes/dorvane_universe.h"

namespace tarvesk::devices {

namespace {

// The box's product record in the product database.
constexpr unsigned char kVandrelDeviceClass = 0;
constexpr unsigned char kVandrelOemId = 0;
constexpr unsigned char kVandrelProductId = 43;
// Capability byte: the box carries SPI in its DMX frames.
constexpr unsigned int kDmxSpiBit = 0x02;

} // namespace

UsbVandrelDevice::UsbVandrelDevice(core::Universe* universe)
    : LibUsbDevice(universe)
{
    addCapability(CAP_ESTABLISH_CONNECTION);
    addMode(QStringLiteral("off"), 0);
    addMode(QStringLiteral("dv1_host"), 1);
    addMode(QStringLiteral("dv1_device"), 2);
}

UsbVandrelDevice::~UsbVandrelDevice()
{
    qCDebug(service::loggerGlog()).noquote()
        << QStringLiteral("Removing USB Vandrel device %1").arg(QString::fromUtf8(getIdentificationString()));
    // The monitor polls through this device's handle: it ends before the handle
    // closes, and before the interfaces it hands packets to.
    if (_monitor) {
        qCDebug(service::loggerGlog()).noquote() << "Stopping USB Vandrel log monitor";
        _monitor->stopAndWait();
        // Deleted on its own thread as that thread ends; joined by quit().
        _monitor->deleteLater();
        _monitor = nullptr;
    }
    if (_monitorThread) {
        _monitorThread->quit();
        _monitorThread.reset();
    }
    removeChildUniverses();
    if (isOpen())
        LibUsbDevice::deviceDisconnect();
}

void UsbVandrelDevice::addMode(const QString& name, int number)
{
    _modes.insert(name, number);
    _modeNames.insert(number, name);
}

int UsbVandrelDevice::initializeDeviceInfo(service::AbstractDatabase* database)
{
    _products = database ? database->products() : nullptr;
    if (_products) {
        if (std::shared_ptr<core::OemInfoRecord> oem = _products->getOemRecord(kVandrelOemId))
            setManufacturerString(QString::fromStdString(oem->getName()));
    }
    lookUpProductRecord();
    _usbProfileType = database ? database->profileType(QStringLiteral("usb")) : nullptr;
    return 0;
}

void UsbVandrelDevice::lookUpProductRecord()
{
    std::shared_ptr<core::DeviceInfoRecord> record = _products
        ? _products->getProductRecord(
            kVandrelDeviceClass, kVandrelOemId, kVandrelProductId, uint16_t(getVersion() & 0xFFFF))
        : nullptr;
    // The product database keeps its records for as long as it lives.
    setDeviceInfoRecord(record.get());
}

void UsbVandrelDevice::initializeInterfaces()
{
    if (_interfacesMade) {
        startMonitor();
        return;
    }
    _interfacesMade = true;
    qCDebug(service::loggerGlog()).noquote() << "Initializing USB Vandrel interfaces";
    if (basicSetUp() != 0) {
        qCWarning(service::loggerGlog()).noquote() << GLOG_PREFIX
                                                   << "Failed to initialize the basic Vandrel parameters "
                                                      "which are required to initialize the interfaces";
    }
    if (getVersion() >= FirstMonitorFirmware)
        startMonitor();
    createBusInterfaces();
    if (!hasCapability(CAP_VD_FIX_DORVANE_HANGUP))
        setStatus(STATUS_DORVANE_RESET_TRIGGER, 1);
}

void UsbVandrelDevice::createBusInterfaces()
{
    // Each interface is owned by the universe it is added to; the DMX-SPI and
    // Dorvane interfaces send through the DMX interface, so their universe goes first.
    itf::DmxInterface* dmx = nullptr;
    itf::DmxSpiInternalInterface* dmxSpi = nullptr;
    if (getVersion() < FirstMonitorFirmware) {
        dmx = new itf::UsbVandrelLegacyDmxInterface(this);
    } else {
        dmx = new itf::UsbVandrelDmxInterface(this);
        if (_capabilityByte & kDmxSpiBit)
            dmxSpi = new itf::DmxSpiInternalInterface(this, dmx);
    }
    dmx->init();
    _dmx = dmx;
    _dmxUniverse = new universes::DmxUniverse(QStringLiteral("DMX"), dmx);
    addChildUniverse(_dmxUniverse);

    _dali = new itf::UsbVandrelDaliInterface(this);
    _dali->init();
    _daliUniverse = new universes::DaliUniverse(QStringLiteral("DALI"), _dali);
    addChildUniverse(_daliUniverse);

    auto* dorvane = new itf::UsbVandrelDorvaneInterface(this, dmx);
    dorvane->init();
    _dorvaneUniverse = new universes::DorvaneUniverse(QStringLiteral("Dorvane"), dorvane);
    if (dmxSpi && !_dorvaneUniverse->addInterface(dmxSpi))
        delete dmxSpi;
    addChildUniverse(_dorvaneUniverse);

    addRawParameterInterface(
        new UsbVandrelRawDorvaneInterface(this, QStringLiteral("dorvane_ee"), dmx, MEM_EE, false), false);
    addRawParameterInterface(new UsbVandrelRawDorvaneInterface(
                                 this, QStringLiteral("dorvane_ram"), dmx, MEM_RAM, getSubversion() < 7),
        false);
}

void UsbVandrelDevice::removeChildUniverses()
{
    // Each bus interface goes with its universe; none may outlive the one it
    // sends through, hence this order.
    for (QPointer<core::Universe>* universe : {&_dorvaneUniverse, &_daliUniverse, &_dmxUniverse}) {
        if (*universe)
            removeChildUniverse(universe->data());
        *universe = nullptr;
    }
    _dali = nullptr;
    _dmx = nullptr;
}

int UsbVandrelDevice::basicSetUp()
{
    setSubversion(0);
    addRawParameterInterface(
        new UsbVandrelRawBraskInterface(this, core::presmondeInterface(), getLibUsbInterface()), true);
    core::RawParameterInterface* raw = presmonde();

    unsigned int value = 0;
    int status = core::ITF_ERR_TRANSFER;
    for (int read = 0; read < VersionReads; ++read) {
        // Read whole: a version register is one byte, so a set high byte means
        // the box did not answer sensibly (a byte read would hide it).
        status = raw->getParameter(core::ITF_RES_WORD, 0, value);
        if (status == 0 && value >= 256)
            status = core::ITF_ERR_TRANSFER;
        if (status == 0)
            break;
    }
    if (status != 0) {
        qCCritical(service::loggerGlog()).noquote()
            << GLOG_PREFIX << tr("Failed to read the version of the Vandrel");
        return status;
    }
    setVersion(value);
    // Firmware 13 and later have a product record of their own.
    lookUpProductRecord();
    if (_usbProfileType)
        setProfileType(_usbProfileType);

    if (raw->getParameter(core::ITF_RES_BYTE, 1, value) == 0)
        setSubversion(value);

    for (const char* group : {"Calibration", "Info", "Config", "DALI", "DMX"})
        createParameterGroup(QString::fromLatin1(group));
    initDorvaneInfoParameters();
    createParameterGroup(QStringLiteral("Dorvane Config"));
    setRevisionString(QStringLiteral("%1.%2").arg(getVersion()).arg(getSubversion()));

    addCapabilitiesFromVersion();
    if (raw->getParameter(core::ITF_RES_BYTE, 3, value) == 0)
        _capabilityByte = value;
    addCapabilitiesFromCapabilityByte();
    return 0;
}

void UsbVandrelDevice::initDorvaneInfoParameters()
{
    createParameterGroup(QStringLiteral("Dorvane Info"));
}

void UsbVandrelDevice::addCapabilitiesFromVersion()
{
    const unsigned version = getVersion();
    const unsigned subversion = getSubversion();
    const struct
    {
        bool condition;
        Capability capability;
    } table[] = {
        {version >= 13, CAP_VD_LARGE_PACKETS},
        {version >= 19, CAP_VD_CONFIG_DALI_SETTLING_TIME},
        {version >= 16, CAP_VD_TIMEOUT_EVENT},
        {subversion >= 7, CAP_VD_DORVANE_ATOMIC_READ},
        {subversion >= 12, CAP_VD_CORRECT_CHECKSUM},
        {version >= 18, CAP_VD_BOOTLOADER_SPAM},
        {version >= 19, CAP_VD_BOOTLOADER_SPAM_RELIABILITY_UPDATE},
        {version >= 21, CAP_VD_PARAM_GETSET},
    };
    for (const auto& row : table) {
        if (row.condition)
            addCapability(row.capability);
    }
}

void UsbVandrelDevice::addCapabilitiesFromCapabilityByte()
{
    const unsigned bits = _capabilityByte;
    const unsigned subversion = getSubversion();
    if (bits & 0x20)
        addCapability(CAP_VD_BANANA_MODE);
    if ((bits & 0x40) || subversion >= 11) {
        addCapability(CAP_DV2);
        if (subversion >= 12)
            addCapability(CAP_VD_FIX_DORVANE_HANGUP);
    }
    if (bits & 0x10)
        addCapability(CAP_VD_CORVALT_DALI);
    if (bits & 0x04)
        addCapability(CAP_VD_DV_MASTER);
    if (getVersion() >= 14)
        addCapability(CAP_VD_DALI_REPLY_SUPPORT);
    if (bits & 0x20)
        addCapability(CAP_VD_FACTORY);
    if (getVersion() >= 20)
        addCapability(CAP_VD_EMBEDDED_BOOTLOADER_FUNCTIONS);
}

void UsbVandrelDevice::startMonitor()
{
    if (getVersion() < FirstMonitorFirmware)
        return;
    if (_monitor) {
        _monitor->resume(MonitorPeriodMs);
        awaitMonitorPrimed();
        return;
    }
    itf::LibUsbInterface* usb = getLibUsbInterface();
    if (!usb)
        return;
    // Not the virtual accessor: the monitor may still poll while the classes above this one are destroyed.
    _monitor = new itf::UsbVandrelDataMonitor([this] { return LibUsbDevice::getDeviceHandle(); }, usb);
    _monitorThread = core::ThreadManager::instance()->newThread(QStringLiteral("USB monitor"));
    _monitor->moveToThread(_monitorThread->getThreadPtr());
    _monitorThread->start();
    connect(_monitor, &itf::UsbVandrelDataMonitor::newPacketDetected, this, &UsbVandrelDevice::logPacket,
        Qt::DirectConnection);
    for (itf::IVandrelRecordSink* sink : _recordSinks)
        _monitor->attachRecordSink(sink);
    _monitor->init(MonitorPeriodMs);
    awaitMonitorPrimed();
}

void UsbVandrelDevice::awaitMonitorPrimed()
{
    // No frame goes out before the box's earlier records are out of the way:
    // they would be taken for the records of the same frames sent now.
    if (!_monitor->waitUntilPrimed()) {
        qCWarning(service::loggerGlog()).noquote()
            << GLOG_PREFIX
            << QStringLiteral("USB monitor could not drain the interface after opening it (waited at "
                              "most %1 ms); exchanges fail as busy until it does")
                   .arg(itf::UsbVandrelDataMonitor::PrimeTimeoutMs);
    }
}

void UsbVandrelDevice::stopMonitor()
{
    if (_monitor)
        _monitor->stopAndWait();
}

bool UsbVandrelDevice::deviceDisconnect()
{
    // A poll still under way when the wait ends keeps the handle open until it
    // is done: the transport closes a handle only between exchanges, and the
    // monitor asks for the handle under the same lock.
    stopMonitor();
    return LibUsbDevice::deviceDisconnect();
}

void UsbVandrelDevice::installPacketMutex(proto::PacketMutex* packetMutex)
{
    if (_monitor)
        _monitor->installPacketMutex(packetMutex);
}

void UsbVandrelDevice::restartMonitor(int intervalMs)
{
    if (_monitor)
        _monitor->start(intervalMs);
}

void UsbVandrelDevice::attachRecordSink(itf::IVandrelRecordSink* sink)
{
    if (!sink || std::find(_recordSinks.begin(), _recordSinks.end(), sink) != _recordSinks.end())
        return;
    _recordSinks.push_back(sink);
    if (_monitor)
        _monitor->attachRecordSink(sink);
}

void UsbVandrelDevice::detachRecordSink(itf::IVandrelRecordSink* sink)
{
    _recordSinks.erase(std::remove(_recordSinks.begin(), _recordSinks.end(), sink), _recordSinks.end());
    if (_monitor)
        _monitor->detachRecordSink(sink);
}

void UsbVandrelDevice::tellRecordSinks(const std::function<void(itf::IVandrelRecordSink&)>& tell)
{
    if (_monitor)
        _monitor->tellRecordSinks(tell);
}

void UsbVandrelDevice::logPacket(proto::RawPacket* packet)
{
    if (packet)
        getPacketLog()->addPacket(packet);
}

int UsbVandrelDevice::getStatusData(QByteArray&)
{
    return 0;
}

} // namespace tarvesk::devices
