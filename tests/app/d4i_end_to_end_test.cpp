#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"
#include "wait_until.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

using qmtest::HttpReply;
using qmtest::HttpTestClient;
using qmtest::ServiceProcess;

namespace {

// The service on the D4i bench (two gear on one DALI line: short address 0
// with banks 1 and 201-207, short address 1 with bank 1 only), commissioned
// and driven over HTTP as a client drives it.
class D4iOverHttp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        service.environment().insert(
            "QM_SIM_BENCH", QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR")) + "/sim/benches/d4i.json");
        port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();
        const int universe = daliUniverse();
        ASSERT_GT(universe, 0);
        EXPECT_TRUE(step(universe, "initialise_all").value("result").toArray().isEmpty());
        // Commissioning hands out short addresses in search order: the gear
        // are told apart by their luminaire identification.
        for (int i = 0; i < 10; ++i) {
            const QJsonArray found = step(universe, "search_single").value("result").toArray();
            for (const QJsonValue& device : found)
                ids << device.toObject().value("device_id").toInt();
            if (found.isEmpty())
                break;
        }
        EXPECT_TRUE(step(universe, "end_search").contains("result"));
        ASSERT_EQ(ids.size(), 2);
        gear[0] = ids[0];
        const bool firstIsD4i = value(0, "dali_251_luminaire_identification") == "Bench luminaire";
        gear[0] = ids[firstIsD4i ? 0 : 1];
        gear[1] = ids[firstIsD4i ? 1 : 0];
    }

    void TearDown() override
    {
        EXPECT_TRUE(call("application.quit", "{}").contains("result"));
        EXPECT_EQ(service.waitForExit(60000), 0);
    }

    // The reply's text, for numbers beyond 2^53 that a parsed document rounds.
    std::string post(const std::string& method, const QString& params)
    {
        HttpTestClient client(port);
        const HttpReply reply = client.request("POST", "/", {{"Content-Type", "application/json-rpc"}},
            qmtest::rpcBody(method, "1", params.toStdString()));
        return reply.body;
    }

    QJsonObject call(const std::string& method, const QString& params)
    {
        return QJsonDocument::fromJson(QByteArray::fromStdString(post(method, params))).object();
    }

    int daliUniverse()
    {
        const QJsonArray boxes
            = call("universe.search", R"({"interface_type": "usb"})").value("result").toArray();
        if (boxes.isEmpty())
            return -1;
        for (const QJsonValue& child : boxes.first().toObject().value("child_universes").toArray()) {
            if (child.toObject().value("interface_type").toString() == "dali")
                return child.toObject().value("universe_id").toInt();
        }
        return -1;
    }

    QJsonObject step(int universe, const char* name) { return qmtest::searchStep(port, universe, name); }

    QJsonObject get(int i, const char* pid)
    {
        return call(
            "device.param.get", QStringLiteral(R"({"device_id": %1, "pid": "%2"})").arg(gear[i]).arg(pid));
    }
    QJsonValue value(int i, const char* pid) { return get(i, pid).value("result").toObject().value("value"); }

    // Writes a JSON value (as text) and returns the whole reply.
    QJsonObject set(int i, const char* pid, const QString& json)
    {
        return call("device.param.set",
            QStringLiteral(R"({"device_id": %1, "pid": "%2", "value": %3})").arg(gear[i]).arg(pid, json));
    }

    // The parameters listed under the filter ("" for the default one).
    QJsonArray list(int i, const QString& filter)
    {
        const QString extra
            = filter.isEmpty() ? QString() : QStringLiteral(R"(, "group_filter": %1)").arg(filter);
        return call("device.param.list",
            QStringLiteral(R"({"device_id": %1, "access_level": "dev"%2})").arg(gear[i]).arg(extra))
            .value("result")
            .toArray();
    }

    ServiceProcess service;
    int port = 0;
    QList<int> ids;
    int gear[2] = {0, 0}; // the D4i gear, the one with bank 1 only
};

// The digits a reply's text gives a key, as written.
QString numberText(const std::string& body, const char* key)
{
    const QRegularExpression pattern(QStringLiteral("\"%1\":\\s*(-?[0-9.e+]+)").arg(QLatin1String(key)));
    return pattern.match(QString::fromStdString(body)).captured(1);
}

TEST_F(D4iOverHttp, TheBanksReadAsTheGearHoldThem)
{
    // Expected values worked out by hand from the bench's bytes.
    const struct
    {
        const char* pid;
        QJsonValue shown;
    } cases[] = {
        // Bank 1
        {"dali_251_luminaire_manufacturer_gtin", 0x000123456789ll},
        {"dali_251_content_format_id", 3},
        {"dali_251_luminaire_year_of_manufacture", 26},
        {"dali_251_nominal_input_power", 75},
        {"dali_251_nominal_light_output", 9000},
        {"dali_251_cct", 4000},
        {"dali_251_luminaire_colour", "white"}, // ends at its NUL
        {"dali_251_luminaire_identification", "Bench luminaire"},
        // Bank 201
        {"dali_250_guaranteed_supply_current", 220},
        {"dali_250_maximum_supply_current", 250},
        {"dali_250_dali_bus_power_supply_status", true},
        // Banks 202-204: signed scale factors, codes at the field's full width
        {"dali_252_active_energy_scale_factor", 0},
        {"dali_252_active_power_scale_factor", -1},
        {"dali_252_active_power", 375},
        {"dali_252_apparent_energy", "Unavailable"},      // 0xFFFFFFFFFFFE
        {"dali_252_apparent_power", "Value not allowed"}, // 0xFFFFFFFF
        {"dali_252_load_side_energy_scale_factor", -3},
        {"dali_252_load_side_energy", 12345},
        {"dali_252_load_side_power", 300},
        // Bank 205
        {"dali_253_control_gear_operating_time", 86400},
        {"dali_253_control_gear_start_counter", 42},
        {"dali_253_control_gear_external_supply_voltage", 230},
        {"dali_253_control_gear_external_supply_frequency", 50},
        {"dali_253_control_gear_power_factor", 0.95},
        {"dali_253_control_gear_failure_condition", false},
        {"dali_253_control_gear_supply_undervoltage", "Unavailable"},
        {"dali_253_control_gear_supply_undervoltage_counter", "Unsupported"},
        {"dali_253_control_gear_output_power_limitation", true},
        {"dali_253_control_gear_output_power_limitation_counter", 3},
        {"dali_253_control_gear_thermal_shutdown_condition", "Unsupported"},
        {"dali_253_control_gear_temperature", 25},
        {"dali_253_control_gear_output_current_percent", 100},
        // Bank 206
        {"dali_253_light_source_start_counter_resettable", 12},
        {"dali_253_light_source_on_time_resettable", 3600},
        {"dali_253_light_source_voltage", 40},
        {"dali_253_light_source_current", 500},
        {"dali_253_light_source_short_circuit", false},
        {"dali_253_light_source_open_circuit", "Unavailable"},
        {"dali_253_light_source_open_circuit_counter", "Unavailable"},
        {"dali_253_light_source_temperature", "Unsupported"},
        // Bank 207, raw as the catalogue keeps it
        {"dali_253_rated_median_luminaire_lifetime", 50},
        {"dali_253_internal_control_gear_reference_temperature", 85},
        {"dali_253_rated_median_light_source_restarts", 30000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pid);
        const QJsonObject reply = get(0, c.pid);
        ASSERT_TRUE(reply.contains("result")) << QJsonDocument(reply).toJson().toStdString();
        const QJsonValue shown = reply.value("result").toObject().value("value");
        if (c.shown.isDouble())
            EXPECT_NEAR(shown.toDouble(), c.shown.toDouble(), 1e-9);
        else
            EXPECT_EQ(shown, c.shown);
    }
    EXPECT_EQ(get(0, "dali_252_apparent_energy").value("result").toObject().value("hex_value").toString(),
        "fffffffffffe");

    // The identification number 2^64 - 2, every digit of it.
    const std::string body = post("device.param.get",
        QStringLiteral(R"({"device_id": %1, "pid": "dali_251_luminaire_identification_number"})")
            .arg(gear[0]));
    EXPECT_EQ(numberText(body, "value"), "18446744073709551614") << body;
    EXPECT_EQ(numberText(body, "raw_value"), "18446744073709551614");
    EXPECT_NE(body.find("\"hex_value\": \"fffffffffffffffe\""), std::string::npos) << body;

    // The second gear has bank 1 but no D4i banks: an error, never a value.
    EXPECT_EQ(value(1, "dali_251_luminaire_identification"), "Second luminaire");
    for (const char* pid : {"dali_250_maximum_supply_current", "dali_252_active_energy",
             "dali_253_control_gear_temperature", "dali_253_rated_median_light_source_restarts"}) {
        SCOPED_TRACE(pid);
        const QJsonObject reply = get(1, pid);
        EXPECT_FALSE(reply.contains("result"));
        EXPECT_NE(reply.value("error").toObject().value("code").toInt(), 0);
    }
}

TEST_F(D4iOverHttp, TheD4iParametersAreListedByTheirGroups)
{
    // The 67 of every DALI device, and the 69 D4i ones that the default filter hides.
    EXPECT_EQ(list(0, "").size(), 67);
    EXPECT_EQ(list(0, R"({"groups": [], "operation": "in"})").size(), 67 + 69);
    // The gear without the banks 201-207 lists what it can read: bank 1.
    EXPECT_EQ(list(1, R"({"groups": [], "operation": "in"})").size(), 67 + 15);
    const struct
    {
        const char* groups;
        int count;
    } cases[] = {
        {R"("Integrated bus power supply")", 3},
        {R"("Luminaire configuration data")", 15},
        {R"("Active energy and power", "Apparent energy and power", "Load side energy and power")", 12},
        {R"("Control gear diagnostics and maintenance", "Light source diagnostics and maintenance",
            "Luminaire maintenance data")",
            39},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.groups);
        const QJsonArray listed
            = list(0, QStringLiteral(R"({"groups": [%1], "operation": "in"})").arg(QLatin1String(c.groups)));
        EXPECT_EQ(listed.size(), c.count);
        for (const QJsonValue& parameter : listed)
            EXPECT_TRUE(parameter.toObject().value("tags").toArray().contains("D4i"));
    }
    // Every D4i group is outside the default list.
    for (const QJsonValue& parameter : list(0, ""))
        EXPECT_FALSE(parameter.toObject().value("tags").toArray().contains("D4i"));
}

TEST_F(D4iOverHttp, WritesReachOnlyTheirGear)
{
    const struct
    {
        const char* pid;
        QString written;
        QJsonValue shown;
    } writes[] = {
        {"dali_251_luminaire_identification", R"("Hall 3, north")", "Hall 3, north"},
        {"dali_251_luminaire_colour", R"("RAL 9016")", "RAL 9016"},
        {"dali_251_cct", "2700", 2700},
        {"dali_251_luminaire_manufacturer_gtin", R"("0x0000BEEF0001")", double(0xBEEF0001ll)},
        {"dali_251_luminaire_week_of_manufacture", "7", 7},
        {"dali_250_dali_bus_power_supply_status", "false", false},
        {"dali_253_light_source_start_counter_resettable", "0", 0},
        {"dali_253_light_source_on_time_resettable", "0", 0},
        {"dali_253_rated_median_luminaire_lifetime", "60", 60},
        {"dali_253_rated_median_light_source_restarts", "25000", 25000},
    };
    for (const auto& w : writes) {
        SCOPED_TRACE(w.pid);
        const QJsonObject reply = set(0, w.pid, w.written);
        EXPECT_EQ(reply.value("result").toObject().value("value"), w.shown)
            << QJsonDocument(reply).toJson().toStdString();
        EXPECT_EQ(value(0, w.pid), w.shown); // read back from the gear
    }
    // The other gear on the line kept its own bank 1.
    EXPECT_EQ(value(1, "dali_251_luminaire_identification"), "Second luminaire");
    EXPECT_EQ(value(1, "dali_251_luminaire_colour"), "black");
    EXPECT_EQ(value(1, "dali_251_luminaire_manufacturer_gtin"), 42);
    EXPECT_EQ(value(1, "dali_251_luminaire_identification_number"), 7);
    // A counter the standard keeps read-only is refused, and stays.
    // (The value it holds stays the gear's, not the one refused.)
    EXPECT_EQ(value(0, "dali_253_light_source_start_counter"), 42);
    const QJsonObject refused = set(0, "dali_253_light_source_start_counter", "0");
    EXPECT_EQ(refused.value("error").toObject().value("code").toInt(), -32603);
    const QJsonObject held = call("device.param.get",
        QStringLiteral(R"({"device_id": %1, "pid": "dali_253_light_source_start_counter", "update": false})")
            .arg(gear[0]));
    EXPECT_EQ(held.value("result").toObject().value("value"), 42);

    // The 8-byte identification number, written as decimal and as hexadecimal text.
    const struct
    {
        QString written;
        const char* digits;
    } numbers[] = {
        {R"("18446744073709551613")", "18446744073709551613"},
        {R"("0xfffffffffffffffe")", "18446744073709551614"},
        {R"("9007199254740993")", "9007199254740993"}, // 2^53 + 1
    };
    for (const auto& n : numbers) {
        SCOPED_TRACE(n.digits);
        EXPECT_TRUE(set(1, "dali_251_luminaire_identification_number", n.written).contains("result"));
        const std::string body = post("device.param.get",
            QStringLiteral(R"({"device_id": %1, "pid": "dali_251_luminaire_identification_number"})")
                .arg(gear[1]));
        EXPECT_EQ(numberText(body, "value"), n.digits) << body;
    }
    EXPECT_EQ(value(0, "dali_251_luminaire_identification"), "Hall 3, north");
}

TEST_F(D4iOverHttp, TheAdvancingEnergyCounterIsReadWhole)
{
    // The gear counts its active energy up by one at every read of the bank,
    // from 0x0FFFF0: six bytes a read, so a carry into the third byte comes
    // within a few reads. Read under the latch, each value is one the counter
    // held, six more than the one before; a torn read would be off by 0xFF00
    // or more.
    std::vector<qint64> seen;
    for (int i = 0; i < 6; ++i)
        seen.push_back(qint64(value(0, "dali_252_active_energy").toDouble()));
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_LT(seen.front(), 0x100000);
    EXPECT_GT(seen.back(), 0x100000);
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_EQ(seen[i] - seen[i - 1], 6) << seen[i - 1] << " then " << seen[i];
}

// "update" is read as a boolean of the request's value model: only a true
// one reads the gear (whose active energy counts at every read); what is no
// boolean (a number among them) is refused and reads nothing.
TEST_F(D4iOverHttp, UpdateIsReadAsABoolean)
{
    const auto energy = [&](const char* update) {
        return call("device.param.get",
            QStringLiteral(R"({"device_id": %1, "pid": "dali_252_active_energy", "update": %2})")
                .arg(gear[0])
                .arg(QLatin1String(update)));
    };
    const auto valueOf = [](const QJsonObject& reply) {
        return qint64(reply.value("result").toObject().value("value").toDouble(-1));
    };
    const qint64 first = valueOf(energy("true"));
    ASSERT_GT(first, 0);
    for (const char* held : {"false", R"("0")", R"("no")", R"("FALSE")"}) {
        SCOPED_TRACE(held);
        EXPECT_EQ(valueOf(energy(held)), first);
    }
    for (const char* refused : {"0", "1", R"("2")", R"("maybe")", "[]"}) {
        SCOPED_TRACE(refused);
        const QJsonObject error = energy(refused).value("error").toObject();
        EXPECT_EQ(error.value("code"), -32602);
        EXPECT_TRUE(error.value("message").toString().contains("parameter update must be a boolean"))
            << error.value("message").toString().toStdString();
        const QJsonObject listed = call("device.param.list",
            QStringLiteral(R"({"device_id": %1, "update": %2})").arg(gear[0]).arg(QLatin1String(refused)));
        EXPECT_EQ(listed.value("error").toObject().value("code"), -32602);
    }
    EXPECT_EQ(valueOf(energy("false")), first); // nothing refused reached the gear
    EXPECT_EQ(valueOf(energy(R"("yes")")), first + 6);
}

// Gear without the optional D4i banks is ordinary: listing its parameters
// leaves them out without filling the error log, which stays for faults.
TEST_F(D4iOverHttp, GearWithoutTheD4iBanksLeavesTheErrorLogAlone)
{
    EXPECT_EQ(list(1, R"({"groups": [], "operation": "in"})").size(), 67 + 15);
    const QJsonObject missing = get(1, "dali_252_active_energy").value("error").toObject();
    EXPECT_EQ(missing.value("code"), -32603);
    EXPECT_TRUE(missing.value("message").toString().contains("No reply where one was expected."))
        << missing.value("message").toString().toStdString();
    ASSERT_TRUE(tarvesk::test::waitUntil(
        [&] { return service.log().contains("left out of the parameter list"); }, 10000));
    HttpTestClient client(port);
    const HttpReply errors = client.request("GET", "/debug/error");
    ASSERT_EQ(errors.status, 200);
    EXPECT_EQ(errors.body.find("Error reading memory block"), std::string::npos);
    EXPECT_EQ(errors.body.find("could not be added to parameter list"), std::string::npos);
}

} // namespace
