#include "core/profile/profile_manager.h"

#include "core/core_errors.h"
#include "core/parameters/parameter.h"
#include "core/profile/profile.h"
#include "core/profile/profile_type.h"
#include "log/logging_categories.h"
#include "service/database/abstract_database.h"

#include <QDate>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariantMap>

#include <cmath>

namespace tarvesk::core {

QJsonArray ProfileManager::profilesArray;

namespace {

const QString kCaspelinkType = QStringLiteral("00007f_Caspelink 561_DORVANE_WY");

bool isAbsent(const QVariantMap& map, const QString& key)
{
    const QVariant value = map.value(key);
    return !value.isValid() || value.isNull() || value.userType() == QMetaType::Nullptr;
}

bool isAbsent(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    return value.isUndefined() || value.isNull();
}

bool finiteNumber(const QVariant& value, double& out)
{
    if (value.userType() == QMetaType::QString)
        return false;
    bool ok = false;
    out = value.toDouble(&ok);
    return ok && std::isfinite(out);
}

void warnKept(const Parameter* parameter, const QString& key, const QVariant& value)
{
    qCWarning(service::rpcServerMethod()).noquote()
        << QStringLiteral("Profile parameter \"%1\": %2 %3 is not usable, the definition is kept")
               .arg(parameter->getIdentifier(), key, value.toString());
}

// Applies one parameter object. A member that is absent (or null) keeps what
// the profile type defines, and a member that cannot be used (a step that is
// not a positive number, a limit that is not a number, a value the parameter
// refuses) keeps it as well, with a warning.
void applyParameterObject(Parameter* parameter, const QVariantMap& map)
{
    double number = 0;
    if (!isAbsent(map, QStringLiteral("step_size"))) {
        const QVariant step = map.value(QStringLiteral("step_size"));
        if (finiteNumber(step, number) && number > 0)
            parameter->setUnscaledStepSize(number);
        else
            warnKept(parameter, QStringLiteral("step_size"), step);
    }
    if (!isAbsent(map, QStringLiteral("max_value"))) {
        const QVariant max = map.value(QStringLiteral("max_value"));
        if (finiteNumber(max, number))
            parameter->setMaxValue(max);
        else
            warnKept(parameter, QStringLiteral("max_value"), max);
    }
    if (!isAbsent(map, QStringLiteral("min_value"))) {
        const QVariant min = map.value(QStringLiteral("min_value"));
        if (finiteNumber(min, number))
            parameter->setMinValue(min);
        else
            warnKept(parameter, QStringLiteral("min_value"), min);
    }
    if (!isAbsent(map, QStringLiteral("value"))) {
        const QVariant value = map.value(QStringLiteral("value"));
        try {
            parameter->setScaledValue(value, IParameter::UPDATE_NO);
        } catch (const ParameterError&) {
            warnKept(parameter, QStringLiteral("value"), value);
        }
    }
    // Absent: the parameter stays out of the profile (disabled).
    if (!isAbsent(map, QStringLiteral("enabled")))
        parameter->setEnabled(map.value(QStringLiteral("enabled")).toBool());
    if (!isAbsent(map, QStringLiteral("hide")))
        parameter->setHidden(map.value(QStringLiteral("hide")).toBool());
    if (!isAbsent(map, QStringLiteral("access_level")))
        parameter->setAccessLevel(map.value(QStringLiteral("access_level")).toString());
    if (!isAbsent(map, QStringLiteral("readonly")))
        parameter->setReadOnly(map.value(QStringLiteral("readonly")).toBool());
    if (!isAbsent(map, QStringLiteral("enum_options"))) {
        QStringList options = map.value(QStringLiteral("enum_options")).toStringList();
        parameter->setEnumOptions(options);
    }
}

int hexPair(const QString& text, int position)
{
    bool ok = false;
    const int value = text.mid(position, 2).toInt(&ok, 16);
    return ok ? value : 0;
}

} // namespace

ProfileManager& ProfileManager::instance()
{
    static ProfileManager manager;
    return manager;
}

ProfileManager::~ProfileManager()
{
    clear();
}

QJsonArray ProfileManager::GetProfileArray()
{
    return profilesArray;
}

QJsonValue ProfileManager::GetJsonProfileByName(const QString& name)
{
    for (const QJsonValue& element : profilesArray) {
        // A copy of its own, through its JSON text.
        const QJsonDocument copy = QJsonDocument::fromJson(QJsonDocument(element.toObject()).toJson());
        const QJsonObject object = copy.object();
        if (element.isObject() && object.value(QStringLiteral("name")).toString() == name)
            return object;
    }
    return QJsonValue(QJsonValue::Null);
}

Profile* ProfileManager::getProfileFromJsonString(
    service::AbstractDatabase* database, const QJsonValue& value, int& status)
{
    status = 0;
    const QJsonObject object = value.toObject();
    const QString typeName = object.value(QStringLiteral("type")).toString();
    ProfileType* type = database ? database->profileType(typeName) : nullptr;
    if (!type) {
        status = STATUS_UNKNOWN_PROFILE_TYPE;
        return nullptr;
    }

    QString driverTypeName;
    int oemId = 0;
    int productId = 0;
    if (isAbsent(object, QStringLiteral("driver_info"))) {
        const QStringList parts = typeName.split(QLatin1Char('_'));
        if (parts.size() >= 3) {
            driverTypeName = parts.at(1);
            oemId = hexPair(parts.at(0), 2);
            productId = hexPair(parts.at(0), 4);
        } else {
            oemId = -1;
            productId = -1;
        }
    } else {
        const QJsonObject info = object.value(QStringLiteral("driver_info")).toObject();
        driverTypeName = info.value(QStringLiteral("device_name")).toString();
        oemId = info.value(QStringLiteral("oem_id")).toInt(0);
        productId = info.value(QStringLiteral("product_id")).toInt(0);
    }

    auto* profile = new Profile(object.value(QStringLiteral("name")).toString(),
        object.value(QStringLiteral("description")).toString(), type, driverTypeName, oemId, productId,
        object.value(QStringLiteral("id")).toString(), Profile::PROFILE_VERSION, Profile::PROFILE_SUBVERSION);

    profile->setDateCreated(isAbsent(object, QStringLiteral("date_created"))
            ? QDate::currentDate().toString(QStringLiteral("dd MMM yyyy"))
            : object.value(QStringLiteral("date_created")).toString());

    // A version without a minor part reads as minor 0; none at all keeps 1.00.
    const QString version = object.value(QStringLiteral("version")).toString();
    if (!version.isEmpty()) {
        const QStringList parts = version.split(QLatin1Char('.'));
        profile->setVersion(parts.at(0).toInt(), parts.size() > 1 ? parts.at(1).toInt() : 0);
    }

    profile->setLocked(object.value(QStringLiteral("locked")).toBool(false));

    for (auto it = profile->parameterBegin(); it != profile->parameterEnd(); ++it)
        it.value()->setEnabled(false);

    const QJsonArray parameters = object.value(QStringLiteral("parameters")).toArray();
    for (const QJsonValue& element : parameters) {
        if (!element.isObject())
            continue;
        const QJsonObject parameterObject = element.toObject();
        const QString pid = parameterObject.value(QStringLiteral("pid")).toString();
        auto* parameter = qobject_cast<Parameter*>(profile->getParameter(pid));
        if (!parameter)
            continue;
        const QVariantMap map = parameterObject.toVariantMap();
        applyParameterObject(parameter, map);
        if (typeName == kCaspelinkType && pid == QLatin1String("light_shaping_active")
            && !map.value(QStringLiteral("readonly")).toBool()) {
            parameter->setReadOnly(true);
            qCDebug(service::rpcServerMethod()).noquote()
                << QStringLiteral("Forced profile %1 to have lx active as readonly parameter, as profile is "
                                  "00007f_Caspelink 561_DORVANE_WY")
                       .arg(profile->getName());
        }
    }
    return profile;
}

void ProfileManager::SetProfileArray(service::AbstractDatabase* database, const QJsonArray& array)
{
    profilesArray = array;
    clear();
    for (const QJsonValue& element : array) {
        int status = 0;
        Profile* profile = getProfileFromJsonString(database, element, status);
        if (status == 0 && profile)
            add(profile, true);
    }
}

} // namespace tarvesk::core
