#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class QJSEngine;

namespace tarvesk::core {

// Interrupts a JavaScript engine whose run takes longer than its budget. One
// thread waits for the deadline of the run in progress; QJSEngine's
// interruption is the one engine call that is safe from another thread.
class ScriptWatchdog
{
public:
    ScriptWatchdog();
    ~ScriptWatchdog();
    ScriptWatchdog(const ScriptWatchdog&) = delete;
    ScriptWatchdog& operator=(const ScriptWatchdog&) = delete;

    void arm(QJSEngine* engine, std::chrono::milliseconds budget);
    // Ends the watch; true when the engine was interrupted during it.
    bool disarm();

private:
    void watch();

    std::mutex _mutex;
    std::condition_variable _changed;
    QJSEngine* _engine = nullptr; // guarded by _mutex; set while armed
    std::chrono::steady_clock::time_point _deadline;
    unsigned _generation = 0;
    bool _fired = false;
    bool _stop = false;
    std::thread _thread;
};

} // namespace tarvesk::core
