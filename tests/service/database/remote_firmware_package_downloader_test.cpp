#include "service/database/data1_database.h"
#include "service/database/http_file_request.h"
#include "service/database/remote_firmware_package_downloader.h"
#include "tiny_http_server.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using tarvesk::service::HttpFileRequest;
using tarvesk::service::RemoteFirmwarePackageDownloader;

namespace {

// The firmware downloader pointed at the test's own server and folder.
class LoopbackDownloader : public RemoteFirmwarePackageDownloader
{
public:
    LoopbackDownloader(quint16 port, QString folder)
        : _port(port)
        , _folder(std::move(folder))
    { }
    QString serverUrl() const override { return QStringLiteral("http://127.0.0.1:%1/").arg(_port); }
    QString targetFolder() const override { return _folder; }

private:
    quint16 _port;
    QString _folder;
};

class DownloaderTest : public ::testing::Test
{
protected:
    DownloaderTest()
        : downloader(server.port(), tmp.filePath("app/data") + "/")
    {
        downloader.setTimeout(5000);
    }

    // Runs one download; answers the result's arguments and checks the order of
    // completed() and result() and that the request object went away.
    QList<QVariant> run(const std::vector<std::string>& expectedOrder = {"completed", "result"})
    {
        std::vector<std::string> order;
        QObject context; // ends the connections with the run
        QObject::connect(&downloader, &RemoteFirmwarePackageDownloader::completed, &context,
            [&] { order.push_back("completed"); });
        QObject::connect(&downloader, &RemoteFirmwarePackageDownloader::result, &context,
            [&] { order.push_back("result"); });
        QSignalSpy results(&downloader, &RemoteFirmwarePackageDownloader::result);
        QPointer<HttpFileRequest> request = downloader.execute();
        EXPECT_TRUE(request);
        EXPECT_TRUE(results.wait(10000));
        EXPECT_EQ(results.size(), 1);
        EXPECT_EQ(order, expectedOrder);
        for (int i = 0; i < 100 && request; ++i)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete),
                QCoreApplication::processEvents();
        EXPECT_TRUE(request.isNull());
        return results.value(0);
    }

    QString storedFile() const { return tmp.filePath("app/data/fw.pak"); }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/fw.pak").arg(server.port()); }

    QTemporaryDir tmp;
    TinyHttpServer server;
    LoopbackDownloader downloader;
};

} // namespace

TEST_F(DownloaderTest, StoresTheFirmwarePackageAsFwPakInANewDataFolder)
{
    QFile sample(qEnvironmentVariable("QM_BUILD_DIR") + "/sample/fw.pak");
    const QByteArray body = sample.open(QIODevice::ReadOnly) ? sample.readAll() : QByteArray("package bytes");
    server.setBody(body);
    EXPECT_EQ(downloader.targetFileName(), "download.json");

    const QList<QVariant> result = run();
    EXPECT_EQ(server.lastRequestLine(), "GET /fw.pak HTTP/1.1");
    EXPECT_EQ(result.value(0).toString(), url());
    EXPECT_TRUE(result.value(1).toBool());
    EXPECT_EQ(result.value(2).toString(), QString());
    EXPECT_EQ(downloader.targetFileName(), "fw.pak");
    QFile stored(storedFile());
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), body);
}

TEST_F(DownloaderTest, OnlyAComplete200AnswerWithinTheLimitsCounts)
{
    downloader.setMaximumSize(1000);
    downloader.setTimeout(300);
    const std::pair<TinyHttpServer::Mode, const char*> cases[] = {
        {TinyHttpServer::NotFound, "404"},
        {TinyHttpServer::Garbage, "not HTTP"},
        {TinyHttpServer::Silent, "no answer"},
        {TinyHttpServer::HugeWithLength, "announced too large"},
        {TinyHttpServer::HugeWithoutLength, "too large without a length"},
    };
    for (const auto& [mode, what] : cases) {
        SCOPED_TRACE(what);
        server.setMode(mode);
        const QList<QVariant> result = run();
        EXPECT_FALSE(result.value(1).toBool());
        EXPECT_EQ(result.value(2).toString(), "Remote Package file could not be downloaded: " + url());
        EXPECT_FALSE(QFileInfo::exists(storedFile()));
    }
}

TEST_F(DownloaderTest, AnUnwritableTargetReportsOneFailure)
{
    QFile blocker(tmp.filePath("app"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    server.setBody("data");
    const QList<QVariant> result = run({"result", "completed"});
    EXPECT_FALSE(result.value(1).toBool());
    EXPECT_TRUE(result.value(2).toString().startsWith(
        "Remote Package file downloaded but could not be written to location: "));
}

TEST(FirmwarePackageServerTest, HostComesFromTheSettingAndNoHostMeansNoDownload)
{
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    RemoteFirmwarePackageDownloader downloader;
    QSettings().remove(RemoteFirmwarePackageDownloader::hostSettingKey());
    EXPECT_EQ(downloader.serverUrl(), QString());
    QSignalSpy results(&downloader, &RemoteFirmwarePackageDownloader::result);
    EXPECT_EQ(downloader.execute(), nullptr);
    QCoreApplication::processEvents();
    EXPECT_TRUE(results.isEmpty());

    QSettings().setValue(RemoteFirmwarePackageDownloader::hostSettingKey(), "fw.example.test");
    EXPECT_EQ(downloader.serverUrl(), "http://fw.example.test:8013/");
    EXPECT_EQ(downloader.queryUrl(), "fw.pak");
    QSettings().remove(RemoteFirmwarePackageDownloader::hostSettingKey());
}

TEST_F(DownloaderTest, ADownloadedPackageBecomesTheFirmwareCache)
{
    QFile sample(qEnvironmentVariable("QM_BUILD_DIR") + "/sample/fw.pak");
    if (!sample.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "sample fw.pak not built";
    tarvesk::service::Data1Database database;
    database.setFirmwareCacheFolder(tmp.filePath("app/data"));
    QObject::connect(&downloader, &RemoteFirmwarePackageDownloader::result, &database,
        &tarvesk::service::Data1Database::handleFileDownloaded);

    server.setBody(sample.readAll());
    run();
    const QStringList modules = database.firmwareCacheFileNames();
    EXPECT_EQ(modules.size(), 3);
    EXPECT_TRUE(modules.contains("data/firmware_mods/i005v00100s001p05diag.hex"));
    EXPECT_FALSE(QFileInfo::exists(storedFile())); // read into memory, then removed

    for (const auto mode : {TinyHttpServer::NotFound, TinyHttpServer::Garbage}) {
        server.setMode(mode);
        run();
        EXPECT_EQ(database.firmwareCacheFileNames(), modules);
    }
    server.setMode(TinyHttpServer::Ok);
    server.setBody("200, but not a package");
    run();
    EXPECT_EQ(database.firmwareCacheFileNames(), modules);
    EXPECT_FALSE(QFileInfo::exists(storedFile()));
}
