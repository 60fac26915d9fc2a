#include "service/rpc/rpc_methods/device/rpc_device_rawparam_base.h"

#include "core/device.h"
#include "core/interface_type.h"
#include "core/itf_error.h"
#include "core/parameters/raw_parameter_interface.h"
#include "core/universe.h"
#include "devices/dorvane_device.h"
#include "service/json_rpc_exception.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_value.h"
#include "service/string_exception.h"

#include <QStringList>

namespace tarvesk::service {

void RpcDeviceRawParamBase::validateInputParameters(RpcRequest* request)
{
    AbstractRpcMethod::validateInputParameters(request);
    const bool byDevice = request->getParam(QStringLiteral("device_id")) != nullptr;
    const bool byUniverse = request->getParam(QStringLiteral("universe_id")) != nullptr;
    if (byDevice && byUniverse) {
        QM_THROW_STRING(QStringLiteral(
            "Only one of two provided parameters ('%1' or '%2') can be provided for method '%3'")
                            .arg(QStringLiteral("device_id"), QStringLiteral("universe_id"), getName()));
    }
    if (!byDevice && !byUniverse) {
        QM_THROW_STRING(
            QStringLiteral("At least one of two parameters ('%1' or '%2') must be provided for method '%3'")
                .arg(QStringLiteral("device_id"), QStringLiteral("universe_id"), getName()));
    }
}

QString RpcDeviceRawParamBase::statusText(int status)
{
    switch (status) {
    case 0:
        return QStringLiteral("ok");
    // The box's parameter report says -6 when the driver behind it did not
    // answer in time: the same time-out as a driver that sent no reply.
    case core::ITF_ERR_NO_REPLY:
    case core::ITF_ERR_TIMEOUT:
        return QStringLiteral("time-out");
    case core::ITF_ERR_UNSUPPORTED_PARAMETER:
        return QStringLiteral("unsupported param");
    default:
        return QStringLiteral("unknown error (%1)").arg(status);
    }
}

core::Device* RpcDeviceRawParamBase::targetDevice(
    RpcRequest* request, std::unique_ptr<core::Device>& temporary)
{
    RpcValue* universeId = request->getParam(QStringLiteral("universe_id"));
    if (!universeId)
        return deviceOf(request);

    // A negative id names no universe; it must not fall through to a device
    // look-up without a device id.
    const int id = universeId->getIntegerValue();
    _universe = nullptr;
    core::Universe* universe = id >= 0 && getUniverseById(request, QString()).isOk() ? _universe : nullptr;
    if (!universe)
        QM_THROW_JSONRPC(QStringLiteral("Invalid universe Id: %1").arg(id), RPC_ERROR_INVALID_PARAMS);
    if (!universe->getInterface(core::ITF_TYPE_DORVANE)) {
        QM_THROW_JSONRPC(
            QStringLiteral("Universe %1 has no Dorvane interface").arg(id), RPC_ERROR_INVALID_PARAMS);
    }
    // A driver on the port, reached without a search: only its raw interfaces,
    // no identity and no parameters; never listed, freed with the request.
    auto driver = std::make_unique<devices::DorvaneDevice>(universe);
    driver->initializeInterfaces();
    temporary = std::move(driver);
    return temporary.get();
}

core::RawParameterInterface* RpcDeviceRawParamBase::rawInterface(
    core::Device* device, RpcRequest* request, int missingCode)
{
    RpcValue* type = request->getParam(QStringLiteral("param_type"));
    const QString name = type ? type->getStringValue() : QString();
    if (core::RawParameterInterface* itf = device->getRawParameterInterface(name))
        return itf;
    QStringList names;
    for (auto it = device->rawInterfaceBegin(); it != device->rawInterfaceEnd(); ++it)
        names.append(QStringLiteral("\"%1\"").arg(it.key()));
    QM_THROW_JSONRPC(QStringLiteral("Interface not found, the following are available: ")
            + names.join(QStringLiteral(", ")),
        missingCode);
}

int RpcDeviceRawParamBase::addressOf(RpcRequest* request)
{
    RpcValue* given = request->getParam(QStringLiteral("address"));
    bool ok = false;
    const int address = given && given->isDoubleValue() ? given->toInteger(&ok) : 0;
    if (!ok)
        QM_THROW_JSONRPC(QStringLiteral("Address value is not an integer value"), RPC_ERROR_INVALID_PARAMS);
    if (address < 0 || address > MaxAddress) {
        QM_THROW_JSONRPC(QStringLiteral("Address %1 is outside 0 to %2").arg(address).arg(MaxAddress),
            RPC_ERROR_INVALID_PARAMS);
    }
    return address;
}

} // namespace tarvesk::service
