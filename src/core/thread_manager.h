#pragma once

#include "core/thread.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace tarvesk::core {

// Registry of the live named threads, for diagnosis.
class ThreadManager : public QObject
{
    Q_OBJECT

public:
    static ThreadManager* instance();

    std::shared_ptr<Thread> newThread(const QString& name);
    int getThreadCount() const;
    void debugDump() const;

public slots:
    void threadFinished(const tarvesk::core::Thread* thread);

private:
    ThreadManager() = default;

    std::vector<std::shared_ptr<Thread>> _threads; // changed on request threads, which run one at a time
};

} // namespace tarvesk::core
