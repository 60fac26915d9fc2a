#pragma once

#include <QObject>
#include <QString>
#include <QThread>

namespace tarvesk::core {

// A named worker thread (the "USB monitor" thread of a Vandrel interface).
class Thread : public QObject
{
    Q_OBJECT

public:
    // How long quit() waits for the thread's event loop to end.
    static constexpr unsigned long QuitTimeoutMs = 10000;

    explicit Thread(const QString& name);
    ~Thread() override;

    QString getName() const { return _name; }
    QThread* getThreadPtr() const { return _thread; }
    void start() const;

signals:
    void started();
    void finished(tarvesk::core::Thread* thread);

public slots:
    void onStart();
    // Ends the event loop and waits a bounded time; must not be called on the
    // thread itself.
    void quit();

private:
    QString _name;
    QThread* _thread;
};

} // namespace tarvesk::core
