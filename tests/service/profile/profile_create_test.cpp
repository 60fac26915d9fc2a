#include "core/profile/profile.h"
#include "profile_methods_fixture.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_create.h"
#include "service/rpc/rpc_methods/profile/rpc_profile_list.h"

#include <QDate>
#include <QRegularExpression>

using namespace tarvesk;
using tarvesk::service::RpcProfileCreate;
using tarvesk::service::RpcProfileList;

namespace {

class ProfileCreate : public test::ProfileMethods
{
protected:
    test::MethodOutcome createNamed(const QString& name, const QString& extra = QString())
    {
        return run(create,
            QStringLiteral(R"({"profile_name": "%1", "profile_description": "d", "profile_type": "%2"%3})")
                .arg(name, QString::fromLatin1(typeName), extra));
    }
    test::MethodOutcome createFromDevice(const QString& extra = QString())
    {
        return run(create,
            QStringLiteral(R"({"profile_name": "From driver", "profile_description": "", "device_id": %1%2})")
                .arg(device->getId())
                .arg(extra));
    }
    int storeSize() const { return core::ProfileManager::instance().count(); }

    RpcProfileCreate create;
    RpcProfileList list;
};

TEST_F(ProfileCreate, FromAProfileTypeWithUniqueNamesAndVersionTexts)
{
    const test::MethodOutcome made = createNamed("Dim", R"(, "locked": true)");
    ASSERT_EQ(made.code, 0) << made.message.toStdString();
    const QJsonObject profile = made.result.toObject();
    EXPECT_EQ(profile.value("type"), typeName);
    EXPECT_EQ(profile.value("version"), "1.00");
    EXPECT_EQ(profile.value("locked"), true);
    EXPECT_EQ(profile.value("date_created"), QDate::currentDate().toString("dd MMM yyyy"));
    EXPECT_TRUE(QRegularExpression("^\\{[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}\\}$")
                    .match(profile.value("id").toString())
                    .hasMatch());
    EXPECT_EQ(profile.value("driver_info").toObject(),
        (QJsonObject {{"device_name", "Lumo 40W"}, {"oem_id", 0x0a}, {"product_id", 0x2b}}));
    // The type's values, of the level asked for only, by group and display name.
    QStringList order;
    for (const QJsonValue& p : profile.value("parameters").toArray())
        order << p.toObject().value("pid").toString();
    EXPECT_EQ(order,
        QStringList({"light_shaping_active", "light_shaping_settings", "dim_level", "output_current"}));
    EXPECT_EQ(valuesOf(profile.value("parameters").toArray()).value("output_current"), 500);

    // Names are compared without regard to case; versions are "major.minor".
    struct Case
    {
        QString name;
        QString version;
        QString givenName; // empty: refused
        QString versionText;
        QString error;
    };
    const Case cases[] = {
        {"Dim", "1.0", "Dim(1)", "1.00", ""},
        {"Dim", "2.5", "Dim(2)", "2.05", ""},
        {"dim", "1.10", "dim(3)", "1.10", ""},
        {"Other", "1.0.1", "", "", "version required to be in format x.y"},
        {"Other", "1", "", "", "version required to be in format x.y"},
        {"Other", "", "", "", "version required to be in format x.y"},
        {"Other", "1.", "", "", "Invalid value for minor version"},
        {"Other", "a.1", "", "", "Invalid value for major version"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.name + " " + c.version).toStdString());
        const int before = storeSize();
        const test::MethodOutcome outcome
            = createNamed(c.name, QStringLiteral(R"(, "version": "%1")").arg(c.version));
        if (c.givenName.isEmpty()) {
            EXPECT_EQ(outcome.code, -32603);
            EXPECT_TRUE(outcome.message.contains(c.error)) << outcome.message.toStdString();
            EXPECT_EQ(storeSize(), before);
            continue;
        }
        ASSERT_EQ(outcome.code, 0) << outcome.message.toStdString();
        EXPECT_EQ(outcome.result.toObject().value("name"), c.givenName);
        EXPECT_EQ(outcome.result.toObject().value("version"), c.versionText);
        EXPECT_EQ(storeSize(), before + 1);
    }
    EXPECT_EQ(run(list, "{}").result.toArray().size(), 4);

    // An empty name is no profile, but no error either.
    const test::MethodOutcome empty = createNamed("");
    EXPECT_EQ(empty.result.toObject(),
        (QJsonObject {{"status", "error"}, {"status_text", "Profile name may not be empty"}}));
    EXPECT_EQ(storeSize(), 4);
}

// Limits and defaults compare exactly: a 32-bit default one above its
// maximum becomes the maximum, though as floats the two are equal.
TEST_F(ProfileCreate, DefaultsCompareWithTheirLimitsExactly)
{
    constexpr int maximum = (1 << 24);
    const auto wide = [](const char* id, int defaultValue) {
        core::Parameter* p = number(id, "Output", id, "user_basic", 0, maximum, defaultValue, 0);
        p->setNetworkResolution(core::ITF_RES_LONG);
        return p;
    };
    type = database->addProfileType(QStringLiteral("000a2c_Lumo 32_DMX"),
        {wide("above", maximum + 1), wide("below", maximum - 1),
            number("version", "Info", "Version", "dev", 0, 65535, 0, 271)});
    addDevice();
    values = {{"version", 271}, {"above", 1}, {"below", 1}};

    const test::MethodOutcome made = createFromDevice();
    ASSERT_EQ(made.code, 0) << made.message.toStdString();
    const QMap<QString, QJsonValue> got = valuesOf(made.result.toObject().value("parameters").toArray());
    EXPECT_EQ(got.value("above"), maximum) << json(made.result).toStdString();
    EXPECT_EQ(got.value("below"), maximum - 1) << json(made.result).toStdString();
}

TEST_F(ProfileCreate, RefusesWhatItCannotBuildAndAddsNothing)
{
    addDevice();
    const QString both = QStringLiteral(
        R"({"profile_name": "x", "profile_description": "", "device_id": %1, "profile_type": "%2"})")
                             .arg(device->getId())
                             .arg(QString::fromLatin1(typeName));
    const struct
    {
        QString params;
        QString error;
    } cases[] = {
        {both,
            "Only one of two provided parameters ('device_id' or 'profile_type') can be provided for method "
            "'profile.create'"},
        {R"({"profile_name": "x", "profile_description": ""})",
            "At least one of two parameters ('device_id' or 'profile_type') must be provided for method "
            "'profile.create'"},
        {R"({"profile_name": "x", "profile_description": "", "profile_type": "000000_Nothing_DMX"})",
            "Invalid profile type '000000_Nothing_DMX'"},
        {R"({"profile_name": "x", "profile_description": "", "device_id": -1})", "Invalid profile type ''"},
        {R"({"profile_name": "x", "profile_description": "", "device_id": 999})", "Device 999 not found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.params.toStdString());
        const test::MethodOutcome outcome = run(create, c.params);
        EXPECT_EQ(outcome.code, -32603);
        EXPECT_TRUE(outcome.message.contains(c.error)) << outcome.message.toStdString();
    }

    device->setProfileType(nullptr);
    const test::MethodOutcome virtualDriver = createFromDevice();
    EXPECT_TRUE(virtualDriver.message.contains(
        QStringLiteral("Device Lumo driver with %1 is a virtual driver").arg(device->getId())))
        << virtualDriver.message.toStdString();
    EXPECT_EQ(storeSize(), 0);
}

// Defaults outside the limits become the nearer limit; the light-shaping
// settings keep what the driver holds; what the driver lacks or cannot read
// is kept from the user levels.
TEST_F(ProfileCreate, FromADeviceTakesItsValuesOrItsDefaults)
{
    addDevice();
    values = {{"output_current", 700}, {"dim_level", 30}, {"light_shaping_settings", 44}, {"fade_time", 5},
        {"version", 271}};

    const test::MethodOutcome defaults = createFromDevice();
    ASSERT_EQ(defaults.code, 0) << defaults.message.toStdString();
    QMap<QString, QJsonValue> got = valuesOf(defaults.result.toObject().value("parameters").toArray());
    EXPECT_EQ(got.value("output_current"), 100); // default 50 below the minimum 100
    EXPECT_EQ(got.value("dim_level"), 100);      // default 150 above the maximum 100
    EXPECT_EQ(got.value("light_shaping_settings"), 44);
    // No such parameter on a driver without light shaping: kept out of user lists.
    EXPECT_FALSE(got.contains("light_shaping_active"));
    EXPECT_EQ(got.size(), 3);
    EXPECT_EQ(defaults.result.toObject().value("driver_info").toObject().value("device_name"), "Lumo driver");

    const test::MethodOutcome current = createFromDevice(R"(, "default_values": false)");
    got = valuesOf(current.result.toObject().value("parameters").toArray());
    EXPECT_EQ(got.value("output_current"), 700);
    EXPECT_EQ(got.value("dim_level"), 30);

    // A parameter the driver does not answer while it answers its version,
    // and one it does not support: marked "dev". At "dev" every parameter is read.
    values.remove("dim_level");
    unsupported << "fade_time";
    const test::MethodOutcome unread
        = createFromDevice(R"(, "access_level": "dev", "default_values": false)");
    ASSERT_EQ(unread.code, 0) << unread.message.toStdString();
    auto* profile = qobject_cast<core::Profile*>(core::ProfileManager::instance().getItemByAttribute(
        "name", unread.result.toObject().value("name").toString()));
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(profile->getParameter("dim_level")->getAccessLevel(), "dev");
    EXPECT_EQ(profile->getParameter("fade_time")->getAccessLevel(), "dev");
    EXPECT_EQ(profile->getParameter("light_shaping_settings")->getActualValue(), 44);
    EXPECT_EQ(profile->getParameter("light_shaping_active")->getAccessLevel(), "dev");

    // A driver without a version to ask still answers when it refuses a
    // parameter; a parameter that goes unanswered then means it is gone.
    values.remove("version");
    values.insert("dim_level", 30);
    values.insert("unused", 0);
    EXPECT_EQ(createFromDevice(R"(, "access_level": "user_detailed")").code, 0);
    values.remove("dim_level");
    const test::MethodOutcome silent = createFromDevice();
    EXPECT_TRUE(silent.message.contains("Connection lost")) << silent.message.toStdString();

    // A driver that stops answering: nothing is added and the device is free again.
    lost = true;
    const int before = storeSize();
    const test::MethodOutcome gone = createFromDevice();
    EXPECT_EQ(gone.code, -32603);
    EXPECT_TRUE(gone.message.contains(
        QStringLiteral("Connection lost with device Lumo driver with id %1").arg(device->getId())))
        << gone.message.toStdString();
    EXPECT_EQ(storeSize(), before);
    EXPECT_TRUE(device->getDeviceMutex()->tryLock());
    device->getDeviceMutex()->unlock();
}

} // namespace
