#include "log/logging_categories.h"
#include "log/qdebug_logger.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

using tarvesk::service::QDebugLogger;

namespace {

QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Restores the framework's handler and switches file logging off after each test.
class LoggerFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        logPath = dir.filePath(QStringLiteral("log/debug.txt"));
    }
    void TearDown() override
    {
        QDebugLogger::setEnableWriteToFile(false);
        qInstallMessageHandler(nullptr);
    }

    QTemporaryDir dir;
    QString logPath;
};

const QString kDateTime = QStringLiteral("\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d");

} // namespace

TEST(QDebugLoggerFormat, LineTemplate)
{
    struct Case
    {
        QtMsgType type;
        const char* file;
        int line;
        QString message;
        QString expectedHead; // before the date
        QString expectedTail; // after the time
    };
    const Case cases[] = {
        {QtWarningMsg, "src/app/main", 46, "abc", "WARN", " || main (46) || abc"},
        {QtDebugMsg, nullptr, 0, "abc", "DEBUG", " ||  (0) || abc"},
        {QtInfoMsg, "main.cpp", 7, "x", "INFO", " || main.cpp (7) || x"},
        {QtCriticalMsg, "/a/b/c.cpp", 1, "y", "FATAL", " || c.cpp (1) || y"},
        // Placeholders in the message or the file name are written as they stand.
        {QtWarningMsg, "src/%3", 2, "value %1 and %2", "WARN", " || %3 (2) || value %1 and %2"},
    };
    for (const Case& c : cases) {
        const QMessageLogContext context(c.file, c.line, nullptr, "default");
        const QString line = QDebugLogger::formatLine(c.type, context, c.message);
        const QRegularExpression pattern(
            QStringLiteral("^%1 \\|\\| %2%3$")
                .arg(c.expectedHead, kDateTime, QRegularExpression::escape(c.expectedTail)));
        EXPECT_TRUE(pattern.match(line).hasMatch()) << line.toStdString();
    }
}

// Whatever a message holds, it is written as one line: line ends and other
// control characters become visible escapes.
TEST(QDebugLoggerFormat, MessageStaysOneLine)
{
    const struct
    {
        QString message;
        QString written;
    } cases[] = {
        {"m\nFATAL || 01.01.2000 00:00:00 || x (1) || forged",
            "m\\nFATAL || 01.01.2000 00:00:00 || x (1) || forged"},
        {"a\r\nb\rc", "a\\r\\nb\\rc"},
        {"\x1b[31mred\x1b[0m", "\\u001b[31mred\\u001b[0m"},
        {QString("nul") + QChar(0) + "x\x7f", "nul\\u0000x\\u007f"},
        {QString("a") + QChar(0x85) + "b" + QChar(0x2028) + "c" + QChar(0x2029), "a\\u0085b\\u2028c\\u2029"},
        {"tab\tstays", "tab\tstays"},
        {QString::fromUtf8("Gr\xc3\xbc\xc3\x9f"
                           "e \xe2\x82\xac \xf0\x9f\x98\x80 \\n"),
            QString::fromUtf8("Gr\xc3\xbc\xc3\x9f"
                              "e \xe2\x82\xac \xf0\x9f\x98\x80 \\n")},
    };
    for (const auto& c : cases) {
        const QMessageLogContext context(nullptr, 0, nullptr, "default");
        const QString line = QDebugLogger::formatLine(QtWarningMsg, context, c.message);
        EXPECT_TRUE(line.endsWith(QStringLiteral(" || ") + c.written)) << line.toStdString();
    }
}

TEST(QDebugLoggerFormat, FileNamePart)
{
    EXPECT_EQ(QDebugLogger::fileName(QStringLiteral("src/log/qdebug_logger.cpp")),
        QStringLiteral("qdebug_logger.cpp"));
    EXPECT_EQ(QDebugLogger::fileName(QStringLiteral("plain")), QStringLiteral("plain"));
    EXPECT_EQ(QDebugLogger::fileName(QStringLiteral("dir/")), QString());
}

TEST_F(LoggerFixture, WritesCategoryPrefixAndCreatesFolder)
{
    QDebugLogger::install(true, logPath);
    EXPECT_EQ(QDebugLogger::logFilePath(), logPath);
    qCWarning(tarvesk::service::rpcServer()) << "from rpc";
    qWarning("plain %s", "line");
    const QStringList lines = readLines(logPath);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("rpc.server: WARN || "))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("|| from rpc")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("WARN || ")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("|| plain line")));
}

TEST_F(LoggerFixture, OneMessageIsOneLineInTheFile)
{
    QDebugLogger::install(true, logPath);
    qWarning().noquote() << "name x\r\nFATAL || 01.01.2000 00:00:00 || x (1) || forged";
    qCInfo(tarvesk::service::rpcServer()).noquote() << "a\nb\n";
    const QStringList lines = readLines(logPath);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(
        lines[0].endsWith(QStringLiteral("|| name x\\r\\nFATAL || 01.01.2000 00:00:00 || x (1) || forged")))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("|| a\\nb\\n"))) << lines[1].toStdString();
}

TEST_F(LoggerFixture, FileLoggingOffWritesNothing)
{
    QDebugLogger::install(false, logPath);
    qWarning("nothing to file");
    EXPECT_FALSE(QFile::exists(logPath));
    QDebugLogger::install(true, QString());
    EXPECT_FALSE(QDebugLogger::isWriteToFileEnabled());
}

TEST_F(LoggerFixture, UnwritableFileSwitchesFileLoggingOff)
{
    QDir().mkpath(logPath); // a folder where the file should be
    QDebugLogger::install(true, logPath);
    qWarning("cannot be written");
    EXPECT_FALSE(QDebugLogger::isWriteToFileEnabled());
}

// Out of descriptors for a moment (a burst of connections), the log file
// cannot be opened: the line is lost, but the log goes on once one is free.
TEST_F(LoggerFixture, RunningOutOfDescriptorsLosesLinesButKeepsTheLog)
{
    QDebugLogger::install(true, logPath);
    qWarning("before the spell");
    rlimit own {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &own), 0);
    // The lowest free descriptor becomes the limit: nothing more can be opened.
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit lowered = own;
    lowered.rlim_cur = rlim_t(lowestFree);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    qWarning("lost in the spell");
    qWarning("lost in the spell too");
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &own), 0);
    EXPECT_TRUE(QDebugLogger::isWriteToFileEnabled());
    qWarning("after the spell");
    const QString text = readLines(logPath).join('\n');
    EXPECT_TRUE(text.contains("before the spell"));
    EXPECT_FALSE(text.contains("lost in the spell"));
    EXPECT_TRUE(text.contains("after the spell")) << text.toStdString();
}

TEST_F(LoggerFixture, QuotaRotatesOnlyAboveTheLimit)
{
    QDebugLogger::install(true, logPath);
    const QString backup = logPath + QStringLiteral(".bak");
    {
        QFile file(logPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(QDebugLogger::MaxLogFileSize)); // exactly at the quota
    }
    qWarning("first");
    EXPECT_FALSE(QFile::exists(backup));
    const qint64 grown = QFileInfo(logPath).size();
    EXPECT_GT(grown, QDebugLogger::MaxLogFileSize);

    qWarning("second");
    ASSERT_TRUE(QFile::exists(backup));
    EXPECT_EQ(QFileInfo(backup).size(), grown);
    const QStringList lines = readLines(logPath);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("|| second")));
}

TEST_F(LoggerFixture, ManyWritersAcrossRotationLoseNoLine)
{
    QDebugLogger::install(true, logPath);
    {
        // Filler lines just under the quota, so that the run crosses a rotation.
        QFile file(logPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const QByteArray filler = QByteArray(99, 'f') + '\n';
        while (file.size() + filler.size() < QDebugLogger::MaxLogFileSize - 20000)
            file.write(filler);
    }
    constexpr int kThreads = 8;
    constexpr int kMessages = 400;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kMessages; ++i)
                qInfo("writer %d message %d end", t, i);
        });
    }
    for (auto& thread : threads)
        thread.join();

    QStringList lines = readLines(logPath + QStringLiteral(".bak")) + readLines(logPath);
    const QRegularExpression whole(
        QStringLiteral("^INFO \\|\\| %1 \\|\\| .* \\(\\d+\\) \\|\\| writer (\\d) message (\\d+) end$")
            .arg(kDateTime));
    QSet<QString> seen;
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1Char('f')))
            continue;
        const auto match = whole.match(line);
        ASSERT_TRUE(match.hasMatch()) << "broken line: " << line.toStdString();
        seen.insert(match.captured(1) + QLatin1Char('/') + match.captured(2));
    }
    EXPECT_EQ(seen.size(), kThreads * kMessages);
    EXPECT_TRUE(QFile::exists(logPath + QStringLiteral(".bak")));
}

TEST(QDebugLoggerCategories, StartUpRules)
{
    QDebugLogger::setEnableDebugCategory(QDebugLogger::customCategories(), true);
    QDebugLogger::setEnableDebugCategory(
        QList<QString> {QStringLiteral("js"), QStringLiteral("profile.type")}, false);
    EXPECT_EQ(QDebugLogger::filterRules(),
        QStringLiteral("commonapp.debug=true\ncore.interface.debug=true\ndatabase.debug=true\n"
                       "file.manager.debug=true\njs.debug=false\nlibrary.service.file.debug=true\n"
                       "lightshape.debug=true\nlogger.glog.debug=true\nprofile.type.debug=false\n"
                       "qml.debug=true\nrpc.server.debug=true\nrpc.server.method.debug=true\n"
                       "rpc.server.method.factory.debug=true\nversion.debug=true\n"));
    EXPECT_FALSE(tarvesk::service::profileType().isDebugEnabled());
    EXPECT_TRUE(tarvesk::service::profileType().isWarningEnabled());
    EXPECT_TRUE(tarvesk::service::rpcServer().isDebugEnabled());
    QDebugLogger::setEnableDebugCategory(QStringLiteral("profile.type"), true);
    EXPECT_TRUE(tarvesk::service::profileType().isDebugEnabled());
}

TEST_F(LoggerFixture, FatalWritesCrashReportAndAbortsWithoutTouchingTheLogFile)
{
    const QString reportPath = dir.filePath(QStringLiteral("stdout.txt"));
    EXPECT_EXIT(
        {
            if (!std::freopen(reportPath.toLocal8Bit().constData(), "w", stdout))
                std::_Exit(3);
            QDebugLogger::install(true, logPath);
            qWarning("before");
            qFatal("the end");
        },
        ::testing::KilledBySignal(SIGABRT), "");
    QFile report(reportPath);
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(report.readAll());
    EXPECT_TRUE(text.startsWith(QStringLiteral("** CRASH REPORT **  FATAL || "))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("|| the end")));
    const QStringList lines = readLines(logPath);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("|| before")));
}
