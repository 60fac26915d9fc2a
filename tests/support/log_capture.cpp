#include "log_capture.h"

namespace tarvesk::test {

namespace {
// Threads of an earlier test (a monitor still polling, say) may log while a
// capture begins or ends: the active one is read and left under this lock.
std::mutex s_activeMutex;
LogCapture* s_active = nullptr;
}

LogCapture::LogCapture()
{
    {
        std::lock_guard<std::mutex> lock(s_activeMutex);
        s_active = this;
    }
    _previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(_previous);
    std::lock_guard<std::mutex> lock(s_activeMutex);
    s_active = nullptr;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    std::lock_guard<std::mutex> active(s_activeMutex);
    if (LogCapture* capture = s_active) {
        std::lock_guard<std::mutex> lock(capture->_mutex);
        capture->_entries.append({type, QString::fromLatin1(context.category), message});
    }
}

QList<LogCapture::Entry> LogCapture::entries() const
{
    // A deep copy made under the lock: an implicitly shared list would be
    // detached later, outside it, while a logging thread appends.
    std::lock_guard<std::mutex> lock(_mutex);
    QList<Entry> copy;
    copy.reserve(_entries.size());
    for (const Entry& entry : _entries)
        copy.append({entry.type, QString(entry.category.constData(), entry.category.size()),
            QString(entry.message.constData(), entry.message.size())});
    return copy;
}

QStringList LogCapture::messages() const
{
    QStringList list;
    for (const Entry& entry : entries())
        list.append(entry.message);
    return list;
}

int LogCapture::count(const QString& text) const
{
    int n = 0;
    for (const Entry& entry : entries())
        n += entry.message.contains(text) ? 1 : 0;
    return n;
}

QStringList LogCapture::warnings() const
{
    QStringList list;
    for (const Entry& entry : entries()) {
        if (entry.type == QtWarningMsg || entry.type == QtCriticalMsg)
            list.append(entry.message);
    }
    return list;
}

bool LogCapture::hasWarningContaining(const QString& text) const
{
    for (const QString& warning : warnings()) {
        if (warning.contains(text))
            return true;
    }
    return false;
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> lock(_mutex);
    _entries.clear();
}

} // namespace tarvesk::test
