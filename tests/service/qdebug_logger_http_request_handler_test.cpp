#include "log/qdebug_logger.h"
#include "network/http_request.h"
#include "network/http_response.h"
#include "service/qdebug_logger_http_request_handler.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarvesk;
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

    static QString bodyOf(const network::HttpResponse& response)
    {
        const QString page = QString::fromUtf8(response.getData());
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
        QStringList expected;
    } cases[] = {
        {"/debug/info", {"info line"}},
        {"/debug/warning", {"warn line"}},
        {"/debug/error", {"fatal line"}},
        {"/debug/INFO", {"continuation"}}, // unknown word: lines with an empty first or second word
        {"/debug/", {"continuation"}},
        {"/x/debug", {"continuation"}},
        {"/debug", {"started", "info line", "warn line", "fatal line", "continuation"}},
    };
    for (const auto& c : cases) {
        const network::HttpResponse response = get(c.path);
        EXPECT_EQ(response.getStatusCode(), 200) << c.path;
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
    const QString page = QString::fromUtf8(response.getData());
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
    EXPECT_TRUE(response.getData().isEmpty());

    // A folder where the file should be cannot be read, also by root.
    ASSERT_TRUE(QDir().mkpath(logPath));
    response = get("/debug");
    EXPECT_EQ(response.getStatusCode(), 500);
    EXPECT_TRUE(response.getData().isEmpty());
}
