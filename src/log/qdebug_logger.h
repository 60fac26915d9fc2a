#pragma once

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>

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
    // Runs read while no quota rotation of the log runs, with the number of
    // rotations so far. A rotation counts itself before it empties the file,
    // so a read that sees the count its reader began with sees only text
    // logged before any rotation since. read must not log.
    static void readBetweenRotations(const std::function<void(quint64 rotations)>& read);

private:
    static void appendToFile(const QString& category, const QString& line);
    static void warnDirect(const QString& text);
};

} // namespace tarvesk::service
