#include "service/rpc/rpc_methods/device/rpc_device_firmware.h"

#include "core/device.h"
#include "core/device_manager.h"
#include "core/interface_type.h"
#include "core/network_interface.h"
#include "core/universe.h"
#include "core/universe_manager.h"
#include "interfaces/bootloader/bootloader_proxy.h"
#include "interfaces/bootloader/bootloader_state_machine.h"
#include "service/json_rpc_exception.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_value.h"

#include <cmath>

namespace tarvesk::service {

namespace {

constexpr int StartBootloaderTimeMs = 3000;

QList<core::Item*> itemsOfInterfaceType(const core::ItemList& list, const QString& interfaceType)
{
    QList<core::Item*> items;
    list.getItemListByAttribute(items, QStringLiteral("interface_type"), interfaceType);
    return items;
}

core::NetworkInterface* defaultInterfaceOf(core::Universe* universe)
{
    return universe ? universe->getInterface(core::ITF_TYPE_DEFAULT) : nullptr;
}

} // namespace

RpcDeviceFirmware::RpcDeviceFirmware(const QString& name)
    : RpcDeviceBase(name)
{ }

RpcDeviceFirmware::~RpcDeviceFirmware() = default;

core::Universe* RpcDeviceFirmware::findUniverseForDevice(int deviceId, const QString& interfaceType)
{
    // An interface device (a Vandrel box) names itself as the parent device of
    // the interfaces of its child universes.
    for (core::Item* item : itemsOfInterfaceType(core::UniverseManager::instance(), interfaceType)) {
        auto* universe = qobject_cast<core::Universe*>(item);
        core::NetworkInterface* itf = defaultInterfaceOf(universe);
        if (itf && itf->getParentDevice() && itf->getParentDevice()->getId() == deviceId)
            return universe;
    }
    for (core::Item* item : itemsOfInterfaceType(core::DeviceManager::instance(), interfaceType)) {
        auto* device = qobject_cast<core::Device*>(item);
        if (device && device->getId() == deviceId)
            return device->getUniverse();
    }
    return nullptr;
}

QString RpcDeviceFirmware::interfaceTypeOf(RpcRequest* request)
{
    RpcValue* type = request->getParam(QStringLiteral("interface_type"));
    return type ? type->getStringValue() : QStringLiteral("dorvane");
}

void RpcDeviceFirmware::getBootloaderUniverseByRequest(RpcRequest* request, core::Universe** universe)
{
    const QString interfaceType = interfaceTypeOf(request);
    RpcValue* deviceId = request->getParam(QStringLiteral("device_id"));
    if (deviceId && !deviceId->getDefaultValue()) {
        const int id = deviceId->getIntegerValue();
        if (!core::DeviceManager::instance().getItem(id)) {
            QM_THROW_JSONRPC(
                QStringLiteral("Device with 'device_id' %1 not found").arg(id), RPC_ERROR_INTERNAL);
        }
        core::Universe* found = findUniverseForDevice(id, interfaceType);
        if (!found) {
            QM_THROW_JSONRPC(
                QStringLiteral("Could not access universe of the device with device id '%1'").arg(id),
                RPC_ERROR_INTERNAL);
        }
        *universe = found;
        return;
    }

    const bool given = *universe != nullptr;
    const QList<core::Item*> candidates
        = itemsOfInterfaceType(core::UniverseManager::instance(), interfaceType);
    if (candidates.isEmpty()) {
        if (given)
            return;
        QM_THROW_JSONRPC(QStringLiteral("Universe with 'interface_type' '%1' not found").arg(interfaceType),
            RPC_ERROR_INTERNAL);
    }
    for (core::Item* item : candidates) {
        auto* candidate = qobject_cast<core::Universe*>(item);
        core::NetworkInterface* itf = defaultInterfaceOf(candidate);
        if (itf && itf->hasCapability(core::ITF_CAP_FACTORY)) {
            *universe = candidate;
            return;
        }
        if (given)
            return;
    }
    QM_THROW_JSONRPC(
        QStringLiteral("Firmware operations not supported for 'interface_type' '%1'").arg(interfaceType),
        RPC_ERROR_INTERNAL);
}

void RpcDeviceFirmware::getBootloaderProxy(
    RpcRequest* request, itf::BootloaderProxy** proxy, bool startBootloader)
{
    core::Universe* universe = nullptr;
    getBootloaderUniverseByRequest(request, &universe);
    core::NetworkInterface* itf = defaultInterfaceOf(universe);
    *proxy = itf ? qobject_cast<itf::BootloaderProxy*>(itf->getBootloaderProxyInterface()) : nullptr;
    if (!startBootloader)
        return;
    if (!*proxy) {
        QM_THROW_JSONRPC(QStringLiteral("No bootloader proxy channel found to communicate with device."),
            RPC_ERROR_INTERNAL);
    }
    if (!itf->hasCapability(core::ITF_CAP_EMBEDDED_BOOTLOADER_FUNCTIONS)) {
        // The machine reports its outcome by its signals; a driver that did not
        // enter its bootloader shows in the failures of the later commands.
        if (itf::BootloaderStateMachine* machine = (*proxy)->getBootloaderStateMachine())
            machine->startBootloader();
        return;
    }
    bool ok = false;
    int error = 0;
    (*proxy)->startBootloader(StartBootloaderTimeMs, ok, error);
    if (!ok) {
        QM_THROW_JSONRPC(
            QStringLiteral("No reply from bootloader, not able to enter boot mode."), RPC_ERROR_INTERNAL);
    }
}

bool RpcDeviceFirmware::wholeNumberIn(const RpcValue* value, int min, int max, int& number)
{
    if (!value || value->getType() != RpcValue::RPC_VALUE_DOUBLE)
        return false;
    const double given = value->getDoubleValue();
    if (!std::isfinite(given) || given != std::trunc(given) || given < min || given > max)
        return false;
    number = int(given);
    return true;
}

void RpcDeviceFirmware::throwWrapped(
    const QString& messageTemplate, const JsonRpcException& cause, const char* file, int line)
{
    throw JsonRpcException(
        messageTemplate.arg(cause.message()), RPC_ERROR_INTERNAL, QString::fromLatin1(file), line);
}

} // namespace tarvesk::service
