#include "core/script/script_watchdog.h"

#include <QJSEngine>

namespace tarvesk::core {

ScriptWatchdog::ScriptWatchdog()
    : _thread([this] { watch(); })
{ }

ScriptWatchdog::~ScriptWatchdog()
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _stop = true;
    }
    _changed.notify_all();
    _thread.join();
}

void ScriptWatchdog::arm(QJSEngine* engine, std::chrono::milliseconds budget)
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        ++_generation;
        _engine = engine;
        _deadline = std::chrono::steady_clock::now() + budget;
        _fired = false;
    }
    _changed.notify_all();
}

bool ScriptWatchdog::disarm()
{
    std::lock_guard<std::mutex> lock(_mutex);
    ++_generation;
    _engine = nullptr;
    _changed.notify_all();
    return _fired;
}

void ScriptWatchdog::watch()
{
    std::unique_lock<std::mutex> lock(_mutex);
    while (!_stop) {
        if (!_engine || _fired) {
            _changed.wait(lock);
            continue;
        }
        // Each arm and disarm starts a new generation: only the run that was
        // armed when the wait began can be interrupted by its deadline.
        const unsigned generation = _generation;
        const bool changed
            = _changed.wait_until(lock, _deadline, [&] { return _stop || _generation != generation; });
        if (!changed) {
            _engine->setInterrupted(true);
            _fired = true;
        }
    }
}

} // namespace tarvesk::core
