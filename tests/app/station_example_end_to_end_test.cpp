#include "http_test_client.h"
#include "service_process.h"

#include <QProcess>

#include <gtest/gtest.h>

using qmtest::ServiceProcess;

namespace {

QString sourceDir()
{
    return QString::fromLocal8Bit(qgetenv("QM_SOURCE_DIR"));
}

// The station script of examples/ (what README points a test station's author
// to) runs against the service on the default bench and finds every check held;
// run a second time on the same service, it still passes (a profile name in use,
// a bus already commissioned).
TEST(StationExample, PassesOnTheDefaultBench)
{
    ServiceProcess service;
    service.environment().insert("QM_SIM_BENCH", sourceDir() + "/sim/benches/default.json");
    const int port = qmtest::freeLoopbackPort();
    ASSERT_TRUE(service.startServing(port, {"-d"})) << service.standardError().toStdString();
    for (int pass = 1; pass <= 2; ++pass) {
        QProcess script;
        script.setWorkingDirectory(sourceDir());
        script.start("python3", {sourceDir() + "/examples/station.py", "--port", QString::number(port)});
        ASSERT_TRUE(script.waitForFinished(300000)) << "pass " << pass;
        const std::string output = script.readAllStandardOutput().toStdString();
        EXPECT_EQ(script.exitCode(), 0) << "pass " << pass << "\n"
                                        << output << script.readAllStandardError().toStdString();
        EXPECT_NE(output.find("station: pass"), std::string::npos) << output;
        EXPECT_EQ(output.find("FAIL"), std::string::npos) << output;
    }
}

// Without a service the script says so and ends with 2.
TEST(StationExample, EndsWithTwoWithoutAService)
{
    QProcess script;
    script.start("python3",
        {sourceDir() + "/examples/station.py", "--port", QString::number(qmtest::freeLoopbackPort())});
    ASSERT_TRUE(script.waitForFinished(60000));
    EXPECT_EQ(script.exitCode(), 2);
    EXPECT_NE(script.readAllStandardOutput().indexOf("no service on port"), -1);
}

} // namespace
