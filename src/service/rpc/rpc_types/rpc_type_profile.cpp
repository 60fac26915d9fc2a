#include "service/rpc/rpc_types/rpc_type_profile.h"

#include "core/parameters/iparameter.h"
#include "core/profile/iprofile_type_parameters.h"
#include "core/profile/profile.h"
#include "core/profile/profile_type.h"
#include "service/rpc/rpc_types/rpc_type_parameter.h"
#include "service/rpc_array.h"
#include "service/rpc_value.h"

#include <algorithm>

namespace tarvesk::service {

namespace {

bool paramLessThan(const core::IParameter* a, const core::IParameter* b)
{
    if (a->getGroup() != b->getGroup())
        return a->getGroup() < b->getGroup();
    return a->getDisplayName() < b->getDisplayName();
}

} // namespace

RpcTypeProfile::RpcTypeProfile(core::Profile* profile, const QString& accessLevel)
{
    addChild(QStringLiteral("name"), new RpcValue(profile->getName()));
    addChild(QStringLiteral("description"), new RpcValue(profile->getDescription()));
    addChild(QStringLiteral("type"), new RpcValue(profile->getTypeName()));
    addChild(QStringLiteral("version"), new RpcValue(profile->getVersionString()));
    addChild(QStringLiteral("id"), new RpcValue(profile->getIdentifier()));
    addChild(QStringLiteral("date_created"), new RpcValue(profile->getDateCreated()));
    addChild(QStringLiteral("locked"), new RpcValue(profile->isLocked()));

    auto* driver = new RpcObject;
    driver->addChild(QStringLiteral("device_name"), new RpcValue(profile->driverTypeName()));
    driver->addChild(QStringLiteral("oem_id"), new RpcValue(profile->driverOemId()));
    driver->addChild(QStringLiteral("product_id"), new RpcValue(profile->driverProductId()));
    addChild(QStringLiteral("driver_info"), driver);

    const QByteArray level = accessLevel.toUtf8();
    QList<core::IParameter*> chosen
        = profile->getParameters(std::string_view(level.constData(), size_t(level.size())));
    chosen.erase(
        std::remove_if(chosen.begin(), chosen.end(),
            [&](core::IParameter* p) { return !p->isEnabled() || !p->isAccessLevelSupported(accessLevel); }),
        chosen.end());
    std::stable_sort(chosen.begin(), chosen.end(), paramLessThan);
    addChild(QStringLiteral("parameters"),
        new RpcTypeParameterArray(std::vector<core::IParameter*>(chosen.begin(), chosen.end())));
}

RpcTypeProfileType::RpcTypeProfileType(core::ProfileType* profileType)
{
    addChild(QStringLiteral("name"), new RpcValue(profileType->getName()));
    addChild(QStringLiteral("display_name"), new RpcValue(profileType->getName()));
    std::shared_ptr<core::IProfileTypeParameters> schema = profileType->getParameters();
    addChild(QStringLiteral("parameters"),
        new RpcTypeParameterArray(schema ? schema->getList() : std::vector<core::IParameter*>()));
}

} // namespace tarvesk::service
