#include "core/thread.h"

#include "log/logging_categories.h"

namespace tarvesk::core {

Thread::Thread(const QString& name)
    : _name(name)
    , _thread(new QThread)
{
    _thread->setObjectName(name);
    connect(_thread, &QThread::started, this, &Thread::started);
    connect(_thread, &QThread::started, this, &Thread::onStart);
}

Thread::~Thread()
{
    qCDebug(service::loggerGlog()).noquote() << QStringLiteral("Stopping thread %1").arg(_name);
    if (_thread->isRunning()) {
        // Deleting a running QThread ends the process; a thread that would not
        // stop is left behind instead, and said so.
        qCCritical(service::loggerGlog()).noquote()
            << GLOG_PREFIX << QStringLiteral("Thread %1 is still running; leaving it behind").arg(_name);
        return;
    }
    delete _thread;
}

void Thread::start() const
{
    _thread->start(QThread::InheritPriority);
}

void Thread::onStart()
{
    qCDebug(service::loggerGlog()).noquote() << QStringLiteral("Starting thread %1").arg(_name);
}

void Thread::quit()
{
    if (!_thread->isRunning())
        return;
    _thread->quit();
    if (!_thread->wait(QuitTimeoutMs)) {
        qCCritical(service::loggerGlog()).noquote()
            << GLOG_PREFIX
            << QStringLiteral("Thread %1 did not stop within %2 ms; giving up waiting")
                   .arg(_name)
                   .arg(QuitTimeoutMs);
    }
    emit finished(this);
}

} // namespace tarvesk::core
