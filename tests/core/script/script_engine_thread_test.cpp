#include "core/script/script_engine_thread.h"

#include <QObject>
#include <QThread>
#include <gtest/gtest.h>
#include <thread>

using namespace tarvesk::core;

// A task runs on the engine's thread and is done when run() returns; calls
// queued for an object of that thread from elsewhere wait until they are asked
// for, and then run there.
TEST(ScriptEngineThreadTest, RunsTasksAndQueuedCallsOnItsOwnThreadWhenAsked)
{
    ScriptEngineThread engineThread;
    ASSERT_TRUE(engineThread.thread());
    EXPECT_NE(engineThread.thread(), QThread::currentThread());

    QThread* ranOn = nullptr;
    engineThread.run([&] { ranOn = QThread::currentThread(); });
    EXPECT_EQ(ranOn, engineThread.thread());

    QObject object;
    object.moveToThread(engineThread.thread());
    int ran = 0;
    QThread* calledOn = nullptr;
    for (int n = 0; n < 3; ++n) {
        // As a script value let go on a request thread hands its release over.
        std::thread([&] {
            QMetaObject::invokeMethod(&object, [&] {
                ++ran;
                calledOn = QThread::currentThread();
            });
        }).join();
    }
    EXPECT_EQ(ran, 0);
    engineThread.runQueuedCalls();
    EXPECT_EQ(ran, 3);
    EXPECT_EQ(calledOn, engineThread.thread());
    engineThread.runQueuedCalls();
    EXPECT_EQ(ran, 3);
    engineThread.run([&] { object.moveToThread(nullptr); });
}
