#include "devices/dorvane_device.h"

#include "core/database/device_info_record.h"
#include "core/itf_error.h"
#include "core/parameters/raw_parameter_interface.h"
#include "core/step.h"
#include "core/universe.h"
#include "devices/dali_device.h"
#include "devices/dorvane_device_raw_brask_interface.h"
#include "devices/dorvane_device_raw_cur_interface.h"
#include "devices/nordhune_interfaces.h"
#include "interfaces/bootloader/bootloader_proxy.h"
#include "interfaces/bootloader/ibootloader.h"
#include "interfaces/dorvane/dorvane_dali_interface.h"
#include "interfaces/dorvane/dorvane_interface.h"
#include "interfaces/ibootloader_mode_control.h"
#include "log/logging_categories.h"

#include <memory>

namespace tarvesk::devices {

DorvaneDevice::DorvaneDevice(core::Universe* universe)
    : DorvaneMasterDevice(universe)
{
    addCapability(CAP_VD_FORMFACTOR);
    addCapability(CAP_FIRMWARE);
    addCapability(CAP_DATASTORE);
}

unsigned DorvaneDevice::getProductIdAddress() const
{
    return getVersion() >= IdentityMovedVersion ? 0x3FF9 : 0x97;
}

unsigned DorvaneDevice::getOemIdAddress() const
{
    return getVersion() >= IdentityMovedVersion ? 0x3FF8 : 0x301;
}

void DorvaneDevice::initializeInterfaces()
{
    auto* dorvane = qobject_cast<itf::DorvaneInterface*>(getInterface());
    auto* brask = new DorvaneDeviceRawBraskInterface(this, core::presmondeInterface(), dorvane);
    addRawParameterInterface(brask, true);
    addNordhuneInterfaces(*this, [&](const QString& name, int chip, MemoryLocation memory) {
        return new DorvaneDeviceRawCurInterface(this, name, brask, chip, memory);
    });
    unsigned int configuration = 0;
    if (brask->getParameter(core::ITF_RES_BYTE, int(ConfigurationAddress), configuration) == 0
        && (configuration & LightShapeBit))
        addCapability(CAP_LIGHTSHAPE);
}

int DorvaneDevice::queryStatus(unsigned char address)
{
    itf::DorvaneDaliInterface* dali = getLegacyDaliInterface();
    if (!dali)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    uchar answer = 0;
    return dali->queryCommand(address, DaliQueryStatus, &answer, hasDaliModuleCheck());
}

void DorvaneDevice::finalizeDevice()
{
    core::DeviceInfoRecord* record = getDeviceInfoRecord();
    if (!record || record->getAttribute(QStringLiteral("has_10v")).toBool()
        || record->getAttribute(QStringLiteral("has_dmx")).toBool())
        return;
    addDaliUniverse(true);
    queryStatus(DaliBroadcastQuery); // wakes the DALI side; the answer does not matter
    for (int i = 0; i < VirtualDaliDevices; ++i)
        addVirtualDaliDevice(i);
}

void DorvaneDevice::addVirtualDaliDevice(int index)
{
    core::Universe* universe = getDaliUniverse();
    if (!universe)
        return;
    const auto address = static_cast<unsigned char>(0x81 + 2 * index);
    if (queryStatus(address) != 0)
        return;
    auto device = std::make_unique<DaliDevice>(universe, address, true);
    device->setImmortality(true);
    const int status = device->initializeDeviceInfo(nullptr);
    if (status != 0) {
        qCCritical(service::loggerGlog()).noquote() << QStringLiteral(" *GLOG* ")
                + tr("Error %1 initializing DALI device with address %2").arg(status).arg(address);
        return;
    }
    if (universe->addDevice(device.get()))
        device.release();
}

int DorvaneDevice::profileSetPost(core::Step* step)
{
    if (!hasCapability(CAP_FIRMWARE))
        return 0;
    auto child = [step](const QString& name) { return step ? step->addChild(name) : nullptr; };
    auto finish = [](core::Step* stage, int status, const QString& text = QString()) {
        if (stage)
            stage->setResult(!text.isEmpty() ? text
                    : status == 0            ? QStringLiteral("ok")
                                             : QStringLiteral("error"));
    };
    core::NetworkInterface* port
        = getUniverse() ? getUniverse()->getInterface(core::ITF_TYPE_DEFAULT) : nullptr;

    core::Step* enter = child(QStringLiteral("Enter bootloader"));
    deviceHierarchyInfo(QStringLiteral("Starting bootloader as post profile set step"));
    auto* control = dynamic_cast<itf::IBootloaderModeControl*>(port);
    bool entered = false;
    int elapsedMs = 0;
    int status = control ? control->startBootloader(BootloaderStartTimeoutMs, entered, elapsedMs)
                         : core::ITF_ERR_UNSUPPORTED_FEATURE;
    // A start that ran its course without the driver entering its bootloader
    // did not restart the driver.
    if (status == 0 && !entered)
        status = core::ITF_ERR_NO_REPLY;
    finish(enter, status);
    if (status != 0)
        return status;

    core::Step* start = child(QStringLiteral("Start app"));
    deviceHierarchyInfo(QStringLiteral("Starting application as post profile set step"));
    auto* proxy = port ? qobject_cast<itf::BootloaderProxy*>(port->getBootloaderProxyInterface()) : nullptr;
    itf::IBootloader* bootloader = proxy ? proxy->getBootloaderInterface() : nullptr;
    if (bootloader) {
        status = bootloader->stopBootloaderMode();
        finish(start, status);
        if (status != 0)
            return status;
    } else {
        finish(start, 0, QStringLiteral("skipped"));
    }

    core::Step* query = child(QStringLiteral("Query DALI command (workaround)"));
    if (!getLegacyDaliInterface()) {
        finish(query, 0, QStringLiteral("skipped (no DALI)"));
        return 0;
    }
    status = queryStatus(DaliBroadcastQuery);
    finish(query, status);
    return status;
}

} // namespace tarvesk::devices
