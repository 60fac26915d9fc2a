#include "log/qdebug_logger.h"
#include "network/http_body_source.h"
#include "network/http_request.h"
#include "network/http_response.h"
#include "service/debug_log_page.h"
#include "service/qdebug_logger_http_request_handler.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <set>
#include <thread>

using namespace tarvesk;
using service::DebugLogPage;
using service::QDebugLogger;
using service::QDebugLoggerHttpRequestHandler;

namespace {

class DebugPageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        logPath = dir.filePath("log/debug.txt");
        QDebugLogger::install(true, logPath);
        QDebugLogger::setEnableWriteToFile(false); // the test writes the file itself
    }
    void TearDown() override { qInstallMessageHandler(nullptr); }

    void writeLog(const QByteArray& text)
    {
        QFile file(logPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    network::HttpResponse get(const QString& path)
    {
        network::HttpRequest request("GET", path);
        network::HttpResponse response;
        handler.handleRequest(&request, &response);
        return response;
    }

    // The page's bytes as a client reads them, in reads of the given size.
    static QByteArray pageOf(const network::HttpResponse& response, qint64 readSize = 4096)
    {
        network::HttpBodySource* source = response.getBodySource();
        if (!source)
            return response.getData();
        QByteArray page;
        QByteArray block(int(readSize), '\0');
        qint64 size = 0;
        while ((size = source->read(block.data(), readSize)) > 0)
            page.append(block.constData(), int(size));
        return page;
    }

    static QString bodyOf(const network::HttpResponse& response)
    {
        const QString page = QString::fromUtf8(pageOf(response));
        const int start = page.indexOf("<body>\n") + 7;
        return page.mid(start, page.indexOf("</body>\n") - start);
    }

    QTemporaryDir dir;
    QString logPath;
    QDebugLoggerHttpRequestHandler handler;
};

const QByteArray SampleLog = "DEBUG || 07.12.2026 22:05:09 ||  (0) || started\n"
                             "rpc.server: INFO || 07.12.2026 22:05:10 || rpc (12) || info line\n"
                             "WARN || 07.12.2026 22:05:11 || main (46) || warn line\n"
                             "logger.glog: FATAL || 07.12.2026 22:05:12 || x (1) || fatal line\n"
                             " continuation\n";

} // namespace

TEST_F(DebugPageTest, FiltersSelectLinesByTypeWord)
{
    writeLog(SampleLog);
    const struct
    {
        const char* path;
        int status;
        QStringList expected;
    } cases[] = {
        {"/debug/info", 200, {"info line"}},
        {"/debug/warning", 200, {"warn line"}},
        {"/debug/error", 200, {"fatal line"}},
        {"/debug", 200, {"started", "info line", "warn line", "fatal line", "continuation"}},
        // Only the four page paths are pages; a path that merely holds
        // "/debug" (the request handler sends those here) is not found.
        {"/debug/INFO", 404, {}},
        {"/debug/", 404, {}},
        {"/x/debug", 404, {}},
        {"/debug/info/", 404, {}},
        {"/debug/info/x", 404, {}},
        {"/debug%00/../x", 404, {}},
        {"/debugx", 404, {}},
    };
    for (const auto& c : cases) {
        const network::HttpResponse response = get(c.path);
        EXPECT_EQ(response.getStatusCode(), c.status) << c.path;
        if (c.status != 200) {
            EXPECT_TRUE(pageOf(response).isEmpty()) << c.path;
            continue;
        }
        const QStringList lines = bodyOf(response).split("<br>", Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), c.expected.size()) << c.path << ": " << bodyOf(response).toStdString();
        for (int i = 0; i < lines.size(); ++i)
            EXPECT_TRUE(lines.at(i).endsWith(c.expected.at(i)))
                << c.path << ": " << lines.at(i).toStdString();
    }
}

TEST_F(DebugPageTest, PageIsUtf8HtmlWithEscapedLinesAndAnAbsoluteStylesheet)
{
    writeLog("DEBUG || x ||  (0) || <script>alert('x')</script> & \"q\" \xc3\xa4\xe2\x82\xac\n");
    const network::HttpResponse response = get("/debug");
    ASSERT_EQ(response.getStatusCode(), 200);
    EXPECT_EQ(response.getHeaderItem("Content-Type"), "text/html; charset=utf-8");
    const QString page = QString::fromUtf8(pageOf(response));
    EXPECT_TRUE(page.startsWith("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n"));
    EXPECT_TRUE(page.contains("<meta charset=\"utf-8\">"));
    EXPECT_TRUE(page.contains("<title>* DEBUG LOGGER *</title>"));
    EXPECT_TRUE(page.contains("href=\"/data/css/log.css\""));
    EXPECT_TRUE(page.endsWith("</body>\n</html>\n"));
    EXPECT_FALSE(page.contains("<script>"));
    EXPECT_TRUE(
        page.contains("&lt;script&gt;alert('x')&lt;/script&gt; &amp; &quot;q&quot; \u00e4\u20ac<br>"));
}

TEST_F(DebugPageTest, EmptyMissingAndUnreadableLogs)
{
    writeLog("");
    network::HttpResponse response = get("/debug");
    EXPECT_EQ(response.getStatusCode(), 200);
    EXPECT_TRUE(bodyOf(response).isEmpty());

    QFile::remove(logPath);
    response = get("/debug");
    EXPECT_EQ(response.getStatusCode(), 404);
    EXPECT_TRUE(pageOf(response).isEmpty());

    // A folder where the file should be cannot be read, also by root.
    ASSERT_TRUE(QDir().mkpath(logPath));
    response = get("/debug");
    EXPECT_EQ(response.getStatusCode(), 500);
    EXPECT_TRUE(pageOf(response).isEmpty());
}

namespace {

// The page as the whole log, read as UTF-8 text line by line, makes it.
QByteArray wholeTextPage(const QString& logPath, const QString& path)
{
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QByteArray();
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    const bool wholeFile = path == "/debug";
    const QString typeName = QDebugLoggerHttpRequestHandler::typeNameForPath(path);
    QString body = QString::fromUtf8(DebugLogPage::Head);
    QString line;
    while (stream.readLineInto(&line)) {
        const QStringList words = line.split(' ');
        if (wholeFile || words.at(0) == typeName || (words.size() > 1 && words.at(1) == typeName))
            body += line.toHtmlEscaped() + "<br>";
    }
    body += QString::fromUtf8(DebugLogPage::Tail);
    return body.toUtf8();
}

QByteArray randomLog(quint32 seed, int size)
{
    // Few symbols, so that every awkward one comes often: markup, blanks,
    // line ends of both kinds, type words, a multi-byte and a four-byte
    // character, broken UTF-8, a byte-order mark.
    static const QByteArray symbols[] = {"x", " ", " ", "\n", "\r\n", "\r", "<", "&", "\"", ">",
        "INFO", "WARN", "FATAL", "rpc.server:", "\xc3\xa4", "\xf0\x9f\x92\xa1", "\xe2\x82", "\xff",
        "\xef\xbb\xbf", QByteArray("\0", 1)};
    QRandomGenerator random(seed);
    QByteArray log;
    while (log.size() < size)
        log += symbols[random.bounded(int(std::size(symbols)))];
    return log;
}

} // namespace

// The page is made a piece at a time; its bytes are those of the log read
// whole as text, whatever the lines hold and wherever the pieces end.
TEST_F(DebugPageTest, PageBytesAreThoseOfTheWholeTextRead)
{
    const QByteArray longLine = QByteArray(70000, 'x') + " INFO " + QByteArray(30000, '<') + "\n";
    // Four-byte characters (two UTF-16 units each) straddle every read and piece boundary.
    QByteArray pairs;
    for (int i = 0; i < 20000; ++i)
        pairs += (i % 3 == 0 ? "a" : "") + QByteArray("\xf0\x9f\x92\xa1");
    const struct
    {
        const char* name;
        QByteArray log;
    } logs[] = {
        {"sample", SampleLog},
        {"empty", ""},
        {"no final line end", "INFO || a\nWARN || b"},
        {"line ends only", "\n\n\r\n\n"},
        {"byte-order mark", "\xef\xbb\xbfINFO x\n\xef\xbb\xbfINFO y\n"},
        {"long lines", longLine + longLine + " " + QByteArray(100000, '&')},
        {"surrogate pairs", pairs + "\n" + pairs},
        {"random 1", randomLog(1, 300000)},
        {"random 2", randomLog(2, 50000)},
        {"random 3", randomLog(3, 50000)},
    };
    const char* paths[] = {"/debug", "/debug/info", "/debug/warning", "/debug/error"};
    for (const auto& l : logs) {
        writeLog(l.log);
        for (const char* path : paths) {
            const QByteArray expected = wholeTextPage(logPath, path);
            for (const qint64 readSize : {qint64(1), qint64(4093), qint64(1) << 20}) {
                if (readSize == 1 && l.log.size() > 60000)
                    continue;
                const network::HttpResponse response = get(path);
                ASSERT_EQ(response.getStatusCode(), 200) << l.name << " " << path;
                const QByteArray page = pageOf(response, readSize);
                ASSERT_EQ(page.size(), expected.size()) << l.name << " " << path << " read " << readSize;
                ASSERT_TRUE(page == expected) << l.name << " " << path << " read " << readSize;
            }
        }
    }
}

// A rotation empties the log while pages are read from it, and new lines fill
// it again past where they had read to: each page ends with the text it had
// read before the rotation, its line closed, and a line that says why, and
// shows nothing written after.
TEST_F(DebugPageTest, RotationEndsAPageAtTheTextBeforeIt)
{
    QByteArray lines;
    for (int i = 0; i < 200; ++i)
        lines += "WARN || 07.12.2026 22:05:11 || main (46) || warn " + QByteArray::number(i) + "\n";
    const QByteArray longLine = "INFO || " + QByteArray(40000, '<') + "\n";
    const QByteArray after = QByteArray("INFO WARN after\n").repeated(20000);
    const struct
    {
        const char* path;
        QByteArray log;
        int readBefore; // page bytes read before the rotation
    } cases[] = {
        {"/debug", lines, 300},
        {"/debug/warning", lines, 300},
        // The filter reads a line ahead of the text it shows: the page ends inside the line.
        {"/debug/info", lines + longLine + longLine, 50000},
    };
    for (const auto& c : cases) {
        writeLog(c.log);
        const network::HttpResponse response = get(c.path);
        ASSERT_EQ(response.getStatusCode(), 200) << c.path;
        QByteArray page(c.readBefore, '\0');
        ASSERT_EQ(response.getBodySource()->read(page.data(), c.readBefore), c.readBefore) << c.path;
        {
            QFile file(logPath);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
            QDebugLogger::trimFileToSize(&file, 0);
            ASSERT_EQ(file.write(after), after.size());
        }
        page += pageOf(response);

        const QByteArray before = wholeTextPage(logPath + ".bak", c.path);
        const QByteArray end = QByteArray("<br>") + DebugLogPage::RotatedNote + DebugLogPage::Tail;
        EXPECT_FALSE(page.contains("after")) << c.path;
        ASSERT_TRUE(page.endsWith(end)) << c.path << ": " << page.right(100).toStdString();
        EXPECT_TRUE(before.startsWith(page.chopped(end.size()))) << c.path;
        EXPECT_GT(page.size(), c.readBefore + int(end.size())) << c.path;
    }
}

// Rotations one after the other while pages are read at every pace: a page
// shows the lines of one log only, the one there when it began.
TEST_F(DebugPageTest, PagesReadBesideRotationsShowOneLogEach)
{
    writeLog("");
    std::atomic<bool> stop {false};
    std::thread logger([&] {
        for (int log = 1; !stop; ++log) {
            QFile file(logPath);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
                return;
            QDebugLogger::trimFileToSize(&file, 0);
            const QByteArray line = "WARN || log " + QByteArray::number(log) + " || " + QByteArray(200, 'x') + "\n";
            for (int i = 0; i < 150 && !stop; ++i)
                file.write(line);
        }
    });
    int pages = 0;
    int linesShown = 0;
    for (; pages < 300 && !HasFailure(); ++pages) {
        const char* path = pages % 2 ? "/debug" : "/debug/warning";
        const network::HttpResponse response = get(path);
        ASSERT_EQ(response.getStatusCode(), 200);
        const QByteArray page = pageOf(response, 1 + pages * 97 % 20000);
        ASSERT_TRUE(page.endsWith(DebugLogPage::Tail)) << path;
        std::set<QString> logs;
        auto shown = QRegularExpression("WARN \\|\\| log (\\d+) ").globalMatch(QString::fromUtf8(page));
        for (; shown.hasNext(); ++linesShown)
            logs.insert(shown.next().captured(1));
        EXPECT_LE(logs.size(), 1u) << path;
    }
    stop = true;
    logger.join();
    EXPECT_GT(linesShown, 0);
}

// A filtered page reads each line twice: once to decide whether it is shown,
// once to show it. A rotation between the two reads of a line that begins a
// piece of the log ends the page before the line, with no empty line for it.
TEST_F(DebugPageTest, ARotationAtAReadBoundaryEndsAFilteredPageWithoutAnEmptyLine)
{
    // 16384 bytes (a piece) of hidden lines, then a shown one beginning the next piece.
    const QByteArray hidden = "WARN || " + QByteArray(55, 'w') + "\n";
    ASSERT_EQ(hidden.size(), 64);
    writeLog(hidden.repeated(256) + "INFO || shown\n");
    // Reads of pieces: the deciding read of the first, the showing read of
    // the first, the deciding read of the second; the rotation comes with the
    // showing read of the second.
    int reads = 0;
    DebugLogPage::setPieceReadHook([&] {
        if (++reads != 4)
            return;
        QFile file(logPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
        QDebugLogger::trimFileToSize(&file, 0);
        file.write("INFO || after\n");
    });
    const QByteArray page = pageOf(get("/debug/info"));
    DebugLogPage::setPieceReadHook(nullptr);
    EXPECT_GE(reads, 4);
    EXPECT_EQ(page, QByteArray(DebugLogPage::Head) + DebugLogPage::RotatedNote + DebugLogPage::Tail);
}

// No thread that logs waits for a page: a rotation (which holds the log's
// lock, and with it every thread that logs) goes ahead while a reader of the
// log is stalled in the middle of reading a piece of it; the page then ends
// with the text of before the rotation and says so.
TEST_F(DebugPageTest, ALoggingThreadIsNotHeldByAPageReaderStalledInARead)
{
    // One byte over the quota: the next line logged rotates the log.
    const QByteArray line = "WARN || 07.12.2026 22:05:11 || main (46) || " + QByteArray(83, 'x') + "\n";
    ASSERT_EQ(line.size(), 128);
    writeLog(line.repeated(int(QDebugLogger::MaxLogFileSize / line.size())) + "\n");
    std::promise<void> stalled;
    std::promise<void> released;
    std::shared_future<void> release = released.get_future().share();
    bool first = true;
    DebugLogPage::setPieceReadHook([&] {
        if (!first)
            return;
        first = false;
        stalled.set_value();
        release.wait();
    });
    const network::HttpResponse response = get("/debug");
    ASSERT_EQ(response.getStatusCode(), 200);
    QByteArray page;
    std::thread reader([&] { page = pageOf(response); });
    ASSERT_EQ(stalled.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);

    QDebugLogger::setEnableWriteToFile(true);
    std::future<void> logged = std::async(std::launch::async, [] { qWarning("logged after the rotation"); });
    const bool loggedWhileStalled = logged.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    released.set_value();
    reader.join();
    logged.wait();
    QDebugLogger::setEnableWriteToFile(false);
    DebugLogPage::setPieceReadHook(nullptr);

    EXPECT_TRUE(loggedWhileStalled);
    EXPECT_TRUE(QFile::exists(logPath + ".bak"));
    EXPECT_FALSE(page.contains("logged after the rotation"));
    EXPECT_TRUE(page.endsWith(QByteArray(DebugLogPage::RotatedNote) + DebugLogPage::Tail))
        << page.right(300).toStdString();
}
