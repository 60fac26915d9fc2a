#pragma once

#include <QMutex>
#include <QStringList>
#include <QtGlobal>

// Collects the log messages written while it lives (type and text), so that
// tests can check what was warned about.
class MessageCollector
{
public:
    MessageCollector() { _previous = qInstallMessageHandler(&MessageCollector::handle); }
    ~MessageCollector()
    {
        qInstallMessageHandler(_previous);
        QMutexLocker lock(&mutex());
        messages().clear();
    }

    QStringList warnings() const { return ofType(QtWarningMsg); }
    QStringList criticals() const { return ofType(QtCriticalMsg); }
    QStringList debugs() const { return ofType(QtDebugMsg); }
    QStringList all() const
    {
        QMutexLocker lock(&mutex());
        QStringList texts;
        for (const auto& m : messages())
            texts << m.second;
        return texts;
    }
    int count(const QString& part) const
    {
        int n = 0;
        for (const QString& text : all())
            n += text.contains(part) ? 1 : 0;
        return n;
    }

private:
    QStringList ofType(QtMsgType type) const
    {
        QMutexLocker lock(&mutex());
        QStringList texts;
        for (const auto& m : messages()) {
            if (m.first == type)
                texts << m.second;
        }
        return texts;
    }
    static void handle(QtMsgType type, const QMessageLogContext&, const QString& text)
    {
        QMutexLocker lock(&mutex());
        messages().append({type, text});
    }
    static QMutex& mutex()
    {
        static QMutex m;
        return m;
    }
    static QList<QPair<QtMsgType, QString>>& messages()
    {
        static QList<QPair<QtMsgType, QString>> list;
        return list;
    }
    QtMessageHandler _previous;
};
