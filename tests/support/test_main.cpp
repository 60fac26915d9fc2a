#include <QCoreApplication>
#include <gtest/gtest.h>

// Every test binary gets a QCoreApplication so that Qt's event loop, timers and
// queued connections work as they do in the service.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv(
        "QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
