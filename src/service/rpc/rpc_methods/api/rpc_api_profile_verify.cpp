#include "service/rpc/rpc_methods/api/rpc_api_profile_verify.h"

#include "core/device.h"
#include "core/group_filter.h"
#include "core/itf_error.h"
#include "core/parameters/iparameter.h"
#include "core/profile/profile.h"
#include "log/logging_categories.h"
#include "service/rpc/rpc_methods/api/rpc_api_profile_match.h"
#include "service/rpc_object.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"
#include "service/rpc_value.h"

#include <map>
#include <optional>
#include <vector>

namespace tarvesk::service {

namespace {

const QString kAccessLevel = QStringLiteral("user_basic");

// The D4i memory-bank groups of bus power supply, energy data and diagnostics
// (IEC 62386-250, -252, -253): the gear's own measurements, never a
// profile's values, so they are not read.
const char* const diagnosticGroups[] = {
    "Integrated bus power supply",
    "Active energy and power",
    "Apparent energy and power",
    "Load side energy and power",
    "Control gear diagnostics and maintenance",
    "Light source diagnostics and maintenance",
};

// Lightshape parameters are compared only while the profile's lightshape is
// active; its version and default forward voltages never are.
bool skipped(const core::IParameter& parameter, const core::Profile& profile)
{
    if (parameter.getGroup().toLower().contains(QLatin1String("lightshape")) && !profile.isLightShapeActive())
        return true;
    const QString pid = parameter.getPid().toLower();
    return pid == QLatin1String("light_shaping_version")
        || pid == QLatin1String("light_shaping_default_forward_voltages");
}

core::IParameter* findByPid(const std::vector<core::IParameter*>& parameters, const QString& pid)
{
    for (core::IParameter* parameter : parameters) {
        if (parameter->getPid() == pid)
            return parameter;
    }
    return nullptr;
}

} // namespace

RpcApiProfileVerify::RpcApiProfileVerify()
    : RpcDeviceBase(QStringLiteral("uut.profile.verify"))
{ }

QList<RpcRequestParameter> RpcApiProfileVerify::inputParameters() const
{
    return api_profile::inputParameters();
}

RpcMethodError RpcApiProfileVerify::handleRequest(RpcRequest* request, RpcResponse* response)
{
    const int id = request->getParam(QStringLiteral("device_id"))->getIntegerValue();
    const QString name = request->getParam(QStringLiteral("profile_name"))->getStringValue();
    const core::Profile* profile = api_profile::loadedProfile(name);
    core::Device* device = nullptr;
    findDevice(id, &device);
    api_profile::requireSameProfileType(*device, *profile);
    const QList<core::IParameter*> expected = profile->getParameters(kAccessLevel.toStdString());

    std::vector<std::string> groups(std::begin(diagnosticGroups), std::end(diagnosticGroups));
    core::GroupFilter filter;
    filter.setGroups(groups);
    filter.setOperation(core::GroupFilter::OPERATION_NOT_IN);
    std::vector<core::IParameter*> read;
    std::map<QString, int> unreadable;
    if (device->getAccessibleParameterList(kAccessLevel, true, read, &filter, &unreadable)
        == core::ITF_ERR_NO_DEVICE)
        throwConnectionLost(device);

    std::optional<QString> failure;
    for (const core::IParameter* parameter : expected) {
        if (skipped(*parameter, *profile)) {
            qCDebug(rpcServerMethod()).noquote()
                << QStringLiteral("...skipped lx parameter %1").arg(parameter->getPid());
            continue;
        }
        // A parameter the device should have shown but could not read is no
        // pass: its value is unknown.
        const auto failed = unreadable.find(parameter->getPid());
        if (failed != unreadable.end()) {
            failure = QStringLiteral("Parameter %1 could not be read from the device: %2")
                          .arg(parameter->getPid(), core::itfErrorToString(failed->second));
            break;
        }
        const core::IParameter* onDevice = findByPid(read, parameter->getPid());
        if (!onDevice || onDevice->getActualValue() == parameter->getActualValue())
            continue;
        failure = QStringLiteral("Parameter %1 does not match device parameter. Profile: %2, Device: %3")
                      .arg(parameter->getPid(), parameter->getActualValue().toString(),
                          onDevice->getActualValue().toString());
        break;
    }

    auto* result = new RpcObject;
    result->addChild(QStringLiteral("success"), new RpcValue(!failure));
    if (failure)
        result->addChild(QStringLiteral("message"), new RpcValue(*failure));
    response->setResultValue(result);
    return {};
}

} // namespace tarvesk::service
