#include "service/rpc/rpc_methods/device/rpc_device_create.h"

#include "core/profile/profile_type.h"
#include "core/universe_manager.h"
#include "devices/virtual_device.h"
#include "interfaces/virtual_interface.h"
#include "service/database/abstract_database.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_types/rpc_type_device.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"
#include "universes/virtual_universe.h"

#include <QMutex>
#include <QMutexLocker>

#include <memory>

namespace tarvesk::service {

namespace {

const QString kVirtualUniverseName = QStringLiteral("Virtual");

} // namespace

RpcDeviceCreate::RpcDeviceCreate()
    : RpcDeviceBase(QStringLiteral("device.create"))
{ }

QList<RpcRequestParameter> RpcDeviceCreate::inputParameters() const
{
    return {RpcRequestParameter(RpcRequestEnums::PARAM_PROFILE_TYPE, QVariant(), true)};
}

core::Universe* RpcDeviceCreate::getVirtualUniverse()
{
    // Two first calls at once must not make two universes of that name.
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    core::UniverseManager& universes = core::UniverseManager::instance();
    if (auto* found = qobject_cast<core::Universe*>(
            universes.getItemByAttribute(QStringLiteral("name"), kVirtualUniverseName)))
        return found;
    auto* universe = new universes::VirtualUniverse(kVirtualUniverseName, new itf::VirtualInterface(nullptr));
    if (!universes.add(universe)) {
        delete universe;
        return nullptr;
    }
    return universe;
}

RpcMethodError RpcDeviceCreate::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const QString name = request->getParam(QStringLiteral("profile_type"))->getStringValue();
    core::ProfileType* type = _database ? _database->profileType(name) : nullptr;
    if (!type) {
        QM_THROW_JSONRPC(
            QStringLiteral("profile type %1 not found in database.").arg(name), RPC_ERROR_INTERNAL);
    }
    const QString failed = QStringLiteral("Could not create virtual device of type %1").arg(type->getName());
    core::Universe* universe = getVirtualUniverse();
    if (!universe)
        QM_THROW_JSONRPC(failed, RPC_ERROR_INTERNAL);

    // Until the universe lists it, the device is ours to delete.
    auto device = std::make_unique<devices::VirtualDevice>(universe, type);
    device->deviceConnect();
    device->setName(type->getName());
    if (device->initializeDeviceInfo(_database.get()) != 0 || device->init() != 0)
        QM_THROW_JSONRPC(failed, RPC_ERROR_INTERNAL);
    if (!universe->addDevice(device.get()))
        QM_THROW_JSONRPC(failed, RPC_ERROR_INTERNAL);
    devices::VirtualDevice* created = device.release();
    response->setResultValue(new RpcTypeDevice(created));
    return {};
}

} // namespace tarvesk::service
