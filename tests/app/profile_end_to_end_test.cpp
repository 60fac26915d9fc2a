#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using qmtest::ServiceProcess;

namespace {

QString quoted(const QString& text)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray {text}).toJson(QJsonDocument::Compact))
        .mid(1)
        .chopped(1);
}

std::string text(const QJsonValue& value)
{
    return QJsonDocument(value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject()))
        .toJson(QJsonDocument::Compact)
        .toStdString();
}

// The service on the default bench with a home of its own: profiles made
// from types and from found drivers, edited, saved to the profile folder and
// loaded back, all over HTTP.
class ProfilesOverHttp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        service.environment().insert(
            "QM_SIM_BENCH", QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR")) + "/sim/benches/default.json");
        port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();
        appData = service.folder() + "/data/Tarvesk/Quinmark Server";
    }
    void TearDown() override
    {
        EXPECT_TRUE(call("application.quit", "{}").contains("result"));
        EXPECT_EQ(service.waitForExit(60000), 0) << service.standardError().toStdString();
    }

    QJsonObject call(const std::string& method, const QString& params)
    {
        const QJsonDocument document = QJsonDocument::fromJson(params.toUtf8());
        return qmtest::rpcCall(port, method,
            document.isArray()        ? QJsonValue(document.array())
                : document.isObject() ? QJsonValue(document.object())
                                      : QJsonValue());
    }
    QJsonValue result(const std::string& method, const QString& params)
    {
        const QJsonObject reply = call(method, params);
        EXPECT_TRUE(reply.contains("result")) << method << " " << text(reply);
        return reply.value("result");
    }
    QJsonObject error(const std::string& method, const QString& params)
    {
        const QJsonObject reply = call(method, params);
        EXPECT_TRUE(reply.contains("error")) << method << " " << text(reply);
        return reply.value("error").toObject();
    }

    int childUniverse(const QJsonObject& box, const char* interfaceType)
    {
        for (const QJsonValue& child : box.value("child_universes").toArray()) {
            if (child.toObject().value("interface_type").toString() == QLatin1String(interfaceType))
                return child.toObject().value("universe_id").toInt();
        }
        return -1;
    }

    ServiceProcess service;
    int port = 0;
    QString appData;
};

TEST_F(ProfilesOverHttp, CreateEditSaveAndLoadProfiles)
{
    const QJsonArray types = result("profile.type.list", "null").toArray();
    ASSERT_GE(types.size(), 5) << text(types);
    EXPECT_TRUE(types.contains("000110_K3408 Dorvane 40W_DORVANE")) << text(types);

    // From a type.
    const QJsonObject fromType = result("profile.create",
        R"({"profile_name": "Line 1", "profile_description": "first", "profile_type": "000110_K3408 Dorvane 40W_DORVANE", "access_level": "dev"})")
                                     .toObject();
    EXPECT_EQ(fromType.value("driver_info").toObject().value("product_id"), 0x10) << text(fromType);
    EXPECT_EQ(fromType.value("driver_info").toObject().value("device_name"), "K3408 Dorvane 40W");

    // From the Wystrel driver on the DMX line; DALI gear has no profile type.
    const QJsonObject box
        = result("universe.search", R"({"interface_type": "usb"})").toArray().first().toObject();
    const QJsonArray drivers = result("universe.search",
        QStringLiteral(R"({"universe_id": %1, "subdevices": true})").arg(childUniverse(box, "dmx")))
                                   .toArray();
    QJsonObject wystrel;
    for (const QJsonValue& d : drivers) {
        if (!d.toObject().value("profile_type").toString().isEmpty())
            wystrel = d.toObject();
    }
    ASSERT_FALSE(wystrel.isEmpty()) << text(drivers);
    const QJsonObject fromDriver = result("profile.create",
        QStringLiteral(R"({"profile_name": "Line 1", "profile_description": "", "device_id": %1,
            "default_values": false, "access_level": "dev"})")
            .arg(wystrel.value("device_id").toInt()))
                                       .toObject();
    EXPECT_EQ(fromDriver.value("name"), "Line 1(1)");
    EXPECT_EQ(fromDriver.value("type"), wystrel.value("profile_type"));
    EXPECT_FALSE(fromDriver.value("parameters").toArray().isEmpty()) << text(fromDriver);

    // From the current Dorvane driver on the box's Dorvane port.
    const QJsonArray onPort = result(
        "universe.search", QStringLiteral(R"({"universe_id": %1})").arg(childUniverse(box, "dorvane")))
                                  .toArray();
    QJsonObject dorvane;
    for (const QJsonValue& d : onPort) {
        if (d.toObject().value("profile_type").toString()
            == QLatin1String("000110_K3408 Dorvane 40W_DORVANE_WY"))
            dorvane = d.toObject();
    }
    ASSERT_FALSE(dorvane.isEmpty()) << text(onPort);
    const QJsonObject fromDorvane = result("profile.create",
        QStringLiteral(R"({"profile_name": "Port", "profile_description": "", "device_id": %1})")
            .arg(dorvane.value("device_id").toInt()))
                                        .toObject();
    EXPECT_EQ(fromDorvane.value("type"), dorvane.value("profile_type")) << text(fromDorvane);
    EXPECT_FALSE(fromDorvane.value("parameters").toArray().isEmpty()) << text(fromDorvane);
    result("profile.remove", R"({"profile_name": "Port"})");

    const int dali = childUniverse(box, "dali");
    const auto step = [&](const char* name) {
        return result("universe.search",
            QStringLiteral(R"({"universe_id": %1, "search_method": "step", "search_step_name": "%2"})")
                .arg(dali)
                .arg(QLatin1String(name)))
            .toArray();
    };
    step("initialise_all");
    const QJsonArray gear = step("search_single");
    step("end_search");
    ASSERT_FALSE(gear.isEmpty());
    const QJsonObject gearDevice = gear.first().toObject();
    const QJsonObject virtualDriver = error("profile.create",
        QStringLiteral(R"({"profile_name": "g", "profile_description": "", "device_id": %1})")
            .arg(gearDevice.value("device_id").toInt()));
    EXPECT_EQ(virtualDriver.value("code"), -32603);
    EXPECT_TRUE(virtualDriver.value("message").toString().contains(
        QStringLiteral("Device %1 with %2 is a virtual driver")
            .arg(gearDevice.value("device_name").toString())
            .arg(gearDevice.value("device_id").toInt())))
        << text(virtualDriver);

    // Parameters of a stored profile.
    const QJsonArray params
        = result("profile.param.list", R"({"profile_name": "line 1", "access_level": "dev"})").toArray();
    ASSERT_FALSE(params.isEmpty());
    QString pid;
    for (const QJsonValue& p : params) {
        if (p.toObject().value("parameter_type") == "number"
            && p.toObject().value("max_value").toDouble() > 10)
            pid = p.toObject().value("pid").toString();
    }
    ASSERT_FALSE(pid.isEmpty()) << text(params);
    const QJsonObject set = result("profile.param.set",
        QStringLiteral(R"({"profile_name": "Line 1", "pid": "%1", "value": 1e12})").arg(pid))
                                .toObject();
    EXPECT_EQ(set.value("value"), set.value("max_value")) << text(set);
    EXPECT_EQ(
        result("profile.param.get", QStringLiteral(R"({"profile_name": "Line 1", "pid": "%1"})").arg(pid))
            .toObject()
            .value("value"),
        set.value("value"));
    EXPECT_EQ(error("profile.param.set",
                  QStringLiteral(R"({"profile_name": "Line 1", "pid": "%1", "value": "lots"})").arg(pid))
                  .value("code"),
        -32602);

    // Raw parameters.
    EXPECT_EQ(result("profile.param.create",
                  R"({"profile_name": "Line 1", "label": "Gain", "address": 12, "value": 5})")
                  .toObject()
                  .value("pid"),
        "RAW_Gain");
    const QJsonObject withRaw = result("profile.type.param.create",
        R"({"profile_name": "000110_K3408 Dorvane 40W_DORVANE", "label": "trim", "address": 40, "value": 3, "resolution": "16 bit"})")
                                    .toObject();
    EXPECT_EQ(withRaw.value("name"), "000110_K3408 Dorvane 40W_DORVANE");
    bool listed = false;
    for (const QJsonValue& p :
        result("profile.type.param.list", R"({"profile_name": "000110_K3408 Dorvane 40W_DORVANE"})")
            .toArray())
        listed = listed || p.toObject().value("pid") == "trim";
    EXPECT_TRUE(listed);

    // Saved plain and compressed into the profile folder, loaded back.
    const QJsonArray store = result("profile.list", R"({"access_level": "dev"})").toArray();
    ASSERT_EQ(store.size(), 2);
    const QString storeText = QString::fromUtf8(QJsonDocument(store).toJson(QJsonDocument::Compact));
    const QJsonObject saved = call("profile.save",
        QStringLiteral(R"({"path": "shift/a.json", "profile_data": %1})").arg(quoted(storeText)));
    EXPECT_TRUE(saved.contains("result") && saved.value("result").isNull()) << text(saved);
    QFile plain(appData + "/profiles/shift/a.json");
    ASSERT_TRUE(plain.open(QIODevice::ReadOnly)) << plain.fileName().toStdString();
    EXPECT_EQ(plain.readAll(), storeText.toUtf8());
    result("profile.save",
        QStringLiteral(R"({"path": "%1/profiles/b.qz", "profile_data": %2, "encrypted": true})")
            .arg(appData, quoted(storeText)));
    EXPECT_EQ(result("profile.remove", R"x({"profile_names": ["Line 1", "Line 1(1)"]})x")
                  .toObject()
                  .value("deleted")
                  .toArray()
                  .size(),
        2);
    // The store as the text makes it (values outside a parameter's limits,
    // as the driver held them, are brought within them), then from each file.
    result("profile.load", QStringLiteral(R"({"profile_data": %1})").arg(quoted(storeText)));
    const QJsonArray reference = result("profile.list", R"({"access_level": "dev"})").toArray();
    for (const auto& [path, compressed] : {std::pair {"shift/a.json", false}, std::pair {"b.qz", true}}) {
        SCOPED_TRACE(path);
        result("profile.remove", R"x({"profile_names": ["Line 1", "Line 1(1)"]})x");
        const QJsonArray loaded = result("profile.load",
            QStringLiteral(R"({"path": "%1", "encrypted": %2})")
                .arg(QLatin1String(path), compressed ? "true" : "false"))
                                      .toArray();
        EXPECT_EQ(loaded.size(), 2);
        EXPECT_EQ(result("profile.list", R"({"access_level": "dev"})").toArray(), reference);
    }

    // Only the profile folder.
    const QJsonObject outside = error("profile.load", R"({"path": "/etc/passwd"})");
    EXPECT_EQ(outside.value("code"), -32602);
    EXPECT_TRUE(outside.value("message").toString().contains(appData + "/profiles")) << text(outside);
    EXPECT_EQ(error("profile.save", R"({"path": "../x.json", "profile_data": "[]"})").value("code"), -32602);
    EXPECT_EQ(result("profile.list", "{}").toArray().size(), 2);
}

// A client's path is bounded (depth, name length), a refusal or a failure
// says what is wrong, and a save that fails leaves no folder it made.
TEST_F(ProfilesOverHttp, SavePathsAreBoundedAndFailuresSayWhy)
{
    const QString profiles = appData + "/profiles";
    const QString longName(250, 'n');
    QString tooLongForThePath;
    for (int i = 0; i < 17; ++i)
        tooLongForThePath += QStringLiteral("long%1").arg(i) + longName.left(240) + '/';
    tooLongForThePath += "x.json";
    struct Case
    {
        QString path;
        int code;               // 0: saved
        QString message;        // a part of the error message
        QString leavesNoFolder; // below the profile folder
    };
    const Case cases[] = {
        {QString("f/").repeated(2000) + "x.json", -32602, "more than 32 folders deep", "f"},
        {QString("g/").repeated(33) + "x.json", -32602, "more than 32 folders deep", "g"},
        {QString("h/").repeated(32) + "x.json", 0, "", ""},
        {QString(256, 'x'), -32602, "longer than 255 bytes", ""},
        {QString(255, 'y'), 0, "", ""},
        {"a" + QString(QChar(0)) + "b.json", -32602, "Path 'a\\u0000b.json' holds a zero character", ""},
        {tooLongForThePath, -32603, "(File name too long)", "long0" + longName.left(240)},
        {"made/", -32602, "Path 'made/' names a folder, not a file", "made"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.left(80).toStdString());
        QJsonObject params {{"path", c.path}, {"profile_data", "[]"}};
        const QJsonObject reply = qmtest::rpcCall(port, "profile.save", params);
        if (c.code == 0) {
            EXPECT_TRUE(reply.contains("result")) << text(reply);
            EXPECT_TRUE(QFile::exists(profiles + "/" + c.path));
            continue;
        }
        const QJsonObject error = reply.value("error").toObject();
        EXPECT_EQ(error.value("code"), c.code) << text(reply);
        EXPECT_TRUE(error.value("message").toString().contains(c.message)) << text(reply);
        if (!c.leavesNoFolder.isEmpty()) {
            EXPECT_FALSE(QFileInfo::exists(profiles + "/" + c.leavesNoFolder));
        }
    }
}

TEST_F(ProfilesOverHttp, EveryMethodDescribesItsParameters)
{
    const QJsonArray names = result("system.listMethods", "null").toArray();
    ASSERT_GT(names.size(), 50);
    int described = 0;
    for (const QJsonValue& name : names) {
        SCOPED_TRACE(name.toString().toStdString());
        const QJsonObject reply
            = call("system.method.params.list", QStringLiteral(R"({"method": "%1"})").arg(name.toString()));
        if (reply.contains("result")) {
            EXPECT_TRUE(reply.value("result").isArray());
            ++described;
        } else {
            EXPECT_TRUE(reply.value("error").toObject().value("message").toString().contains(
                "missing implementation"))
                << text(reply);
        }
    }
    EXPECT_GE(described, 30);
    EXPECT_EQ(result("system.method.params.list", R"({"method": "profile.save"})")
                  .toArray()
                  .first()
                  .toObject()
                  .value("default"),
        appData + "/profiles.json");
}

} // namespace

// A service killed between writing a save's temporary file and renaming it
// left the file behind; the next save of that name, by the service started
// again, removes it and leaves every other file alone.
TEST_F(ProfilesOverHttp, TheNextSaveRemovesWhatAKilledSaveLeft)
{
    const QString shift = appData + "/profiles/shift";
    ASSERT_TRUE(QDir().mkpath(shift));
    const QStringList left = {".line1.json.QwErTy", ".line1.json.ZxCvBn"};
    const QStringList kept
        = {".line2.json.AsDfGh", ".line1.json.bak", ".line1.json.AbC1eF", "line1.json.QwErTy"};
    for (const QString& name : left + kept) {
        QFile file(shift + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(name.startsWith(".line1.json.Q") ? 1000000 : 10, '['));
    }

    result("profile.save", R"({"path": "shift/line1.json", "profile_data": "[]"})");

    QStringList expected = kept + QStringList {"line1.json"};
    expected.sort();
    QStringList found = QDir(shift).entryList(QDir::Files | QDir::Hidden);
    found.sort();
    EXPECT_EQ(found.join(' ').toStdString(), expected.join(' ').toStdString());
}
