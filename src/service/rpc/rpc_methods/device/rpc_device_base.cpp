#include "service/rpc/rpc_methods/device/rpc_device_base.h"

#include "core/device.h"
#include "core/device_manager.h"
#include "core/interface_type.h"
#include "core/itf_error.h"
#include "core/network_interface.h"
#include "core/parameters/iparameter.h"
#include "core/parameters/parameter.h"
#include "core/universe.h"
#include "core/universe_manager.h"
#include "devices/usb_vandrel_device.h"
#include "devices/usb_vandrel_device_factory.h"
#include "search/search_result.h"
#include "search/search_results.h"
#include "search/universe_searcher.h"
#include "search/usb_search_options.h"
#include "service/json_rpc_exception.h"
#include "service/rpc_array.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_value.h"

#include <QThread>

#include <memory>

namespace tarvesk::service {

RpcDeviceBase::RpcDeviceBase(const QString& name)
    : AbstractRpcMethod(name)
{ }

RpcDeviceBase::~RpcDeviceBase() = default;

bool RpcDeviceBase::findDevice(int id, core::Device** device)
{
    *device = qobject_cast<core::Device*>(core::DeviceManager::instance().getItem(id));
    if (!*device)
        QM_THROW_JSONRPC(QStringLiteral("Device with id %1 not found").arg(id), RPC_ERROR_INTERNAL);
    core::NetworkInterface* itf = (*device)->getInterface();
    if (!itf) {
        QM_THROW_JSONRPC(
            QStringLiteral("Interface type for Device with id %1 not found").arg(id), RPC_ERROR_INTERNAL);
    }
    // A device behind an interface device that is gone is gone too.
    core::Device* parent = itf->getParentDevice();
    if (parent && !parent->isConnected())
        (*device)->deviceDisconnect();
    if (!(*device)->isConnected())
        QM_THROW_JSONRPC(QStringLiteral("Device with id %1 not connected").arg(id), RPC_ERROR_INTERNAL);
    return true;
}

void RpcDeviceBase::findParameter(core::Device* device, RpcValue* pid, core::IParameter** parameter)
{
    const QString text = pid ? pid->getStringValue() : QString();
    if (!device)
        QM_THROW_JSONRPC(QStringLiteral("Internal error, no device..."), RPC_ERROR_INTERNAL);
    *parameter = device->getParameterInterface(text);
    if (!*parameter)
        QM_THROW_JSONRPC(
            QStringLiteral("Parameter with pid \"%1\" not found").arg(text), RPC_ERROR_INVALID_PARAMS);
}

int RpcDeviceBase::getDebugLevel(RpcRequest* request) const
{
    RpcValue* level = request->getParam(QStringLiteral("debug_level"));
    if (!level)
        return 0;
    bool ok = false;
    const int value = level->toInteger(&ok);
    return ok ? value : 0;
}

core::Device* RpcDeviceBase::deviceOf(RpcRequest* request)
{
    core::Device* device = nullptr;
    findDevice(request->getParam(QStringLiteral("device_id"))->getIntegerValue(), &device);
    return device;
}

void RpcDeviceBase::throwConnectionLost(core::Device* device)
{
    QM_THROW_JSONRPC(
        QStringLiteral("Connection lost with device %1: %2").arg(device->getId()).arg(device->getName()),
        RPC_ERROR_SERVER);
}

namespace {

// Time the box needs to take up its slave role before the bus is used.
constexpr int SlaveSwitchMs = 50;

core::Universe* universeOfType(const QString& interfaceType)
{
    return qobject_cast<core::Universe*>(core::UniverseManager::instance().getItemByAttribute(
        QStringLiteral("interface_type"), interfaceType));
}

} // namespace

void RpcDeviceBase::listNewBoxes(core::Universe* usb)
{
    // The boxes already listed are left as they are (the listing skips what the
    // universe holds); each new one becomes a device with its child universes.
    search::UsbSearchOptions vandrels;
    devices::UsbVandrelDeviceFactory::registerIn(vandrels);
    search::SearchResults found;
    if (usb->getSearcher()->search(&vandrels, &found) != core::ITF_OK)
        return;
    for (search::SearchResult* result : found) {
        std::unique_ptr<core::Device> device(result->createDevice());
        if (!device || device->initializeDeviceInfo(database().get()) != core::ITF_OK
            || device->init() != core::ITF_OK)
            continue;
        core::Device* added = device.release();
        if (!usb->addDevice(added))
            delete added;
    }
}

RpcMethodError RpcDeviceBase::getUniverseById(RpcRequest* request, const QString& interfaceType)
{
    if (RpcValue* id = request->getParam(QStringLiteral("universe_id"))) {
        bool ok = false;
        const int number = id->toInteger(&ok);
        if (!ok)
            return RpcMethodError(RPC_ERROR_INVALID_PARAMS, tr("'universe_id' parameter not a number"));
        _universe = qobject_cast<core::Universe*>(core::UniverseManager::instance().getItem(number));
        if (!_universe) {
            return RpcMethodError(
                RPC_ERROR_INTERNAL, tr("Universe with 'universe_id' %1 not found").arg(number));
        }
        return {};
    }
    _universe = universeOfType(interfaceType);
    if (_universe)
        return {};
    // The universe of a box plugged in since the last listing appears with the next one.
    core::Universe* usb = universeOfType(QStringLiteral("usb"));
    if (usb && usb->getSearcher()) {
        listNewBoxes(usb);
        _universe = universeOfType(interfaceType);
    }
    if (!_universe)
        return RpcMethodError(RPC_ERROR_INVALID_PARAMS, tr("Could not find a valid universe"));
    return {};
}

int RpcDeviceBase::enableDorvaneSlaveModus(core::Universe* universe)
{
    core::NetworkInterface* bus = universe ? universe->getInterface(core::ITF_TYPE_DORVANE) : nullptr;
    core::Device* root = bus ? bus->getParentDevice() : nullptr;
    if (!root)
        return core::ITF_OK;
    // Up the chain of interfaces to the box that carries the bus.
    for (core::NetworkInterface* itf = root->getInterface(); itf && itf->getParentDevice();
         itf = root->getInterface())
        root = itf->getParentDevice();
    auto* box = dynamic_cast<devices::UsbVandrelDevice*>(root);
    if (!box)
        return core::ITF_ERR_NO_DEVICE;
    if (box->isStatusTrue(core::Device::STATUS_DORVANE_SLAVE_ENABLED))
        return core::ITF_OK;
    const int status = box->setStatus(core::Device::STATUS_DORVANE_SLAVE_ENABLED, 1);
    QThread::msleep(SlaveSwitchMs);
    return status;
}

void RpcDeviceBase::initObjectFromParameterSet(RpcObject* object, QVector<core::Parameter*>* parameters)
{
    auto* list = new RpcArray;
    if (parameters) {
        for (const core::Parameter* parameter : *parameters) {
            auto* entry = new RpcObject;
            entry->addChild(QStringLiteral("identifier"), new RpcValue(parameter->getIdentifier()));
            list->addChild(entry);
        }
    }
    object->addChild(QStringLiteral("parameters"), list);
}

bool RpcDeviceBase::updateFlagOf(RpcRequest* request)
{
    RpcValue* update = request->getParam(QStringLiteral("update"));
    if (!update)
        return true;
    std::unique_ptr<RpcValue> read(update->clone());
    if (!read->convertToBool())
        QM_THROW_JSONRPC(QStringLiteral("parameter update must be a boolean"), RPC_ERROR_INVALID_PARAMS);
    return read->getBoolValue();
}

} // namespace tarvesk::service
