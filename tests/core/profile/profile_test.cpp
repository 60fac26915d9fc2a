#include "core/parameters/parameter.h"
#include "core/profile/iprofile_type_parameters.h"
#include "core/profile/profile.h"
#include "core/profile/profile_manager.h"
#include "core/profile/profile_type.h"
#include "fake_product_database.h"

#include <QDate>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace tarvesk::core;
using tarvesk::test::FakeProductDatabase;

namespace {

const QString kCaspelink = QStringLiteral("00007f_Caspelink 561_DORVANE_WY");

Parameter* schemaParameter(const QString& id, const QString& level = QStringLiteral("user_basic"))
{
    auto* p = new Parameter(id, ITF_RES_BYTE, Parameter::PARAM_READ_WRITE);
    p->setAccessLevel(level);
    return p;
}

// Two profile types with the same small schema: "output_current" (a number
// 0..1000 in steps of 0.5, read-only, hidden), "dimming_curve" (an enum) and
// "light_shaping_active" (a boolean).
class ProfileTest : public ::testing::Test
{
protected:
    ProfileTest()
    {
        for (const QString& name :
            {QStringLiteral("000102_Gear_DALI"), kCaspelink, QStringLiteral("0001_Short")}) {
            auto* current = schemaParameter(QStringLiteral("output_current"), QStringLiteral("oem"));
            current->setMinValue(0);
            current->setMaxValue(1000);
            current->setStepSize(0.5);
            current->setReadOnly(true);
            current->setHidden(true);
            current->setActualValue(350);
            auto* curve = schemaParameter(QStringLiteral("dimming_curve"));
            curve->setParameterType(PARAM_TYPE_ENUM);
            curve->setEnumOptions({QStringLiteral("logarithmic"), QStringLiteral("linear")});
            curve->setActualValue(QStringLiteral("logarithmic"));
            auto* lx = schemaParameter(QStringLiteral("light_shaping_active"));
            lx->setParameterType(PARAM_TYPE_BOOLEAN);
            lx->setActualValue(false);
            database.addProfileType(name, {current, curve, lx});
        }
        gear = database.profileType(QStringLiteral("000102_Gear_DALI"));
    }

    Profile* read(const QJsonObject& object, int* statusOut = nullptr)
    {
        int status = 1;
        Profile* profile = ProfileManager::getProfileFromJsonString(&database, object, status);
        if (statusOut)
            *statusOut = status;
        made.emplace_back(profile);
        return profile;
    }
    static QJsonObject json(const char* text) { return QJsonDocument::fromJson(text).object(); }
    static Parameter* param(Profile* profile, const char* id)
    {
        return qobject_cast<Parameter*>(profile->getParameter(QString::fromLatin1(id)));
    }

    FakeProductDatabase database;
    ProfileType* gear = nullptr;
    std::vector<std::unique_ptr<Profile>> made;
};

} // namespace

TEST_F(ProfileTest, IdentifierVersionAndDateOfANewProfile)
{
    Profile a(QStringLiteral("a"), QString(), gear, QString(), 0, 0, QString(), 1, 0);
    Profile b(QStringLiteral("b"), QString(), gear, QString(), 0, 0, QString(), 1, 0);
    EXPECT_EQ(a.getIdentifier().size(), 38);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\{[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}\\}$"))
                    .match(a.getIdentifier())
                    .hasMatch());
    EXPECT_NE(a.getIdentifier(), b.getIdentifier());
    EXPECT_EQ(a.getDateCreated(), QDate::currentDate().toString(QStringLiteral("dd MMM yyyy")));
    EXPECT_EQ(a.getTypeName(), QStringLiteral("000102_Gear_DALI"));
    EXPECT_FALSE(a.isLocked());
    EXPECT_EQ(Profile(QStringLiteral("c"), QString(), gear, QString(), 0, 0, QStringLiteral("{x}"), 1, 0)
                  .getIdentifier(),
        QStringLiteral("{x}"));

    const std::tuple<int, int, const char*> versions[]
        = {{1, 0, "1.00"}, {2, 5, "2.05"}, {1, 123, "1.123"}, {1, 100, "1.100"}};
    for (const auto& [major, minor, text] : versions) {
        a.setVersion(major, minor);
        EXPECT_EQ(a.getVersionString(), QLatin1String(text));
    }
    bool ok = false;
    Profile::generateControlTag().toUInt(&ok, 16);
    EXPECT_TRUE(ok);
}

TEST_F(ProfileTest, ParametersAreOwnCopiesSelectedByExactAccessLevel)
{
    Profile profile(QStringLiteral("p"), QString(), gear, QString(), 0, 0, QString(), 1, 0);
    EXPECT_EQ(profile.getParameterCount(), 3);
    IParameter* copy = profile.getParameter(QStringLiteral("output_current"));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, gear->getParameters()->getParameterInterface(QStringLiteral("output_current")));

    // Adding an identifier that is there keeps the stored copy and its value.
    copy->setValue(500, IParameter::UPDATE_NO);
    std::unique_ptr<Parameter> other(schemaParameter(QStringLiteral("output_current")));
    profile.addParameter(other.get());
    EXPECT_EQ(profile.getParameter(QStringLiteral("output_current")), copy);
    EXPECT_EQ(copy->getActualValue(), QVariant(500));
    std::unique_ptr<Parameter> fresh(schemaParameter(QStringLiteral("fade_time"), QString()));
    profile.addParameter(fresh.get());
    ASSERT_NE(profile.getParameter(QStringLiteral("fade_time")), nullptr);
    EXPECT_NE(profile.getParameter(QStringLiteral("fade_time")), fresh.get());

    auto ids = [&](std::string_view level) {
        QStringList list;
        for (IParameter* p : profile.getParameters(level))
            list << p->getIdentifier();
        list.sort();
        return list.join(QLatin1Char(','));
    };
    EXPECT_EQ(ids("user_basic"), QStringLiteral("dimming_curve,light_shaping_active"));
    EXPECT_EQ(ids("oem"), QStringLiteral("output_current"));
    EXPECT_EQ(ids(""), QStringLiteral("fade_time"));
    EXPECT_EQ(ids("User_basic"), QString());
    EXPECT_EQ(ids("user_basi"), QString());
    profile.getParameter(QStringLiteral("dimming_curve"))->setEnabled(false);
    EXPECT_EQ(ids("user_basic"), QStringLiteral("light_shaping_active"));

    EXPECT_EQ(profile.removeParameter(QStringLiteral("nothing")), 0);
    EXPECT_EQ(profile.removeParameter(QStringLiteral("fade_time")), 1);
    EXPECT_EQ(profile.getParameterCount(), 3);
}

TEST_F(ProfileTest, LightShapeActiveFollowsTheSchema)
{
    EXPECT_FALSE(
        Profile(QStringLiteral("p"), QString(), gear, QString(), 0, 0, QString(), 1, 0).isLightShapeActive());
    qobject_cast<Parameter*>(
        gear->getParameters()->getParameterInterface(QStringLiteral("light_shaping_active")))
        ->setActualValue(true);
    EXPECT_TRUE(
        Profile(QStringLiteral("p"), QString(), gear, QString(), 0, 0, QString(), 1, 0).isLightShapeActive());
}

TEST_F(ProfileTest, ProfileObjectFields)
{
    const QString today = QDate::currentDate().toString(QStringLiteral("dd MMM yyyy"));
    // (JSON, driver name, OEM id, product id, version, date, locked)
    const std::tuple<const char*, const char*, int, int, const char*, QString, bool> table[] = {
        {R"({"type": "00007f_Caspelink 561_DORVANE_WY"})", "Caspelink 561", 0, 127, "1.00", today, false},
        {R"({"type": "0001_Short"})", "", -1, -1, "1.00", today, false},
        {R"({"type": "000102_Gear_DALI", "driver_info": {"device_name": "G", "oem_id": 12.5, "product_id": 9}})",
            "G", 0, 9, "1.00", today, false},
        {R"({"type": "000102_Gear_DALI", "driver_info": "x"})", "", 0, 0, "1.00", today, false},
        {R"({"type": "000102_Gear_DALI", "driver_info": null, "version": "2.5", "locked": true,
            "date_created": "01 Jan 2020"})",
            "Gear", 1, 2, "2.05", QStringLiteral("01 Jan 2020"), true},
        {R"({"type": "000102_Gear_DALI", "version": "3", "locked": "yes", "date_created": null})", "Gear", 1,
            2, "3.00", today, false},
        {R"({"type": "000102_Gear_DALI", "version": ""})", "Gear", 1, 2, "1.00", today, false},
        {R"({"type": "000102_Gear_DALI", "version": "x.y"})", "Gear", 1, 2, "0.00", today, false},
    };
    for (const auto& [text, driver, oem, product, version, date, locked] : table) {
        SCOPED_TRACE(text);
        int status = 1;
        Profile* profile = read(json(text), &status);
        ASSERT_NE(profile, nullptr);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(profile->driverTypeName(), QString::fromUtf8(driver));
        EXPECT_EQ(profile->driverOemId(), oem);
        EXPECT_EQ(profile->driverProductId(), product);
        EXPECT_EQ(profile->getVersionString(), QLatin1String(version));
        EXPECT_EQ(profile->getDateCreated(), date);
        EXPECT_EQ(profile->isLocked(), locked);
    }

    int status = 0;
    EXPECT_EQ(read(json(R"({"type": "unknown"})"), &status), nullptr);
    EXPECT_EQ(status, ProfileManager::STATUS_UNKNOWN_PROFILE_TYPE);
    EXPECT_EQ(read(QJsonObject(), &status), nullptr);
    EXPECT_EQ(status, ProfileManager::STATUS_UNKNOWN_PROFILE_TYPE);

    Profile* named
        = read(json(R"({"type": "000102_Gear_DALI", "name": "N", "description": "D", "id": "{i}"})"));
    EXPECT_EQ(named->getName(), QStringLiteral("N"));
    EXPECT_EQ(named->getDescription(), QStringLiteral("D"));
    EXPECT_EQ(named->getIdentifier(), QStringLiteral("{i}"));
    EXPECT_EQ(read(json(R"({"type": "000102_Gear_DALI", "id": 5})"))->getIdentifier().size(), 38);
}

TEST_F(ProfileTest, ParameterObjectFieldsAndAbsentMembers)
{
    Profile* full = read(json(R"({"type": "000102_Gear_DALI", "parameters": [
        7, "text",
        {"pid": "output_current", "step_size": 1, "max_value": 600, "min_value": 100, "value": 700.4,
         "enabled": true, "hide": false, "access_level": "user_basic", "readonly": false},
        {"pid": "dimming_curve", "value": "linear", "enabled": true, "enum_options": ["linear", "sigmoid"]},
        {"pid": "no_such_parameter", "enabled": true}
    ]})"));
    Parameter* current = param(full, "output_current");
    EXPECT_TRUE(current->isEnabled());
    EXPECT_FALSE(current->isHidden());
    EXPECT_FALSE(current->isReadOnly());
    EXPECT_EQ(current->getAccessLevel(), QStringLiteral("user_basic"));
    EXPECT_DOUBLE_EQ(current->getStepSize(), 1.0);
    EXPECT_DOUBLE_EQ(current->getActualValue().toDouble(), 600.0); // clamped to the profile's own maximum
    Parameter* curve = param(full, "dimming_curve");
    EXPECT_EQ(curve->getActualValue().toString(), QStringLiteral("linear"));
    EXPECT_EQ(curve->getEnumOptions(), (QStringList {"linear", "sigmoid"}));
    EXPECT_FALSE(param(full, "light_shaping_active")->isEnabled()); // not listed

    // Absent members keep what the profile type defines: no zero step, no
    // zero limits, no lost flags. Unusable members are kept out the same way.
    for (const char* text :
        {R"({"type": "000102_Gear_DALI", "parameters": [{"pid": "output_current", "value": 420}]})",
            R"({"type": "000102_Gear_DALI", "parameters": [{"pid": "output_current", "value": 420,
                "step_size": 0, "max_value": "big", "min_value": null, "hide": null}]})"}) {
        SCOPED_TRACE(text);
        Parameter* kept = param(read(json(text)), "output_current");
        EXPECT_FALSE(kept->isEnabled()); // "enabled" absent: not part of the profile
        EXPECT_TRUE(kept->isHidden());
        EXPECT_TRUE(kept->isReadOnly());
        EXPECT_EQ(kept->getAccessLevel(), QStringLiteral("oem"));
        EXPECT_DOUBLE_EQ(kept->getStepSize(), 0.5);
        EXPECT_EQ(kept->getMinValue().toInt(), 0);
        EXPECT_EQ(kept->getMaxValue().toInt(), 1000);
        EXPECT_DOUBLE_EQ(kept->getActualValue().toDouble(), 420.0);
    }
    Parameter* untouched
        = param(read(json(R"({"type": "000102_Gear_DALI", "parameters": [{"pid": "output_current"}]})")),
            "output_current");
    EXPECT_EQ(untouched->getActualValue(), QVariant(350));

    // A pid listed twice: the later element stands.
    Parameter* twice = param(read(json(R"({"type": "000102_Gear_DALI", "parameters": [
        {"pid": "dimming_curve", "value": "linear", "enabled": true},
        {"pid": "dimming_curve", "value": "logarithmic", "enabled": false}]})")),
        "dimming_curve");
    EXPECT_EQ(twice->getActualValue().toString(), QStringLiteral("logarithmic"));
    EXPECT_FALSE(twice->isEnabled());
}

TEST_F(ProfileTest, CaspelinkLightShapeActiveIsAlwaysReadOnly)
{
    const std::tuple<const char*, const char*, bool> table[] = {
        {"00007f_Caspelink 561_DORVANE_WY", R"({"pid": "light_shaping_active", "enabled": true})", true},
        {"00007f_Caspelink 561_DORVANE_WY", R"({"pid": "light_shaping_active", "readonly": false})", true},
        {"000102_Gear_DALI", R"({"pid": "light_shaping_active", "readonly": false})", false},
        {"000102_Gear_DALI", R"({"pid": "light_shaping_active", "readonly": true})", true},
    };
    for (const auto& [type, element, readOnly] : table) {
        const QString text = QStringLiteral(R"({"type": "%1", "parameters": [%2]})").arg(type, element);
        Profile* profile = read(QJsonDocument::fromJson(text.toUtf8()).object());
        EXPECT_EQ(param(profile, "light_shaping_active")->isReadOnly(), readOnly) << text.toStdString();
    }
}

TEST_F(ProfileTest, StoredArrayListAndLookUpByName)
{
    const QJsonArray array = QJsonDocument::fromJson(R"([
        {"type": "000102_Gear_DALI", "name": "first"},
        {"type": "unknown", "name": "lost"},
        {"type": "000102_Gear_DALI", "name": "second", "description": "A"},
        {"type": "000102_Gear_DALI", "name": "second", "description": "B"}
    ])")
                                 .array();
    ProfileManager& manager = ProfileManager::instance();
    manager.SetProfileArray(&database, array);
    EXPECT_EQ(ProfileManager::GetProfileArray(), array);
    QList<Item*> items;
    manager.getItemList(items);
    QStringList names;
    for (Item* item : items)
        names << item->getName();
    EXPECT_EQ(names, (QStringList {"first", "second", "second"}));

    EXPECT_EQ(ProfileManager::GetJsonProfileByName(QStringLiteral("second")).toObject().value("description"),
        QJsonValue(QStringLiteral("A")));
    EXPECT_TRUE(ProfileManager::GetJsonProfileByName(QStringLiteral("Second")).isNull());
    int status = 0;
    std::unique_ptr<Profile> none(ProfileManager::getProfileFromJsonString(
        &database, ProfileManager::GetJsonProfileByName(QStringLiteral("missing")), status));
    EXPECT_FALSE(none);
    EXPECT_EQ(status, ProfileManager::STATUS_UNKNOWN_PROFILE_TYPE);

    manager.SetProfileArray(&database, QJsonArray());
    EXPECT_EQ(manager.count(), 0);
    EXPECT_TRUE(ProfileManager::GetJsonProfileByName(QStringLiteral("first")).isNull());
}
