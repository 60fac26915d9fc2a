#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class QThread;

namespace tarvesk::core {

// The thread that the script engine belongs to. Qt frees a script value
// (QJSValue) at once only on its engine's thread; a value let go on any other
// thread is handed to the engine's thread as a queued call, and it stays
// allocated, with everything it refers to, until that thread runs the call.
// The scripts run on the requests' connection threads, which have no event
// loop and end with their connection, so none of those calls would ever run.
//
// This thread runs no event loop either: it runs what it is handed, one task
// at a time, while the caller waits. So the queued releases run only when the
// engine's user asks for them, never beside a script.
class ScriptEngineThread
{
public:
    ScriptEngineThread();
    ~ScriptEngineThread();
    ScriptEngineThread(const ScriptEngineThread&) = delete;
    ScriptEngineThread& operator=(const ScriptEngineThread&) = delete;

    // The thread as Qt knows it, for QObject::moveToThread.
    QThread* thread() const { return _qthread; }

    // Runs the task on this thread; returns when it has run.
    void run(const std::function<void()>& task);
    // Runs the calls queued for the objects of this thread (the releases of
    // script values let go elsewhere); returns when they have run.
    void runQueuedCalls();

private:
    void serve();

    std::mutex _mutex;
    std::condition_variable _changed;
    const std::function<void()>* _task = nullptr; // guarded by _mutex; set until the task has run
    bool _stop = false;                           // guarded by _mutex
    QThread* _qthread = nullptr;                  // set by the thread before the constructor returns
    std::thread _thread;
};

} // namespace tarvesk::core
