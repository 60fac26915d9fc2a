#pragma once

#include <mutex>

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace tarvesk::test {

// Collects every message of the framework's logger while it lives, and puts the
// previous handler back when it ends. One at a time.
class LogCapture
{
public:
    struct Entry
    {
        QtMsgType type;
        QString category;
        QString message;
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QList<Entry> entries() const;
    QStringList messages() const;
    // Messages that contain the given text.
    int count(const QString& text) const;
    // Warning and critical messages, in order.
    QStringList warnings() const;
    bool hasWarningContaining(const QString& text) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message);

    mutable std::mutex _mutex; // guards _entries (visible to ThreadSanitizer)
    QList<Entry> _entries;
    QtMessageHandler _previous;
};

} // namespace tarvesk::test
