#include "core/thread_manager.h"
#include "log_capture.h"
#include "wait_until.h"

#include <QRegularExpression>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace tarvesk::core;
using tarvesk::test::LogCapture;

TEST(ThreadManager, StartAndQuitTakesTheThreadOffTheList)
{
    ThreadManager* manager = ThreadManager::instance();
    const int before = manager->getThreadCount();
    LogCapture log;
    auto thread = manager->newThread(QStringLiteral("USB monitor"));
    EXPECT_EQ(manager->getThreadCount(), before + 1);
    QSignalSpy started(thread.get(), &Thread::started);
    QSignalSpy finished(thread.get(), &Thread::finished);
    thread->start();
    // The start message is delivered to this thread's event loop.
    ASSERT_TRUE(tarvesk::test::waitUntil(
        [&] { return log.count(QStringLiteral("Starting thread USB monitor")) > 0; }));
    EXPECT_EQ(started.count(), 1);
    thread->quit();
    EXPECT_FALSE(thread->getThreadPtr()->isRunning());
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(manager->getThreadCount(), before);
    EXPECT_EQ(log.count(QStringLiteral("Starting thread USB monitor")), 1);
    EXPECT_EQ(log.count(QStringLiteral("didn't find thread")), 0);
}

TEST(ThreadManager, QuitOfANeverStartedThreadDoesNothing)
{
    ThreadManager* manager = ThreadManager::instance();
    const int before = manager->getThreadCount();
    auto thread = manager->newThread(QStringLiteral("idle"));
    QSignalSpy finished(thread.get(), &Thread::finished);
    thread->quit();
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(manager->getThreadCount(), before + 1);
    manager->threadFinished(thread.get()); // take it off by hand
    EXPECT_EQ(manager->getThreadCount(), before);
    LogCapture log;
    manager->threadFinished(thread.get());
    EXPECT_EQ(log.count(QStringLiteral("Error: didn't find thread \"idle\" to remove from list.")), 1);
}

TEST(ThreadManager, DebugDumpMarksTheCallingThread)
{
    ThreadManager* manager = ThreadManager::instance();
    LogCapture log;
    manager->debugDump();
    ASSERT_EQ(log.count(QStringLiteral("Current undefined : ")), 1);
    const QString line = log.messages().last();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Current undefined : [0-9a-f]{16}$")).match(line).hasMatch())
        << line.toStdString();
}
