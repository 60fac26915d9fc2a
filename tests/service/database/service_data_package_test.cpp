#include "http_test_client.h"
#include "wait_until.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
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

    // Every example on the package's pages works as printed (on this test's
    // port): each curl call is answered with a result, each link is served.
    const QRegularExpression curl(
        R"(curl [^<]*?-H '([^:']+): ([^']*)'[^<]*?-d '([^']*)'[^<]*?http://127\.0\.0\.1:\d+(/[^\s<]*))");
    const QRegularExpression link(R"re(href="(/[^"]*)")re");
    const QRegularExpression refusedType(R"(application/json(?!-rpc))");
    int examples = 0;
    QDirIterator pages(qEnvironmentVariable("QM_SOURCE_DIR") + "/data/data/html", {"*.html"}, QDir::Files,
        QDirIterator::Subdirectories);
    while (pages.hasNext()) {
        QFile file(pages.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        SCOPED_TRACE(file.fileName().toStdString());
        EXPECT_FALSE(html.contains(refusedType)); // the service answers that type with 403
        for (auto matches = curl.globalMatch(html); matches.hasNext(); ++examples) {
            const QRegularExpressionMatch example = matches.next();
            const qmtest::HttpReply reply = client.request("POST", example.captured(4).toStdString(),
                {{example.captured(1).toStdString(), example.captured(2).toStdString()}},
                example.captured(3).toStdString());
            EXPECT_EQ(reply.status, 200) << example.captured(0).toStdString();
            EXPECT_NE(reply.body.find("\"result\""), std::string::npos) << reply.body;
        }
        for (auto matches = link.globalMatch(html); matches.hasNext();) {
            const QString target = matches.next().captured(1);
            EXPECT_EQ(client.request("GET", target.toStdString()).status, 200) << target.toStdString();
        }
    }
    EXPECT_GE(examples, 2);

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
