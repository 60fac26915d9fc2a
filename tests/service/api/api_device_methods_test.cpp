#include "qt_printers.h"
#include "service/rpc/rpc_methods/rpc_method.h"
#include "station_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace tarvesk;
using tarvesk::test::MethodOutcome;

namespace {

// A box with a Corvalt 560 (a Dorvane driver of the Wystrel generation: its
// profile type ends in "_DORVANE_WY"), a Wystrel driver and an RDM responder
// on DMX, and a DALI gear. The driver's byte 1 holds the start-up delay.
QByteArray benchWith(const char* dorvane, const char* startupByte)
{
    return QStringLiteral(R"({"boxes": [{"release": "0x2014", "firmware": 21, "subversion": 12,
        "capabilities": "0x26", "serial": 7, "registers": {"4": 0, "41": 354, "48": 2},
        "dali": [{"model": "dali_gear", "short_address": 0}],
        "dmx": [{"model": "wystrel_driver", "uid": "0x00B1C2D3", "version": 276, "product_id": 80,
                 "oem_id": 3, "parameters": {"16361": "0x0315", "1": "0x12"}, "presmonde": true},
                {"model": "rdm_responder", "uid": "0x7E2B00B1C2D4"}],
        "dorvane": [%1]}]})")
        .arg(QString::fromLatin1(dorvane).arg(QLatin1String(startupByte)))
        .toUtf8();
}

const char* const corvalt = R"({"model": "dorvane_driver", "version": 276, "product_id": 32, "oem_id": 1,
    "parameters": {"16358": 0, "52": 2, "16361": "0x0315", "1": "%1"}, "presmonde": true})";

class ApiDeviceMethods : public test::StationFixture
{
};

QString text(const QJsonValue& value)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact));
}

} // namespace

TEST_F(ApiDeviceMethods, DeviceInfoAnswersTheLastDeviceOnTheBus)
{
    const struct
    {
        const char* what;
        const char* dorvane; // the Dorvane port's model, or ""
        const char* params;
        int code;
        const char* name; // the device answered; "" for {}
    } rows[] = {
        {"a DORVANE_WY driver is a Dorvane unit", corvalt, R"({"protocol": "dorvane", "api_version": 1})", 0,
            "Corvalt 560"},
        {"no Dorvane driver: {}", "", R"({"protocol": "dorvane", "api_version": 1})", 0, ""},
        {"two on DMX: the later one in the list", corvalt, R"({"protocol": "dmx", "api_version": 2})", 0,
            "(last dmx)"},
        {"without api_version", corvalt, R"({"protocol": "dmx"})", -32602, nullptr},
        {"a protocol outside the list", corvalt, R"({"protocol": "dali", "api_version": 1})", -32602,
            nullptr},
        {"protocol not a string", corvalt, R"({"protocol": 1, "api_version": 1})", -32602, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        useBench(benchWith(row.dorvane, "0x15"));
        const MethodOutcome info
            = callWith(QStringLiteral("uut.device.info"), QStringLiteral(",\"params\":%1").arg(row.params));
        ASSERT_EQ(info.code, row.code) << info.message.toStdString();
        if (row.code != 0)
            continue;
        const QJsonObject answer = info.result.toObject();
        if (!*row.name) {
            EXPECT_TRUE(answer.isEmpty()) << text(answer).toStdString();
            continue;
        }
        // Both searches ran: the box and the bus's drivers are listed.
        const QJsonArray devices = call(QStringLiteral("device.list"), {}).result.toArray();
        QJsonObject expected;
        int onDmx = 0;
        for (const QJsonValue& device : devices) {
            const QJsonObject object = device.toObject();
            if (object.value("device_name") == QLatin1String(row.name)
                || (QLatin1String(row.name) == QLatin1String("(last dmx)")
                    && object.value("interface_type").toString().compare("dmx", Qt::CaseInsensitive) == 0)) {
                expected = object;
                ++onDmx;
            }
        }
        if (QLatin1String(row.name) == QLatin1String("(last dmx)")) {
            EXPECT_EQ(onDmx, 2) << text(devices).toStdString();
        }
        EXPECT_EQ(answer.value("id"), expected.value("device_id")) << text(devices).toStdString();
        EXPECT_EQ(answer.value("name"), expected.value("device_name"));
        EXPECT_EQ(answer.size(), 2);
    }
}

TEST_F(ApiDeviceMethods, ConvertWritesZeroOnceAndRefusesWhatCannotBeConverted)
{
    const struct
    {
        const char* what;
        const char* startupByte;
        const char* device; // by name; "" for an id no device has
        int code;
        const char* message; // the start of the message, after the method's prefix
    } rows[] = {
        {"a delay of 250 ms", "0x15", "Corvalt 560", 0, nullptr},
        {"already 0", "0x10", "Corvalt 560", -32600,
            "Device Corvalt 560 is already configured as RB57, or unable to configure device."},
        {"no such parameter: the name, not the id", "0x15", "Vandrel USB interface", -32603,
            "Device Vandrel USB interface does not support RB57 configuration"},
        {"no such device", "0x15", "", -32603,
            "device 999 no longer available. connect device and execute uut.device.info command."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        useBench(benchWith(corvalt, row.startupByte));
        ASSERT_EQ(
            call(QStringLiteral("uut.device.info"), {{"protocol", "dorvane"}, {"api_version", 1}}).code, 0);
        const int id = *row.device ? deviceId(QLatin1String(row.device)) : 999;
        ASSERT_NE(id, 0);
        const QJsonObject params {{"device_id", id}, {"api_version", 1}};
        const MethodOutcome converted = call(QStringLiteral("uut.device.convert.rb57"), params);
        EXPECT_EQ(converted.code, row.code) << converted.message.toStdString();
        if (row.message) {
            EXPECT_TRUE(converted.message.startsWith(
                QStringLiteral("Error executing method uut.device.convert.rb57: ")
                + QLatin1String(row.message)))
                << converted.message.toStdString();
            continue;
        }
        EXPECT_EQ(text(converted.result), R"([{"success":true}])");
        const MethodOutcome read
            = call(QStringLiteral("device.param.get"), {{"device_id", id}, {"pid", "extra_startup_delay"}});
        EXPECT_EQ(read.result.toObject().value("value"), 0) << read.message.toStdString();
        // The driver's other start-up bits are kept.
        const MethodOutcome mode
            = call(QStringLiteral("device.param.get"), {{"device_id", id}, {"pid", "startup_behaviour"}});
        EXPECT_EQ(mode.result.toObject().value("value"), "Goto Scene 1") << mode.message.toStdString();
        const MethodOutcome again = call(QStringLiteral("uut.device.convert.rb57"), params);
        EXPECT_EQ(again.code, -32600) << again.message.toStdString();
        EXPECT_EQ(call(QStringLiteral("uut.device.convert.rb57"), {{"device_id", id}}).code, -32602);
    }
}

// In API mode clients may call only the production-test methods; the methods
// they run inside still run.
TEST_F(ApiDeviceMethods, InnerMethodsRunInApiMode)
{
    useBench(benchWith(corvalt, "0x15"));
    service::AbstractRpcMethod::setApiMode(true);
    const MethodOutcome info
        = call(QStringLiteral("uut.device.info"), {{"protocol", "dorvane"}, {"api_version", 1}});
    const int id = info.result.toObject().value("id").toInt();
    const MethodOutcome converted
        = call(QStringLiteral("uut.device.convert.rb57"), {{"device_id", id}, {"api_version", 1}});
    service::AbstractRpcMethod::setApiMode(false);
    EXPECT_EQ(info.code, 0) << info.message.toStdString();
    EXPECT_EQ(info.result.toObject().value("name"), "Corvalt 560");
    EXPECT_EQ(converted.code, 0) << converted.message.toStdString();
}
