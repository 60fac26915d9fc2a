#include "http_test_client.h"
#include "wait_until.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The running service with the sample package that the build put next to it.
TEST(ServiceDataPackageTest, ServesThePackagePagesAndAnswersListMethods)
{
    const QString buildDir = qEnvironmentVariable("QM_BUILD_DIR");
    if (buildDir.isEmpty())
        GTEST_SKIP() << "QM_BUILD_DIR not set (run through ctest)";
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    const int port = qmtest::freeLoopbackPort();
    QProcess service;
    service.setProcessEnvironment(env);
    service.setProgram(buildDir + "/quinmark-server");
    service.setArguments({"-d", "-p", QString::number(port)});
    service.setStandardOutputFile(home.filePath("out.txt"));
    service.setStandardErrorFile(home.filePath("err.txt"));
    service.start();
    ASSERT_TRUE(service.waitForStarted(10000));
    const bool serving = tarvesk::test::waitUntil(
        [&] { return qmtest::portAcceptsConnections(port) || service.state() == QProcess::NotRunning; },
        60000);
    ASSERT_TRUE(serving && service.state() == QProcess::Running);

    QFile page(qEnvironmentVariable("QM_SOURCE_DIR") + "/data/data/html/index.html");
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    qmtest::HttpTestClient client(port);
    const qmtest::HttpReply index = client.request("GET", "/data/html/index.html");
    EXPECT_EQ(index.status, 200);
    EXPECT_EQ(index.body, page.readAll().toStdString());
    EXPECT_EQ(client.request("GET", "/").body, index.body); // "/" is the index page
    EXPECT_EQ(client.request("GET", "/data/html/new_api_doc.html").status, 200);
    EXPECT_EQ(client.request("GET", "/data/css/log.css").status, 200);
    EXPECT_EQ(client.request("GET", "/data/html/missing.html").status, 404);

    const qmtest::HttpReply methods = client.request(
        "POST", "/", {{"Content-Type", "application/json-rpc"}}, qmtest::rpcBody("system.listMethods"));
    EXPECT_EQ(methods.status, 200);
    EXPECT_NE(methods.body.find("\"device.type.list\""), std::string::npos) << methods.body;

    service.terminate();
    if (!service.waitForFinished(20000))
        service.kill();
    service.waitForFinished(5000);

    // Test mode reads the same package and reports a good start.
    QProcess test;
    test.setProcessEnvironment(env);
    test.start(
        buildDir + "/quinmark-server", {"--test", "-d", "-p", QString::number(qmtest::freeLoopbackPort())});
    ASSERT_TRUE(test.waitForFinished(60000));
    EXPECT_EQ(test.exitCode(), 0) << test.readAllStandardError().toStdString();
}
