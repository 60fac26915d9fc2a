#include "core/device_manager.h"
#include "core/network_interface.h"
#include "core/profile/profile_manager.h"
#include "core/universe.h"
#include "core/universe_manager.h"
#include "fake_product_database.h"
#include "log_capture.h"
#include "plain_device.h"
#include "service/json_rpc_exception.h"
#include "service/rpc/rpc_methods/application/rpc_application_log.h"
#include "service/rpc/rpc_methods/application/rpc_application_quit.h"
#include "service/rpc/rpc_methods/application/rpc_application_reset.h"
#include "service/rpc/rpc_methods/application/rpc_application_restart.h"
#include "service/rpc_request.h"
#include "service/rpc_response.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <thread>

using namespace tarvesk;
using namespace tarvesk::service;

namespace {

class ApplicationMethods : public ::testing::Test
{
protected:
    void SetUp() override
    {
        database = std::make_shared<test::FakeProductDatabase>(true);
        AbstractRpcMethod::setDatabase(database);
        QLoggingCategory::setFilterRules(QStringLiteral("logger.glog.debug=true"));
    }
    void TearDown() override { AbstractRpcMethod::setDatabase(nullptr); }

    // Runs the method as the server does; returns the error code and fills the result.
    int run(AbstractRpcMethod& method, const QString& params, QJsonObject* result = nullptr)
    {
        RpcRequest request;
        const QString body
            = QStringLiteral(R"({"jsonrpc":"2.0","id":1,"method":"%1"%2})").arg(method.getName(), params);
        EXPECT_TRUE(request.parseJsonRpc(body)) << body.toStdString();
        RpcResponse response;
        try {
            const RpcMethodError error = method.execute(&request, &response, true);
            if (result)
                *result = response.getQJsonResult().toJsonObject();
            return error.getErrorCode();
        } catch (const JsonRpcException& e) {
            return e.code();
        }
    }

    std::shared_ptr<test::FakeProductDatabase> database;
};

} // namespace

TEST_F(ApplicationMethods, LogWritesAtTheChosenLevel)
{
    const struct
    {
        const char* logType; // null: not given
        QtMsgType level;
        const char* text; // null: nothing written
    } cases[] = {
        {nullptr, QtDebugMsg, "\"Test 1\""},
        {"info", QtDebugMsg, "\"Test 1\""},
        {"group_start", QtDebugMsg, "\"@{Test 1\""},
        {"group_end", QtDebugMsg, "\"@}Test 1\""},
        {"warning", QtWarningMsg, " *GLOG*  \"Test 1\""},
        {"error", QtCriticalMsg, " *GLOG*  \"Test 1\""},
        {"WARNING", QtDebugMsg, nullptr},
        {"other", QtDebugMsg, nullptr},
    };
    RpcApplicationLog method;
    for (const auto& c : cases) {
        test::LogCapture log;
        const QString params = c.logType
            ? QStringLiteral(R"(,"params":{"msg":"Test 1","log_type":"%1"})").arg(QLatin1String(c.logType))
            : QStringLiteral(R"(,"params":{"msg":"Test 1"})");
        QJsonObject result;
        ASSERT_EQ(run(method, params, &result), 0) << (c.logType ? c.logType : "(none)");
        EXPECT_EQ(result.value("status").toString(), "ok");
        EXPECT_EQ(result.value("status_text").toString(), "Message logged");
        QList<test::LogCapture::Entry> written;
        for (const auto& entry : log.entries()) {
            if (entry.category == QLatin1String("logger.glog"))
                written.append(entry);
        }
        if (!c.text) {
            EXPECT_TRUE(written.isEmpty()) << c.logType;
            continue;
        }
        ASSERT_EQ(written.size(), 1) << (c.logType ? c.logType : "(none)");
        EXPECT_EQ(written[0].type, c.level);
        EXPECT_EQ(written[0].message, QString::fromUtf8(c.text));
    }
    EXPECT_EQ(run(method, QStringLiteral(R"(,"params":{"log_type":"info"})")), -32602); // "msg" is required

    // A client's line breaks cannot start a log line of their own.
    for (const char* type : {"info", "warning", "group_start"}) {
        test::LogCapture log;
        ASSERT_EQ(run(method,
                      QStringLiteral(R"(,"params":{"msg":"a\r\nb\nc\u2028d","log_type":"%1"})")
                          .arg(QLatin1String(type))),
            0);
        int lines = 0;
        for (const auto& entry : log.entries()) {
            if (entry.category == QLatin1String("logger.glog")) {
                ++lines;
                EXPECT_TRUE(entry.message.contains(QLatin1String("a  b c d"))) << entry.message.toStdString();
            }
        }
        EXPECT_EQ(lines, 1) << type;
    }
}

TEST_F(ApplicationMethods, RestartAndQuitEndTheEventLoopWithTheirCodes)
{
    const struct
    {
        std::function<AbstractRpcMethod*()> make;
        int exitCode;
        const char* statusText;
    } cases[] = {
        {[] { return new RpcApplicationRestart; }, 1337, "Application restart"},
        {[] { return new RpcApplicationQuit; }, 0, "Quit"},
    };
    for (const auto& c : cases) {
        std::unique_ptr<AbstractRpcMethod> method(c.make());
        QJsonObject result;
        int error = -1;
        QTimer::singleShot(0, [&] { error = run(*method, QString(), &result); });
        EXPECT_EQ(QCoreApplication::exec(), c.exitCode);
        EXPECT_EQ(error, 0);
        EXPECT_EQ(result.value("status_text").toString(), QLatin1String(c.statusText));
        // Parameters are refused, and then nothing ends the loop.
        EXPECT_EQ(run(*method, QStringLiteral(R"(,"params":{"now":true})")), -32602);
    }
}

// The service answers as soon as its port is open, which can be just before
// the main thread enters its event loop: a restart or quit asked for from a
// connection thread then must still end the loop once it runs.
TEST_F(ApplicationMethods, RestartAndQuitFromAConnectionThreadBeforeTheLoopRunsAreKept)
{
    const struct
    {
        std::function<AbstractRpcMethod*()> make;
        int exitCode;
    } cases[] = {
        {[] { return new RpcApplicationRestart; }, 1337},
        {[] { return new RpcApplicationQuit; }, 0},
    };
    for (const auto& c : cases) {
        std::unique_ptr<AbstractRpcMethod> method(c.make());
        int error = -1;
        std::thread connection([&] { error = run(*method, QString()); });
        connection.join();
        ASSERT_EQ(error, 0);
        // Only ends the loop when the request was lost.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
        watchdog.start(10000);
        EXPECT_EQ(QCoreApplication::exec(), c.exitCode);
    }
}

TEST_F(ApplicationMethods, ResetDropsTopLevelDevicesOnly)
{
    auto* usb
        = new core::Universe(QStringLiteral("USB"), new core::NetworkInterface(core::ITF_TYPE_USB), nullptr);
    core::UniverseManager::instance().add(usb);
    auto* box = new test::PlainDevice(usb, QStringLiteral("box"));
    auto* pinned = new test::PlainDevice(usb, QStringLiteral("pinned"));
    pinned->setImmortality(true);
    ASSERT_TRUE(usb->addDevice(box));
    ASSERT_TRUE(usb->addDevice(pinned));
    auto* bus = new core::Universe(
        QStringLiteral("dali"), new core::NetworkInterface(box, core::ITF_TYPE_DALI), nullptr);
    box->addChildUniverse(bus);
    auto* driver = new test::PlainDevice(bus, QStringLiteral("driver"));
    ASSERT_TRUE(bus->addDevice(driver));
    QPointer<core::Device> boxAlive(box), pinnedAlive(pinned), driverAlive(driver);

    RpcApplicationReset method;
    QJsonObject result;
    ASSERT_EQ(run(method, QString(), &result), 0);
    EXPECT_EQ(result.value("status_text").toString(), "Application reset");
    EXPECT_TRUE(boxAlive.isNull());
    EXPECT_TRUE(driverAlive.isNull()); // went with the box that reached it
    EXPECT_FALSE(pinnedAlive.isNull());
    EXPECT_EQ(core::ProfileManager::instance().count(), 0);

    core::UniverseManager::instance().cleanupUniverse(usb);
}
