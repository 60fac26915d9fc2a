#pragma once

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace tarvesk::service {

// The process-wide message handler: formats every message of the framework's
// logger into one line, passes it to the default output (standard error) and
// appends it to the log file, which is kept under a size quota with one backup.
class QDebugLogger
{
public:
    static constexpr qint64 MaxLogFileSize = 10485760; // 10 MiB

    static void install(bool enableWriteToFile, const QString& path);
    static void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);
    static void trimFileToSize(QFile* file, qint64 maxSize);
    static QString messageTypeName(QtMsgType type);
    static QString fileName(const QString& path);
    // The line for a message; line ends and other control characters in the
    // message are written as escapes ("\n", "\r", "\u001b"), so it stays one line.
    static QString formatLine(QtMsgType type, const QMessageLogContext& context, const QString& message);
    static void setEnableWriteToFile(bool enable);
    static bool isWriteToFileEnabled();
    static void setEnableDebugCategory(const QString& name, bool enable);
    static void setEnableDebugCategory(const QList<QString>& names, bool enable);
    static QStringList customCategories();
    static QString logFilePath();
    // The filter rules text last installed (for diagnosis and tests).
    static QString filterRules();
    // The quota rotations of the log so far, twice each: a rotation counts
    // itself before it empties the file and again once it is empty, and takes
    // no lock a reader holds: a reader of the log reads the count before and
    // after a read of the file, and what it read holds only text logged before
    // any rotation since it began when both equal the count it began with. No
    // thread that logs ever waits for a reader of the log.
    static quint64 rotations();

private:
    static void appendToFile(const QString& category, const QString& line);
    static void warnDirect(const QString& text);
};

} // namespace tarvesk::service
