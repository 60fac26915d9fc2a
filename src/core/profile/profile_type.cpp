#include "core/profile/profile_type.h"

#include "core/network_interface.h"
#include "core/parameters/iparameter.h"
#include "core/profile/iprofile_type_parameters.h"

#include <QRegularExpression>

namespace tarvesk::core {

ProfileType::ProfileType(
    const QString& name, std::shared_ptr<IProfileTypeParameters> parameters, DeviceInfoRecord* record)
    : Item(name)
    , _interfaceText(getInterfaceTypeFromProfileTypeName(name))
    , _record(record)
    , _parameters(std::move(parameters))
{ }

void ProfileType::initMeta()
{
    qRegisterMetaType<IProfileTypeParameters*>("tarvesk::core::IProfileTypeParameters *");
    // What the schema's script-invokable methods return.
    qRegisterMetaType<IParameter*>();
}

QString ProfileType::getInterfaceTypeFromProfileTypeName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^(?P<class>.{2})(?P<oem_id>.{2})(?P<product_id>.{2})_(?P<name>.*?)_(?P<itf_type>.*)"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return QString();
    return NetworkInterface::interfaceFamilyFromType(match.captured(QStringLiteral("itf_type")));
}

InterfaceType ProfileType::getInterfaceType() const
{
    return NetworkInterface::interfaceTypeFromString(_interfaceText);
}

} // namespace tarvesk::core
