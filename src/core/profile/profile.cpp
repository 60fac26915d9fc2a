#include "core/profile/profile.h"

#include "core/parameters/iparameter.h"
#include "core/profile/iprofile_type_parameters.h"
#include "core/profile/profile_type.h"

#include <QDate>
#include <QUuid>

#include <cstdlib>

namespace tarvesk::core {

Profile::Profile(const QString& name, QString description, ProfileType* profileType, QString driverTypeName,
    int driverOemId, int driverProductId, QString identifier, int versionMajor, int versionMinor)
    : Item(name)
    , _description(std::move(description))
    , _profileType(profileType)
    , _driverTypeName(std::move(driverTypeName))
    , _driverOemId(driverOemId)
    , _driverProductId(driverProductId)
    , _versionMajor(versionMajor)
    , _versionMinor(versionMinor)
    , _identifier(std::move(identifier))
{
    _versionText = versionText(versionMajor, versionMinor);
    if (_identifier.isEmpty())
        _identifier = QUuid::createUuid().toString(QUuid::WithBraces);
    _dateCreated = QDate::currentDate().toString(QStringLiteral("dd MMM yyyy"));
    initParameterList();
}

Profile::~Profile()
{
    qDeleteAll(_parameters);
}

QString Profile::getTypeName() const
{
    return _profileType ? _profileType->getName() : QString();
}

QString Profile::versionText(int major, int minor)
{
    return QStringLiteral("%1.%2").arg(major).arg(minor, 2, 10, QLatin1Char('0'));
}

void Profile::setVersion(int major, int minor)
{
    _versionMajor = major;
    _versionMinor = minor;
    _versionText = versionText(major, minor);
}

void Profile::addParameter(IParameter* parameter)
{
    if (!parameter || _parameters.contains(parameter->getIdentifier()))
        return;
    _parameters.insert(parameter->getIdentifier(), parameter->clone());
}

int Profile::removeParameter(const QString& identifier)
{
    IParameter* copy = _parameters.take(identifier);
    if (!copy)
        return 0;
    delete copy;
    return 1;
}

QList<IParameter*> Profile::getParameters(std::string_view accessLevel) const
{
    QList<IParameter*> list;
    for (IParameter* parameter : _parameters) {
        const QByteArray level = parameter->getAccessLevel().toUtf8();
        if (parameter->isEnabled()
            && std::string_view(level.constData(), size_t(level.size())) == accessLevel)
            list.append(parameter);
    }
    return list;
}

void Profile::initParameterList()
{
    if (!_profileType)
        return;
    std::shared_ptr<IProfileTypeParameters> schema = _profileType->getParameters();
    if (!schema)
        return;
    const std::vector<IParameter*> list = schema->getList();
    for (IParameter* parameter : list) {
        if (parameter && !_parameters.contains(parameter->getIdentifier()))
            _parameters.insert(parameter->getIdentifier(), parameter->clone());
    }
    for (IParameter* parameter : list) {
        if (parameter && parameter->getPid() == QLatin1String("light_shaping_active")
            && parameter->getActualValue().toBool())
            _lightShapeActive = true;
    }
}

QString Profile::generateControlTag()
{
    return QString::number(std::rand(), 16);
}

} // namespace tarvesk::core
