#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using qmtest::ServiceProcess;

namespace {

QString sourcePath(const QString& relative)
{
    return QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR")) + QLatin1Char('/') + relative;
}

// The service on the default bench, called over HTTP.
class DorvaneService : public ::testing::Test
{
protected:
    void SetUp() override
    {
        service.environment().insert("QM_SIM_BENCH", sourcePath("sim/benches/default.json"));
        port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();
    }
    void TearDown() override
    {
        EXPECT_TRUE(call("application.quit").contains("result"));
        EXPECT_EQ(service.waitForExit(60000), 0);
    }

    QJsonObject call(const std::string& method, const QJsonObject& params = {})
    {
        const QJsonObject object = qmtest::rpcCall(port, method, params);
        if (object.isEmpty())
            ADD_FAILURE() << method << " " << QJsonDocument(params).toJson().toStdString() << ": no reply\n"
                          << service.standardError().toStdString();
        return object;
    }
    QJsonValue result(const std::string& method, const QJsonObject& params = {})
    {
        const QJsonObject reply = call(method, params);
        EXPECT_TRUE(reply.contains("result"))
            << method << ": " << QJsonDocument(reply).toJson().toStdString();
        return reply.value("result");
    }

    // The USB search, then the id of the first box's universe of that name.
    int boxUniverse(const QString& name)
    {
        result("universe.search", {{"interface_type", "usb"}});
        for (const QJsonValue& universe : result("universe.list").toArray()) {
            const QJsonObject object = universe.toObject();
            if (object.value("universe_name").toString() == name && object.value("parent_device_id") == "1")
                return object.value("universe_id").toInt();
        }
        return 0;
    }
    QStringList deviceNames()
    {
        QStringList names;
        for (const QJsonValue& device : result("device.list").toArray())
            names << device.toObject().value("device_name").toString();
        return names;
    }

    ServiceProcess service;
    int port = 0;
};

// A type without features: its creation runs no scripts on the request thread.
TEST_F(DorvaneService, DeviceCreateAddsVirtualDevicesToOneUniverse)
{
    const QString type = QStringLiteral("0000fe_Ostrevanne Bootloader_Bootloader");
    const QJsonObject made = result("device.create", {{"profile_type", type}}).toObject();
    const QJsonObject again = result("device.create", {{"profile_type", type}}).toObject();
    EXPECT_NE(made.value("device_id").toInt(), again.value("device_id").toInt());
    EXPECT_EQ(made.value("universe_id"), again.value("universe_id"));
    EXPECT_EQ(made.value("profile_type").toString(), type);
    EXPECT_EQ(made.value("version").toInt(), 271);
    EXPECT_EQ(made.value("device_name").toString(), QStringLiteral("Ostrevanne Bootloader"));
    int virtualUniverses = 0;
    for (const QJsonValue& universe : result("universe.list").toArray())
        virtualUniverses += universe.toObject().value("universe_name").toString() == QLatin1String("Virtual");
    EXPECT_EQ(virtualUniverses, 1);
    EXPECT_EQ(result("device.list").toArray().size(), 2);

    const QJsonObject unknown = call("device.create", {{"profile_type", "000000_Nothing_DMX"}});
    EXPECT_EQ(unknown.value("error").toObject().value("code").toInt(), -32603);
    const QString message = unknown.value("error").toObject().value("message").toString();
    EXPECT_TRUE(message.contains(QStringLiteral("profile type 000000_Nothing_DMX not found in database.")))
        << message.toStdString();
}

// The first box of the bench has a current driver of a product without 10 V or
// DMX input on its port (DALI channels 0, 1 and 3 answer, 2 is silent) and
// second-generation slave modules at indices 2, 5 and 7.
TEST_F(DorvaneService, SearchFindsTheDriverWithItsVirtualDaliGearThenTheModules)
{
    const int dorvane = boxUniverse("Dorvane");
    ASSERT_NE(dorvane, 0);
    const QJsonArray found = result("universe.search", {{"universe_id", dorvane}}).toArray();
    ASSERT_EQ(found.size(), 1);
    const QJsonObject driver = found.at(0).toObject();
    EXPECT_EQ(driver.value("device_name").toString(), QStringLiteral("K3408 Dorvane 40W"));
    EXPECT_EQ(driver.value("product_id").toInt(), 16);
    EXPECT_EQ(driver.value("version").toInt(), 276);
    QStringList raw;
    for (const QJsonValue& name : driver.value("raw_parameter_interfaces").toArray())
        raw << name.toString();
    raw.sort();
    EXPECT_EQ(
        raw, QStringList({"nordhune1_ee", "nordhune1_ram", "nordhune2_ee", "nordhune2_ram", "presmonde"}));
    const QJsonArray children = driver.value("child_universes").toArray();
    ASSERT_EQ(children.size(), 1);
    EXPECT_EQ(children.at(0).toObject().value("universe_name").toString(), QStringLiteral("DALI"));
    const int dali = children.at(0).toObject().value("universe_id").toInt();

    QList<int> gear;
    for (const QJsonValue& device : result("device.list").toArray()) {
        if (device.toObject().value("universe_id").toInt() == dali)
            gear << device.toObject().value("device_id").toInt();
    }
    EXPECT_EQ(deviceNames().filter(QStringLiteral("virtual device")),
        QStringList(
            {"DALI group 0 virtual device", "DALI group 1 virtual device", "DALI group 3 virtual device"}));
    ASSERT_EQ(gear.size(), 3);
    // The gear behind the driver are read over Dorvane: POWER ON LEVEL is 254
    // out of the box (IEC 62386-102).
    for (int id : gear) {
        EXPECT_EQ(result("device.param.get", {{"device_id", id}, {"pid", "dali_102_power_on_level"}})
                      .toObject()
                      .value("value")
                      .toInt(),
            254);
    }

    // A search for the modules replaces the driver, its DALI universe and its (immortal) gear.
    const QJsonArray modules
        = result("universe.search", {{"universe_id", dorvane}, {"search_protocol", "dv2_device"}}).toArray();
    QList<int> subversions;
    for (const QJsonValue& module : modules) {
        EXPECT_EQ(module.toObject().value("product_id").toInt(), 0x63);
        subversions << module.toObject().value("subversion").toInt();
    }
    // RAM word 30 of the modules at indices 2, 5 and 7 holds subversions 2, 3 and 4.
    EXPECT_EQ(subversions, QList<int>({2, 3, 4}));
    EXPECT_EQ(deviceNames().size(), 5);
    EXPECT_TRUE(deviceNames().filter(QStringLiteral("virtual device")).isEmpty());
    for (const QJsonValue& universe : result("universe.list").toArray())
        EXPECT_NE(universe.toObject().value("universe_id").toInt(), dali);
}

// The virtual DALI gear behind the driver take writes (commands without a
// backward frame, carried over Dorvane) and read them back, each its own.
TEST_F(DorvaneService, DaliGearBehindTheDriverTakeWrites)
{
    const int dorvane = boxUniverse("Dorvane");
    ASSERT_NE(dorvane, 0);
    ASSERT_EQ(result("universe.search", {{"universe_id", dorvane}}).toArray().size(), 1);
    QList<int> gear;
    for (const QJsonValue& device : result("device.list").toArray()) {
        if (device.toObject().value("device_name").toString().endsWith(QLatin1String("virtual device")))
            gear << device.toObject().value("device_id").toInt();
    }
    ASSERT_EQ(gear.size(), 3);
    auto read = [&](int id, const char* pid) {
        return result("device.param.get", {{"device_id", id}, {"pid", pid}, {"update", true}})
            .toObject()
            .value("value")
            .toInt();
    };
    const struct
    {
        const char* pid;
        int before; // IEC 62386-102 defaults
        int written;
    } cases[] = {
        {"dali_102_max_level", 254, 200},
        {"dali_102_power_on_level", 254, 100},
        {"dali_102_system_failure_level", 254, 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pid);
        const QJsonObject set
            = call("device.param.set", {{"device_id", gear.first()}, {"pid", c.pid}, {"value", c.written}});
        EXPECT_TRUE(set.contains("result")) << QJsonDocument(set).toJson().toStdString();
        EXPECT_EQ(read(gear.first(), c.pid), c.written);
        for (int other : gear.mid(1))
            EXPECT_EQ(read(other, c.pid), c.before) << other;
    }
}

// READ MEMORY LOCATION moves the gear's memory pointer on at every frame, so a
// read the driver reports unanswered must not go out again: a repeat would read
// the next location and report it as this one. Location 1 of bank 0 is
// reserved (IEC 62386-102): the gear stays silent and steps its pointer to 2.
TEST_F(DorvaneService, UnansweredMemoryReadBehindTheDriverGoesOutOnce)
{
    const int dorvane = boxUniverse("Dorvane");
    ASSERT_NE(dorvane, 0);
    const QJsonArray found = result("universe.search", {{"universe_id", dorvane}}).toArray();
    ASSERT_EQ(found.size(), 1);
    const QJsonArray children = found.at(0).toObject().value("child_universes").toArray();
    ASSERT_EQ(children.size(), 1);
    const int dali = children.at(0).toObject().value("universe_id").toInt();
    auto params = [&](int address, int opcode, bool expectAnswer) {
        return QJsonObject {
            {"universe_id", dali}, {"bytes", QJsonArray {address, opcode}}, {"expect_answer", expectAnswer}};
    };
    constexpr int Rounds = 20;
    int replies = 0;
    for (int round = 0; round < Rounds; ++round) {
        SCOPED_TRACE(round);
        result("dali.send", params(0xC3, 0, false)); // DTR1: bank 0
        result("dali.send", params(0xA3, 1, false)); // DTR0: location 1
        // READ MEMORY LOCATION of short address 0: the driver reports no reply.
        const QJsonObject read = call("dali.send", params(0x01, 0xC5, true));
        replies += read.value("result").toObject().value("status").toString() == QLatin1String("reply");
        EXPECT_TRUE(read.value("error").toObject().value("message").toString().contains(
            QStringLiteral("No reply where one was expected")))
            << QJsonDocument(read).toJson().toStdString();
        // QUERY CONTENT DTR0: one frame reached the gear.
        EXPECT_EQ(result("dali.send", params(0x01, 0x98, true)).toObject().value("bytes").toArray(),
            QJsonArray {2});
    }
    EXPECT_EQ(replies, 0) << "of " << Rounds << " rounds";
}

// Raw memory of the driver on the port by universe, without a search: a
// driver device made for each request and never listed.
TEST_F(DorvaneService, RawMemoryByUniverseReachesTheDriverOnThePort)
{
    const int dorvane = boxUniverse("Dorvane");
    ASSERT_NE(dorvane, 0);
    const int devices = result("device.list").toArray().size();
    auto access = [&](const char* method, const char* itf, int address, const char* resolution,
                      const QJsonValue& value = QJsonValue()) {
        QJsonObject params {
            {"universe_id", dorvane}, {"param_type", itf}, {"address", address}, {"resolution", resolution}};
        if (!value.isUndefined())
            params.insert("value", value);
        return QJsonDocument(result(method, params).toObject()).toJson(QJsonDocument::Compact).toStdString();
    };
    const struct
    {
        const char* method;
        const char* itf;
        int address;
        const char* resolution;
        QJsonValue value;
        const char* reply;
    } cases[] = {
        {"device.rawparam.get", "main", 0, "16 bit", {}, R"({"bytes":[276],"status":"ok"})"}, // its version
        {"device.rawparam.set", "presmonde", 81, "16 bit", 420, R"({"bytes":[420],"status":"ok"})"},
        {"device.rawparam.get", "presmonde", 81, "16 bit", {}, R"({"bytes":[420],"status":"ok"})"},
        // Chip 2's RAM window starts at 0x4200 of the driver's parameter space.
        {"device.rawparam.set", "nordhune2_ram", 3, "16 bit", 0x55, R"({"bytes":[85],"status":"ok"})"},
        {"device.rawparam.get", "presmonde", 0x4203, "16 bit", {}, R"({"bytes":[85],"status":"ok"})"},
        // Past the driver's parameter space: the box's parameter report times out (-6).
        {"device.rawparam.get", "presmonde", 0x7000, "16 bit", {},
            R"({"error_code":-6,"status":"time-out"})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.itf + " " + std::to_string(c.address));
        EXPECT_EQ(access(c.method, c.itf, c.address, c.resolution, c.value), c.reply);
    }
    EXPECT_EQ(result("device.list").toArray().size(), devices);

    // The driver that a search then finds holds what was written.
    const QJsonArray found = result("universe.search", {{"universe_id", dorvane}}).toArray();
    ASSERT_EQ(found.size(), 1);
    const int id = found.at(0).toObject().value("device_id").toInt();
    EXPECT_EQ(result("device.param.get", {{"device_id", id}, {"pid", "output_current"}, {"update", true}})
                  .toObject()
                  .value("value")
                  .toInt(),
        420);
}

// The driver's parameters (its profile type's) read what the bench put into
// its memory and write it; raw access to the same memory sees each write.
TEST_F(DorvaneService, ParametersOfTheFoundDriverReachItsMemory)
{
    const int dorvane = boxUniverse("Dorvane");
    ASSERT_NE(dorvane, 0);
    const QJsonArray found = result("universe.search", {{"universe_id", dorvane}}).toArray();
    ASSERT_EQ(found.size(), 1);
    const QJsonObject driver = found.at(0).toObject();
    EXPECT_EQ(driver.value("profile_type").toString(), QStringLiteral("000110_K3408 Dorvane 40W_DORVANE_WY"));
    const int id = driver.value("device_id").toInt();
    auto read = [&](const char* pid) {
        return result("device.param.get", {{"device_id", id}, {"pid", pid}, {"update", true}})
            .toObject()
            .value("value");
    };
    auto raw = [&](int address, const char* resolution) {
        const QJsonObject reply = result("device.rawparam.get",
            {{"device_id", id}, {"param_type", "presmonde"}, {"address", address},
                {"resolution",
                    resolution}}).toObject();
        EXPECT_EQ(reply.value("status").toString(), QStringLiteral("ok")) << address;
        return reply.value("bytes").toArray().at(0).toInt();
    };

    const struct
    {
        const char* pid;
        QJsonValue before; // as the bench has it
        QJsonValue written;
        int address;
        const char* resolution;
        int rawWritten;
    } cases[] = {
        {"output_current", 350, 700, 81, "16 bit", 700},
        {"dimming_curve", "Piecewise", "Linear", 52, "8 bit", 1},
        {"dorvane_address", 5, 9, 10, "8 bit", 9},
        {"dali_min_level_percent", 1, 2, 162, "8 bit", 2},
        {"dali_max_level_percent", 100, 90, 161, "8 bit", 90},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pid);
        EXPECT_EQ(read(c.pid), c.before);
        const QJsonObject set
            = call("device.param.set", {{"device_id", id}, {"pid", c.pid}, {"value", c.written}});
        EXPECT_EQ(set.value("result").toObject().value("value"), c.written)
            << QJsonDocument(set).toJson().toStdString();
        EXPECT_EQ(read(c.pid), c.written);
        EXPECT_EQ(raw(c.address, c.resolution), c.rawWritten);
    }
    // A name that is none of the curves is refused and leaves the driver's curve.
    const QJsonObject refused
        = call("device.param.set", {{"device_id", id}, {"pid", "dimming_curve"}, {"value", "Curvy"}});
    EXPECT_TRUE(refused.contains("error")) << QJsonDocument(refused).toJson().toStdString();
    EXPECT_EQ(raw(52, "8 bit"), 1);
}

// The same service, its script engine's collector writing what each collection
// kept into the log.
class DorvaneServiceScriptHeap : public DorvaneService
{
protected:
    void SetUp() override
    {
        service.environment().insert("QT_LOGGING_RULES", "qt.qml.gc.allocatorStats.debug=true");
        DorvaneService::SetUp();
    }

    // The script objects still reachable after each collection so far, in order.
    std::vector<int> keptByCollections() const
    {
        static const QRegularExpression marked(QStringLiteral("\\|\\|\\s+(\\d+) objects marked"));
        std::vector<int> kept;
        QRegularExpressionMatchIterator it = marked.globalMatch(service.log());
        while (it.hasNext())
            kept.push_back(it.next().captured(1).toInt());
        return kept;
    }
};

// Every request comes on a connection (and so a thread) of its own, none of
// them the one that made the script engine. What the collections of the
// script heap keep must not grow with the reads, writes and lists of a driver
// whose parameters run the data package's scripts.
TEST_F(DorvaneServiceScriptHeap, ScriptedParameterAccessKeepsNothingPerCall)
{
    const int id = result("device.create", {{"profile_type", "000110_K3408 Dorvane 40W_DORVANE"}})
                       .toObject()
                       .value("device_id")
                       .toInt();
    const QJsonObject get {{"device_id", id}, {"pid", "output_current"}};
    auto round = [&](int n) {
        EXPECT_EQ(
            result("device.param.get", get).toObject().value("value").toInt(), n == 0 ? 0 : 500 + n - 1);
        EXPECT_EQ(
            result("device.param.set", {{"device_id", id}, {"pid", "output_current"}, {"value", 500 + n}})
                .toObject()
                .value("value")
                .toInt(),
            500 + n);
        EXPECT_FALSE(result("device.param.list", {{"device_id", id}}).toArray().isEmpty());
    };
    int n = 0;
    while (n < 20)
        round(n++);
    const size_t warm = keptByCollections().size();
    // Collections come as the heap fills, one in fifteen rounds or so.
    while (n < 600 && keptByCollections().size() < warm + 6)
        round(n++);
    const std::vector<int> kept = keptByCollections();
    ASSERT_GE(kept.size(), warm + 6) << "too few collections in " << n << " rounds";
    // One round makes about a hundred script objects: kept, they would add
    // thousands between two collections.
    const int first = kept[warm];
    EXPECT_LT(*std::max_element(kept.begin() + long(warm), kept.end()) - first, 300)
        << first << " objects kept after the first collection, then " << kept.back() << " after round " << n;
}

} // namespace

namespace {

// The default bench with faults of the driver on the newer box's Dorvane port.
class DorvaneFaultsEndToEnd : public ::testing::Test
{
protected:
    void start(const QJsonObject& faults)
    {
        QFile file(sourcePath("sim/benches/default.json"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QJsonObject bench = QJsonDocument::fromJson(file.readAll()).object();
        QJsonArray boxes = bench.value("boxes").toArray();
        QJsonObject box = boxes.at(0).toObject();
        QJsonArray dorvane = box.value("dorvane").toArray();
        QJsonObject driver = dorvane.at(0).toObject();
        driver.insert("faults", faults);
        dorvane.replace(0, driver);
        box.insert("dorvane", dorvane);
        boxes.replace(0, box);
        bench.insert("boxes", boxes);
        port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service.startServingOnBench(port, QJsonDocument(bench).toJson()))
            << service.standardError().toStdString();
        qmtest::rpcCall(port, "universe.search", QJsonObject {{"interface_type", "usb"}});
        dorvaneUniverse = dorvaneOf();
        ASSERT_GT(dorvaneUniverse, 0);
    }
    int dorvaneOf()
    {
        for (const QJsonValue& universe :
            qmtest::rpcCall(port, "universe.list", QJsonObject {}).value("result").toArray()) {
            const QJsonObject object = universe.toObject();
            if (object.value("universe_name") == "Dorvane" && object.value("parent_device_id") == "1")
                return object.value("universe_id").toInt();
        }
        return 0;
    }
    static std::string text(const QJsonObject& object)
    {
        return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
    }

    ServiceProcess service;
    int port = 0;
    int dorvaneUniverse = 0;
};

// A driver that flags every answer as an error: "dorvane.send" reports the
// error the box named, never "no reply"; "retry_count" is no parameter of
// "dorvane.send" and is refused rather than ignored, as is a "retry" that is
// no whole number in 0..255.
TEST_F(DorvaneFaultsEndToEnd, AFlaggedAnswerIsReportedAsTheDriversError)
{
    start(QJsonObject {{"error_flag", -1}});
    const QJsonArray read {0x59, 0x3F, 0xE6}; // parameter 16358
    const QJsonObject flagged = qmtest::rpcCall(
        port, "dorvane.send", QJsonObject {{"universe_id", dorvaneUniverse}, {"bytes", read}});
    EXPECT_EQ(flagged.value("error").toObject().value("code").toInt(), -32603) << text(flagged);
    const std::string message = text(flagged);
    EXPECT_NE(message.find("the driver flagged its answer: VDERR_DV2_ERROR"), std::string::npos) << message;
    EXPECT_EQ(message.find("No reply"), std::string::npos) << message;

    const struct
    {
        QJsonObject extra;
        const char* message;
    } refusals[] = {
        {{{"retry_count", 5}}, "parameter retry_count is not taken by dorvane.send"},
        {{{"retry", -1}}, "parameter retry must be an integer in 0..255"},
        {{{"retry", "twice"}}, "parameter retry must be an integer in 0..255"},
    };
    for (const auto& refusal : refusals) {
        QJsonObject params {{"universe_id", dorvaneUniverse}, {"bytes", read}};
        for (auto it = refusal.extra.begin(); it != refusal.extra.end(); ++it)
            params.insert(it.key(), it.value());
        const QJsonObject reply = qmtest::rpcCall(port, "dorvane.send", params);
        EXPECT_EQ(reply.value("error").toObject().value("code").toInt(), -32602) << text(reply);
        EXPECT_NE(text(reply).find(refusal.message), std::string::npos) << text(reply);
    }
}

// A driver that answers nothing: a raw read by universe says "time-out", as a
// raw read does whichever way the box reports the silence, not "unknown error".
TEST_F(DorvaneFaultsEndToEnd, ARawReadOfASilentDriverIsATimeOut)
{
    start(QJsonObject {{"silent", -1}});
    const QJsonObject reply = qmtest::rpcCall(port, "device.rawparam.get",
        QJsonObject {{"universe_id", dorvaneUniverse}, {"param_type", "presmonde"}, {"address", 81},
            {"resolution", "16 bit"}});
    EXPECT_EQ(text(reply.value("result").toObject()), R"({"error_code":-6,"status":"time-out"})")
        << text(reply);
}

} // namespace
