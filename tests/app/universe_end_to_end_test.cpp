#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"
#include "wait_until.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using qmtest::ServiceProcess;

namespace {

QString sourcePath(const QString& relative)
{
    return QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR")) + QLatin1Char('/') + relative;
}

// Ids depend on what was made before; the golden replies leave them out. The
// raw interfaces come in hash order, which changes from run to run: sorted here.
QJsonValue withoutIds(const QJsonValue& value)
{
    if (value.isArray()) {
        QJsonArray out;
        for (const QJsonValue& element : value.toArray())
            out.append(withoutIds(element));
        return out;
    }
    if (!value.isObject())
        return value;
    QJsonObject out;
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() == "raw_parameter_interfaces") {
            QStringList names;
            for (const QJsonValue& name : it.value().toArray())
                names << name.toString();
            names.sort();
            out.insert(it.key(), QJsonArray::fromStringList(names));
        } else if (it.key() != "device_id" && it.key() != "universe_id" && it.key() != "parent_device_id") {
            out.insert(it.key(), withoutIds(it.value()));
        }
    }
    return out;
}

QJsonValue golden(const QString& name)
{
    QFile file(sourcePath(QStringLiteral("tests/app/golden/") + name));
    if (!file.open(QIODevice::ReadOnly))
        return QJsonValue();
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

std::string text(const QJsonValue& value)
{
    const QJsonDocument document
        = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return document.toJson(QJsonDocument::Indented).toStdString();
}

class BenchService : public ::testing::Test
{
protected:
    void start(bool withBench)
    {
        if (withBench)
            service.environment().insert("QM_SIM_BENCH", sourcePath("sim/benches/default.json"));
        else
            service.environment().remove("QM_SIM_BENCH");
        port = qmtest::freeLoopbackPort();
        ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();
    }

    QJsonObject call(const std::string& method, const std::string& params = "{}")
    {
        return qmtest::rpcCallText(port, method, params);
    }

    ServiceProcess service;
    int port = 0;
};

TEST_F(BenchService, SearchFindsTheBenchBoxesWithTheirUniversesAndASecondSearchReplacesThem)
{
    start(true);
    const QJsonValue first = call("universe.search", R"({"interface_type": "usb"})").value("result");
    EXPECT_EQ(withoutIds(first), golden("universe_search_default_bench.json")) << text(first);
    const QJsonValue universes = call("universe.list").value("result");
    EXPECT_EQ(withoutIds(universes), golden("universe_list_default_bench.json")) << text(universes);
    // Each box's universes name it as their parent.
    for (const QJsonValue& box : first.toArray()) {
        for (const QJsonValue& child : box.toObject().value("child_universes").toArray()) {
            EXPECT_EQ(child.toObject().value("parent_device_id").toString(),
                QString::number(box.toObject().value("device_id").toInt()));
        }
    }
    EXPECT_EQ(call("device.list").value("result"), first);
    const int threads = service.threadCount();

    const QJsonValue second = call("universe.search", R"({"interface_type": "usb"})").value("result");
    EXPECT_EQ(withoutIds(second), golden("universe_search_default_bench.json"));
    EXPECT_EQ(withoutIds(call("universe.list").value("result")), golden("universe_list_default_bench.json"));
    EXPECT_EQ(call("device.list").value("result").toArray().size(), 2);
    // The old boxes' monitor threads are gone, the new ones run.
    EXPECT_TRUE(tarvesk::test::waitUntil([&] { return service.threadCount() <= threads; }, 10000))
        << service.threadCount() << " threads, " << threads << " after the first search";

    const QJsonObject quit = call("application.quit");
    EXPECT_TRUE(quit.contains("result"));
    EXPECT_EQ(service.waitForExit(60000), 0);
}

TEST_F(BenchService, ErrorRepliesOfTheSearchAndListMethods)
{
    start(true);
    const struct
    {
        const char* method;
        const char* params;
        int code;
        const char* message;
    } cases[] = {
        {"universe.search", "{}", -32603,
            "Error executing method universe.search: At least one of two parameters ('interface_type' or "
            "'universe_id') must be provided for method 'universe.search'"},
        {"universe.search", R"({"universe_id": 99})", -32603,
            "Error executing method universe.search: Universe with id 99 not found"},
        {"universe.search", R"({"interface_type": "usb", "search_method": "often"})", -32603,
            "Error executing method universe.search: Unknown option for 'search_method': often"},
        {"device.type.list", R"({"all": true})", -32602,
            "Error executing method device.type.list: Method device.type.list does not accept parameters."},
    };
    for (const auto& c : cases) {
        const QJsonObject error = call(c.method, c.params).value("error").toObject();
        EXPECT_EQ(error.value("code").toInt(), c.code) << c.params;
        EXPECT_TRUE(error.value("message").toString().startsWith(QString::fromLatin1(c.message)))
            << error.value("message").toString().toStdString();
    }
    const QJsonObject types = call("device.type.list").value("result").toObject();
    EXPECT_FALSE(types.value("devices").toArray().isEmpty());
    EXPECT_TRUE(types.value("group_sorting").isArray());
}

TEST_F(BenchService, WithoutABenchNoBoxIsFoundAndTheLogSaysSo)
{
    start(false);
    const QJsonObject reply = call("universe.search", R"({"interface_type": "usb"})");
    EXPECT_EQ(reply.value("result"), QJsonArray()) << text(reply);
    EXPECT_TRUE(tarvesk::test::waitUntil([&] {
        return service.log().contains("No USB interface found")
            || service.log().contains("USB library could not be initialised");
    }));
}

} // namespace
