#include "service/rpc/rpc_methods/profile/rpc_profile_create.h"

#include "core/device.h"
#include "core/device_manager.h"
#include "core/itf_error.h"
#include "core/parameters/iparameter.h"
#include "core/profile/profile.h"
#include "core/profile/profile_manager.h"
#include "core/profile/profile_type.h"
#include "service/database/abstract_database.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/profile/profile_method_support.h"
#include "service/rpc/rpc_types/rpc_type_action_result.h"
#include "service/rpc/rpc_types/rpc_type_profile.h"
#include "service/rpc_error_codes.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"
#include "service/string_exception.h"

#include <QDebug>
#include <QMutexLocker>

#include <memory>

namespace tarvesk::service {

namespace {

// Their device values describe the light shaping a driver was tuned to; a
// default would undo that tuning.
bool isLightShapingIdentifier(const QString& identifier)
{
    return identifier == QLatin1String("light_shaping_settings")
        || identifier == QLatin1String("light_shaping_dt8")
        || identifier == QLatin1String("light_shaping_control_strategy");
}

bool isUnsupported(int status)
{
    return status == core::ITF_ERR_UNSUPPORTED_FEATURE || status == core::ITF_ERR_UNSUPPORTED_PARAMETER
        || status == core::ITF_ERR_UNSUPPORTED_MODULE;
}

int hexPair(const QString& text, int at)
{
    bool ok = false;
    const int value = text.mid(at, 2).toInt(&ok, 16);
    return ok && text.size() >= at + 2 ? value : 0;
}

} // namespace

RpcProfileCreate::RpcProfileCreate()
    : AbstractRpcMethod(QStringLiteral("profile.create"))
    , _versionMajor(core::Profile::PROFILE_VERSION)
    , _versionMinor(core::Profile::PROFILE_SUBVERSION)
{ }

QList<RpcRequestParameter> RpcProfileCreate::inputParameters() const
{
    return {
        RpcRequestParameter(RpcRequestEnums::PARAM_PROFILE_NAME, QVariant(), true),
        RpcRequestParameter(RpcRequestEnums::PARAM_PROFILE_DESCRIPTION, QVariant(), true),
        RpcRequestParameter(
            RpcRequestEnums::PARAM_VERSION, QStringLiteral("1.0"), false, RpcRequestEnums::TYPE_STRING),
        RpcRequestParameter(RpcRequestEnums::PARAM_ACCESS_LEVEL, QStringLiteral("user_basic"), false,
            RpcRequestEnums::TYPE_STRING),
        RpcRequestParameter(
            RpcRequestEnums::PARAM_PROFILE_TYPE, QString(), false, RpcRequestEnums::TYPE_STRING),
        RpcRequestParameter(RpcRequestEnums::PARAM_DEVICE_ID, -1, false, RpcRequestEnums::TYPE_INTEGER),
        RpcRequestParameter(RpcRequestEnums::PARAM_DEFAULT_VALUES, true, false, RpcRequestEnums::TYPE_BOOL),
        RpcRequestParameter(RpcRequestEnums::PARAM_LOCKED, false, false, RpcRequestEnums::TYPE_BOOL),
    };
}

void RpcProfileCreate::validateInputParameters(RpcRequest* request)
{
    // Before the defaults are filled in: only what the client sent counts.
    profile_support::requireOneOf(
        request, QStringLiteral("device_id"), QStringLiteral("profile_type"), getName());
    AbstractRpcMethod::validateInputParameters(request);

    const QStringList parts
        = request->getParam(QStringLiteral("version"))->getStringValue().split(QLatin1Char('.'));
    if (parts.size() != 2)
        QM_THROW_STRING(QStringLiteral("version required to be in format x.y"));
    bool ok = false;
    _versionMajor = parts[0].toInt(&ok, 10);
    if (!ok)
        QM_THROW_STRING(QStringLiteral("Invalid value for major version"));
    _versionMinor = parts[1].toInt(&ok, 10);
    if (!ok)
        QM_THROW_STRING(QStringLiteral("Invalid value for minor version"));
}

QString RpcProfileCreate::uniqueName(const QString& requested)
{
    QString candidate = requested;
    for (int n = 1; profile_support::findProfile(candidate); ++n)
        candidate = QStringLiteral("%1(%2)").arg(requested).arg(n);
    return candidate;
}

RpcMethodError RpcProfileCreate::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const QString name = uniqueName(request->getParam(QStringLiteral("profile_name"))->getStringValue());
    const QString description = request->getParam(QStringLiteral("profile_description"))->getStringValue();
    const QString typeName = request->getParam(QStringLiteral("profile_type"))->getStringValue();
    const QString accessLevel = request->getParam(QStringLiteral("access_level"))->getStringValue();
    if (name.isEmpty()) {
        response->setResultValue(new RpcTypeActionResult(
            QStringLiteral("error"), QStringLiteral("Profile name may not be empty")));
        return {};
    }

    // Ours until the store takes it: every failure on the way frees it.
    const int deviceId = request->getParam(QStringLiteral("device_id"))->getIntegerValue();
    std::unique_ptr<core::Profile> profile(deviceId == -1
            ? fromProfileType(typeName, name, description)
            : fromDevice(deviceId, name, description, accessLevel,
                request->getParam(QStringLiteral("default_values"))->getBoolValue()));
    profile->setLocked(request->getParam(QStringLiteral("locked"))->getBoolValue());

    response->setResultValue(new RpcTypeProfile(profile.get(), accessLevel));
    if (!core::ProfileManager::instance().add(profile.get(), true))
        QM_THROW_JSONRPC(
            QStringLiteral("Could not add profile '%1' to the store").arg(name), RPC_ERROR_INTERNAL);
    profile.release();
    return {};
}

core::Profile* RpcProfileCreate::fromProfileType(
    const QString& typeName, const QString& name, const QString& description) const
{
    core::ProfileType* type = _database ? _database->profileType(typeName) : nullptr;
    const QStringList parts = typeName.split(QLatin1Char('_'));
    if (!type || parts.size() < 2)
        QM_THROW_JSONRPC(QStringLiteral("Invalid profile type '%1'").arg(typeName), RPC_ERROR_INTERNAL);
    // "CCOOPP_<product>_<interface>": class, OEM id and product id in hex.
    return new core::Profile(name, description, type, parts[1], hexPair(parts[0], 2), hexPair(parts[0], 4),
        QString(), _versionMajor, _versionMinor);
}

core::Profile* RpcProfileCreate::fromDevice(int deviceId, const QString& name, const QString& description,
    const QString& accessLevel, bool defaultValues) const
{
    auto* device = qobject_cast<core::Device*>(core::DeviceManager::instance().getItem(deviceId));
    if (!device)
        QM_THROW_JSONRPC(QStringLiteral("Device %1 not found").arg(deviceId), RPC_ERROR_INTERNAL);
    if (!device->getProfileType()) {
        QM_THROW_JSONRPC(
            QStringLiteral("Device %1 with %2 is a virtual driver").arg(device->getName()).arg(deviceId),
            RPC_ERROR_INTERNAL);
    }
    auto profile
        = std::make_unique<core::Profile>(name, description, device->getProfileType(), device->getName(),
            int(device->getOemId()), int(device->getProductId()), QString(), _versionMajor, _versionMinor);

    QMutexLocker lock(device->getDeviceMutex());
    for (auto it = profile->parameterBegin(); it != profile->parameterEnd(); ++it) {
        core::IParameter* parameter = it.value();
        if (!parameter->isAccessLevelSupported(accessLevel))
            continue;
        core::IParameter* own = device->getParameterInterface(parameter->getIdentifier());
        if (!own) {
            parameter->setAccessLevel(QStringLiteral("dev"));
            continue;
        }
        QVariant value;
        const int status = own->getValue(value, core::IParameter::UPDATE_YES);
        // A driver that says it does not support the parameter has answered;
        // anything else unread asks whether the driver still answers at all
        // (many drivers have no "version" parameter to ask).
        if (!value.isValid() && !isUnsupported(status)) {
            core::IParameter* version = device->getParameterInterface(QStringLiteral("version"));
            QVariant versionValue;
            if (!version || version->getValue(versionValue, core::IParameter::UPDATE_YES) != 0
                || !versionValue.isValid()) {
                QM_THROW_JSONRPC(QStringLiteral("Connection lost with device %1 with id %2")
                                     .arg(device->getName())
                                     .arg(deviceId),
                    RPC_ERROR_INTERNAL);
            }
        }
        if (!value.isValid()) {
            qDebug().noquote() << QStringLiteral(
                "   Parameter %1 set as DEV type in profile as value is invalid "
                "(possibly not supported by this device.)")
                                      .arg(parameter->getIdentifier());
            parameter->setAccessLevel(QStringLiteral("dev"));
            continue;
        }
        parameter->copyFrom(own);
        if (!own->isValid()) {
            parameter->setAccessLevel(QStringLiteral("dev"));
            continue;
        }
        if (!defaultValues || isLightShapingIdentifier(own->getIdentifier()))
            continue;
        try {
            // A default outside the limits is taken as the nearer limit, as the
            // parameter takes any value beyond them.
            parameter->setScaledValue(own->getDefaultValue(), core::IParameter::UPDATE_NO);
        } catch (const std::runtime_error& e) {
            // No usable default: the profile keeps the device's current value.
            qWarning().noquote() << QStringLiteral("Default of parameter %1 not taken: %2")
                                        .arg(parameter->getIdentifier(), QString::fromUtf8(e.what()));
        }
    }
    return profile.release();
}

} // namespace tarvesk::service
