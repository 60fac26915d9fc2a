#include "log/qdebug_logger.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutex>
#include <QMutexLocker>
#include <QTime>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

namespace tarvesk::service {

namespace {

// The framework's own handler, taken before main runs: installing "no handler"
// hands back the one that was active, which is the default.
QtMessageHandler defaultHandler()
{
    static const QtMessageHandler handler = [] {
        QtMessageHandler previous = qInstallMessageHandler(nullptr);
        if (previous)
            qInstallMessageHandler(previous);
        return previous;
    }();
    return handler;
}
const QtMessageHandler s_takeDefaultEarly = defaultHandler();

std::atomic<bool> s_enableWriteToFile {false};
QMutex s_fileMutex; // guards s_filePath, the log file and its rotation
QString s_filePath;
// Lines were lost for want of descriptors; written under s_fileMutex, atomic
// since the contended QMutex is invisible to ThreadSanitizer.
std::atomic<bool> s_linesLost {false};
// Counted by a rotation (under s_fileMutex) before it empties the file; read
// by readers of the log without a lock, before and after each read.
std::atomic<quint64> s_rotations {0};
QMutex s_categoryMutex; // guards s_categoryEnabledState and s_filterRules
std::map<QString, bool> s_categoryEnabledState;
QString s_filterRules;

bool breaksLine(QChar c)
{
    const ushort u = c.unicode();
    return (u < 0x20 && u != '\t') || u == 0x7F || u == 0x85 || u == 0x2028 || u == 0x2029;
}

// Messages carry text from clients (method names, parameters, headers): line
// ends and other control characters in them are written as visible escapes,
// so that no message can start a line of its own (a forged "FATAL" line on
// the debug page) or steer a terminal. Tabs stay as they are.
QString asOneLine(const QString& message)
{
    if (std::none_of(message.begin(), message.end(), breaksLine))
        return message;
    QString line;
    line.reserve(message.size() + 16);
    for (const QChar c : message) {
        if (c == QLatin1Char('\n'))
            line += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            line += QLatin1String("\\r");
        else if (breaksLine(c))
            line += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            line += c;
    }
    return line;
}

} // namespace

void QDebugLogger::install(bool enableWriteToFile, const QString& path)
{
    defaultHandler();
    s_enableWriteToFile = enableWriteToFile;
    if (path.isEmpty()) {
        s_enableWriteToFile = false;
        qWarning() << "Log to file disabled as no log file path provided";
    } else if (enableWriteToFile) {
        QMutexLocker lock(&s_fileMutex);
        s_filePath = path;
        QDir().mkpath(QFileInfo(path).absolutePath());
    }
    qInstallMessageHandler(&QDebugLogger::messageHandler);
}

QString QDebugLogger::messageTypeName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("DEBUG");
    case QtWarningMsg:
        return QStringLiteral("WARN");
    case QtCriticalMsg:
    case QtFatalMsg:
        return QStringLiteral("FATAL");
    case QtInfoMsg:
        return QStringLiteral("INFO");
    }
    return QStringLiteral("DEBUG");
}

QString QDebugLogger::fileName(const QString& path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

QString QDebugLogger::formatLine(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    // One pass over the template, so that a "%1" inside the message or a file
    // name is written as it stands.
    return QStringLiteral("%1 || %2 %3 || %4 (%5) || %6")
        .arg(messageTypeName(type), QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")),
            QTime::currentTime().toString(Qt::TextDate),
            fileName(context.file ? QString::fromUtf8(context.file) : QString()),
            QString::number(context.line), asOneLine(message));
}

void QDebugLogger::messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QString line = formatLine(type, context, message);
    if (type == QtFatalMsg) {
        // The framework calls this handler from a noexcept path: nothing may be
        // thrown from here. Report, flush and end the process.
        const QByteArray report = "** CRASH REPORT **  " + line.toUtf8() + '\n';
        std::fwrite(report.constData(), 1, size_t(report.size()), stdout);
        std::fflush(stdout);
        std::fflush(stderr);
        std::abort();
    }
    if (QtMessageHandler handler = defaultHandler())
        handler(type, context, line);
    if (s_enableWriteToFile)
        appendToFile(context.category ? QString::fromLatin1(context.category) : QString(), line);
}

void QDebugLogger::appendToFile(const QString& category, const QString& line)
{
    QString failure;
    bool passing = false;
    {
        QMutexLocker lock(&s_fileMutex);
        QFile file(s_filePath);
        if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            if (s_linesLost.load(std::memory_order_relaxed))
                s_linesLost.store(false, std::memory_order_relaxed);
            trimFileToSize(&file, MaxLogFileSize);
            QByteArray bytes;
            if (!category.isEmpty() && category != QLatin1String("default"))
                bytes += category.toUtf8() + ": ";
            bytes += line.toUtf8();
            bytes += '\n';
            file.write(bytes);
            file.close();
            return;
        }
        // Out of descriptors the file cannot be opened for a while, not for
        // good: the line is lost, the log goes on once some are free again.
        passing = errno == EMFILE || errno == ENFILE;
        if (passing && s_linesLost)
            return; // said once per spell
        s_linesLost.store(passing, std::memory_order_relaxed);
        if (!passing)
            s_enableWriteToFile = false;
        failure = file.errorString() + QLatin1Char(' ') + s_filePath;
    }
    warnDirect(QStringLiteral("Log File could not be opened: ") + failure);
    if (passing)
        warnDirect(QStringLiteral("Log lines are lost until the service has descriptors free again"));
    else
        warnDirect(QStringLiteral("Disabled write to log file as file write permissions not available"));
}

void QDebugLogger::trimFileToSize(QFile* file, qint64 maxSize)
{
    if (!file || file->size() <= maxSize)
        return;
    const QString backup = file->fileName() + QStringLiteral(".bak");
    QFile::remove(backup);
    // Copy by name so that the caller's open handle stays usable.
    QFile::copy(file->fileName(), backup);
    // Readers that began before the rotation must not read on into the new
    // log at their old offsets: a read that may have seen the emptied file
    // ends after the count changed, and its reader stops there. Counted again
    // once the file is empty: a reader that began between the two counts may
    // have read the old log, and must not read on into the new one either.
    s_rotations.fetch_add(1);
    file->resize(0);
    s_rotations.fetch_add(1);
    // Composed as the debug stream joins its pieces: one blank between each.
    warnDirect(QStringLiteral("Log file exceeds quota limit of  %1 , new log file created!").arg(maxSize));
    warnDirect(QStringLiteral("Log file backup created at ") + backup);
}

// Messages of the handler itself go straight to the default output: they must
// not come back into the handler (and so never reach the log file).
void QDebugLogger::warnDirect(const QString& text)
{
    const QMessageLogContext context;
    const QString line = formatLine(QtWarningMsg, context, text);
    if (QtMessageHandler handler = defaultHandler())
        handler(QtWarningMsg, context, line);
}

void QDebugLogger::setEnableWriteToFile(bool enable)
{
    s_enableWriteToFile = enable;
}

bool QDebugLogger::isWriteToFileEnabled()
{
    return s_enableWriteToFile;
}

void QDebugLogger::setEnableDebugCategory(const QString& name, bool enable)
{
    QString rules;
    {
        QMutexLocker lock(&s_categoryMutex);
        s_categoryEnabledState[name] = enable;
        for (const auto& [category, on] : s_categoryEnabledState)
            rules += category + QStringLiteral(".debug=")
                + (on ? QStringLiteral("true") : QStringLiteral("false")) + QLatin1Char('\n');
        s_filterRules = rules;
    }
    QLoggingCategory::setFilterRules(rules);
}

void QDebugLogger::setEnableDebugCategory(const QList<QString>& names, bool enable)
{
    for (const QString& name : names)
        setEnableDebugCategory(name, enable);
}

QStringList QDebugLogger::customCategories()
{
    return {QStringLiteral("qml"), QStringLiteral("js"), QStringLiteral("library.service.file"),
        QStringLiteral("file.manager"), QStringLiteral("version"), QStringLiteral("database"),
        QStringLiteral("core.interface"), QStringLiteral("profile.type"), QStringLiteral("rpc.server"),
        QStringLiteral("rpc.server.method"), QStringLiteral("rpc.server.method.factory"),
        QStringLiteral("logger.glog"), QStringLiteral("commonapp"), QStringLiteral("lightshape")};
}

QString QDebugLogger::logFilePath()
{
    QMutexLocker lock(&s_fileMutex);
    return s_filePath;
}

quint64 QDebugLogger::rotations()
{
    return s_rotations.load();
}

QString QDebugLogger::filterRules()
{
    QMutexLocker lock(&s_categoryMutex);
    return s_filterRules;
}

} // namespace tarvesk::service
