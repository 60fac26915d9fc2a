#include "log_capture.h"

#include <QMutexLocker>

namespace tarvesk::test {

namespace {
LogCapture* s_active = nullptr;
}

LogCapture::LogCapture()
{
    s_active = this;
    _previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(_previous);
    s_active = nullptr;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (LogCapture* capture = s_active) {
        QMutexLocker lock(&capture->_mutex);
        capture->_entries.append({type, QString::fromLatin1(context.category), message});
    }
}

QList<LogCapture::Entry> LogCapture::entries() const
{
    QMutexLocker lock(&_mutex);
    return _entries;
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

} // namespace tarvesk::test
