#include "service/rpc/rpc_methods/application/rpc_application_reset.h"

#include "core/device.h"
#include "core/device_manager.h"
#include "core/network_interface.h"
#include "core/profile/profile_manager.h"
#include "core/universe.h"
#include "service/rpc/rpc_types/rpc_type_action_result.h"
#include "service/rpc_response.h"

#include <QPointer>

namespace tarvesk::service {

RpcApplicationReset::RpcApplicationReset()
    : AbstractRpcMethod(QStringLiteral("application.reset"))
{ }

RpcMethodError RpcApplicationReset::handleRequest(RpcRequest*, RpcResponse* response)
{
    QList<core::Device*> devices;
    core::DeviceManager::instance().getDeviceList(devices, core::ITF_TYPE_ALL);
    // Removing a device may delete the devices behind it (a Vandrel box takes its
    // bus universes with it): watch each one instead of trusting the snapshot.
    QList<QPointer<core::Device>> watched;
    for (core::Device* device : qAsConst(devices))
        watched.append(device);
    for (const QPointer<core::Device>& device : qAsConst(watched)) {
        if (!device)
            continue;
        core::NetworkInterface* itf = device->getInterface();
        if (itf && itf->getParentDevice())
            continue; // reached through another device
        if (core::Universe* universe = device->getUniverse())
            universe->removeDevice(device, false);
    }
    core::ProfileManager::instance().clear();
    response->setResultValue(
        new RpcTypeActionResult(QStringLiteral("ok"), QStringLiteral("Application reset")));
    return {};
}

} // namespace tarvesk::service
