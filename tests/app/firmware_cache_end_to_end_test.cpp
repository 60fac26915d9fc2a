#include "http_test_client.h"
#include "rpc_call.h"
#include "service_process.h"
#include "tiny_http_server.h"
#include "wait_until.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using qmtest::ServiceProcess;

namespace {

QJsonObject call(int port, const std::string& method, const std::string& params)
{
    return qmtest::rpcCall(port, method, QJsonDocument::fromJson(QByteArray::fromStdString(params)).object());
}

// The service with its tray (no --daemon) fetches the firmware package from
// the host its settings name, on port 8013, and answers the module methods
// from it.
TEST(FirmwareCacheEndToEnd, ModulesOfTheServedPackageAnswerOverHttp)
{
    QFile sample(qEnvironmentVariable("QM_BUILD_DIR") + "/sample/fw.pak");
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly)) << sample.fileName().toStdString();
    TinyHttpServer packageServer(8013);
    if (!packageServer.isListening())
        GTEST_SKIP() << "port 8013 is taken on this machine";
    packageServer.setBody(sample.readAll());

    ServiceProcess service;
    service.setSetting("firmware/package_host", "127.0.0.1");
    service.environment().insert(
        "QM_SIM_BENCH", QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR")) + "/sim/benches/default.json");
    const int port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(service.startServing(port)) << service.standardError().toStdString();

    QJsonArray modules;
    EXPECT_TRUE(tarvesk::test::waitUntil(
        [&] {
            modules = call(port, "database.module.list", "{}").value("result").toArray();
            return modules.size() == 3;
        },
        30000))
        << service.log().toStdString();
    EXPECT_EQ(packageServer.lastRequestLine(), "GET /fw.pak HTTP/1.1");
    QStringList names;
    for (const QJsonValue& module : modules)
        names << module.toObject().value("raw_filename").toString();
    EXPECT_TRUE(names.contains("i001v00203s001.hex")) << names.join(' ').toStdString();

    // A module by its file name: its text, as the package holds it.
    const QJsonObject module
        = call(port, "database.module.get", R"({"firmware_db_file": "i001v00203s001.hex"})");
    QFile source(
        qEnvironmentVariable("QM_SOURCE_DIR") + "/data/firmware/data/firmware_mods/i001v00203s001.hex");
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    EXPECT_EQ(module.value("result").toString().toUtf8(), source.readAll())
        << QJsonDocument(module).toJson().toStdString();

    EXPECT_TRUE(call(port, "application.quit", "{}").contains("result"));
    EXPECT_EQ(service.waitForExit(60000), 0) << service.standardError().toStdString();
}

} // namespace
