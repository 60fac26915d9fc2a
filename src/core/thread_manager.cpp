#include "core/thread_manager.h"

#include "log/logging_categories.h"

#include <QThread>

namespace tarvesk::core {

namespace {

QString threadIdentity(const QThread* thread)
{
    return QStringLiteral("%1").arg(quintptr(thread), 16, 16, QLatin1Char('0'));
}

} // namespace

ThreadManager* ThreadManager::instance()
{
    // Never destroyed: it must outlive every thread, also those of static objects.
    static ThreadManager* manager = new ThreadManager;
    return manager;
}

std::shared_ptr<Thread> ThreadManager::newThread(const QString& name)
{
    auto thread = std::make_shared<Thread>(name);
    connect(thread.get(), &Thread::finished, this, &ThreadManager::threadFinished, Qt::DirectConnection);
    _threads.push_back(thread);
    return thread;
}

int ThreadManager::getThreadCount() const
{
    return int(_threads.size());
}

void ThreadManager::threadFinished(const Thread* thread)
{
    for (auto it = _threads.begin(); it != _threads.end(); ++it) {
        if (it->get() == thread) {
            _threads.erase(it);
            return;
        }
    }
    qCCritical(service::loggerGlog()).noquote()
        << GLOG_PREFIX
        << QStringLiteral("Error: didn't find thread \"%1\" to remove from list.")
               .arg(thread ? thread->getName() : QString());
}

void ThreadManager::debugDump() const
{
    const QThread* current = QThread::currentThread();
    bool currentListed = false;
    for (const auto& thread : _threads) {
        const bool isCurrent = thread->getThreadPtr() == current;
        currentListed = currentListed || isCurrent;
        qCDebug(service::loggerGlog()).noquote()
            << QString::fromLatin1(isCurrent ? "* %1 : %2" : "%1 : %2")
                   .arg(thread->getName(), threadIdentity(thread->getThreadPtr()));
    }
    if (!currentListed)
        qCDebug(service::loggerGlog()).noquote()
            << QStringLiteral("Current undefined : %1").arg(threadIdentity(current));
}

} // namespace tarvesk::core
