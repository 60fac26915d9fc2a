#include "app/common_application.h"
#include "app/qm_server_version.h"

#include "log_capture.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

using tarvesk::CommonApplication;

namespace {

// The application object sets process-wide names; other tests in this binary
// expect the framework's defaults back.
struct ApplicationDeleter
{
    void operator()(CommonApplication* application) const
    {
        delete application;
        QCoreApplication::setApplicationName(QString());
        QCoreApplication::setOrganizationName(QString());
        QCoreApplication::setOrganizationDomain(QString());
        QCoreApplication::setApplicationVersion(QString());
    }
};

std::unique_ptr<CommonApplication, ApplicationDeleter> makeApplication()
{
    return std::unique_ptr<CommonApplication, ApplicationDeleter>(new CommonApplication(
        QCoreApplication::instance(), "Quinmark Server", "Tarvesk", "tarvesk.com", QString(), 8012));
}

} // namespace

TEST(Version, TextsFromTheConstants)
{
    EXPECT_EQ(qm_server::applicationVersionString(), "2.66.8 (beta.1)");
    EXPECT_EQ(qm_server::testVersionLine(), "2.66.8-beta.1");
    EXPECT_FALSE(qm_server::api_mode());
}

TEST(CommonApplication, VersionStringSetsNumbersOrWarnsAndIsSetEitherWay)
{
    auto application = makeApplication();
    EXPECT_EQ(QCoreApplication::applicationName(), "Quinmark Server");
    EXPECT_EQ(QCoreApplication::organizationName(), "Tarvesk");
    QSignalSpy changed(application.get(), &CommonApplication::applicationVersionStringChanged);

    application->setApplicationVersionString("10.2.3-rc1");
    EXPECT_EQ(application->getMajor(), 10);
    EXPECT_EQ(application->getMinor(), 2);
    EXPECT_EQ(application->getBug(), 3);

    tarvesk::test::LogCapture log;
    application->setApplicationVersionString("2.66");
    EXPECT_EQ(log.count("Could not match regular expression for application version string"), 1);
    EXPECT_EQ(application->getMajor(), 10);
    EXPECT_EQ(application->getApplicationVersionString(), "2.66");
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(1).at(0).toString(), "2.66");

    application->setApplicationVersionString("release 2.66.8 (beta.1)");
    EXPECT_EQ(application->getMajor(), 2);
    EXPECT_EQ(application->getMinor(), 66);
    EXPECT_EQ(application->getBug(), 8);
}

TEST(CommonApplication, ResetAndRestartEndTheLoopWith1337AndQuitWith0)
{
    auto application = makeApplication();
    const struct
    {
        void (CommonApplication::*slot)();
        int code;
    } cases[] = {
        {&CommonApplication::reset, 1337},
        {&CommonApplication::restart, 1337},
        {&CommonApplication::quit, 0},
    };
    for (const auto& c : cases) {
        QTimer::singleShot(0, application.get(), c.slot);
        EXPECT_EQ(QCoreApplication::exec(), c.code);
    }
}

TEST(CommonApplication, SystemInformation)
{
    auto application = makeApplication();
    qputenv("USER", "tester");
    application->initializeSystemInfo();
    EXPECT_EQ(application->getUserName(), "tester");
    EXPECT_FALSE(application->getHostName().isEmpty());
    EXPECT_EQ(application->getPort(), 8012);
    application->setPort(9000);
    EXPECT_EQ(application->getPort(), 9000);
}
