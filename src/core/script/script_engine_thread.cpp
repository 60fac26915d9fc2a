#include "core/script/script_engine_thread.h"

#include <QCoreApplication>
#include <QThread>

namespace tarvesk::core {

ScriptEngineThread::ScriptEngineThread()
    : _thread([this] { serve(); })
{
    std::unique_lock<std::mutex> lock(_mutex);
    _changed.wait(lock, [this] { return _qthread != nullptr; });
}

ScriptEngineThread::~ScriptEngineThread()
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _stop = true;
    }
    _changed.notify_all();
    _thread.join();
}

void ScriptEngineThread::run(const std::function<void()>& task)
{
    std::unique_lock<std::mutex> lock(_mutex);
    _changed.wait(lock, [this] { return _task == nullptr; });
    _task = &task;
    _changed.notify_all();
    _changed.wait(lock, [this] { return _task == nullptr; });
}

void ScriptEngineThread::runQueuedCalls()
{
    // All posted events of this thread: besides the engine and its invoker no
    // object lives here. Sending them all (not only the engine's) also lets Qt
    // drop the spent entries of the thread's event queue. (Qt delivers them
    // only while a QCoreApplication exists, as it does in the service.)
    run([] { QCoreApplication::sendPostedEvents(); });
}

void ScriptEngineThread::serve()
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _qthread = QThread::currentThread();
    }
    _changed.notify_all();
    std::unique_lock<std::mutex> lock(_mutex);
    while (!_stop) {
        if (!_task) {
            _changed.wait(lock);
            continue;
        }
        (*_task)();
        _task = nullptr;
        _changed.notify_all();
    }
}

} // namespace tarvesk::core
