#include "core/core_errors.h"
#include "core/file/package_file_decoder.h"
#include "network/http_request.h"
#include "network/http_response.h"
#include "service/encoded_package_file_http_request_handler.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include "log_capture.h"

#include <gtest/gtest.h>

using namespace tarvesk;
using service::EncodedPackageFileHttpRequestHandler;
using service::PackageFileReader;

namespace {

// A package of named entries; decoding fails while `damaged` is set.
struct FakePackage
{
    QMap<QString, QByteArray> entries;
    bool damaged = false;
    int opened = 0;
};

class FakeReader : public PackageFileReader
{
public:
    explicit FakeReader(FakePackage* package)
        : package(package)
    { }
    void openAndDecodeFile() override
    {
        ++package->opened;
        if (package->damaged)
            throw core::FileError("damaged package");
        entries = package->entries;
    }
    QByteArray fileToByteArray(const QString& name) const override
    {
        if (!entries.contains(name.toLower()))
            throw core::FileError(("File not found in package: " + name).toStdString());
        return entries.value(name.toLower());
    }

private:
    FakePackage* package;
    QMap<QString, QByteArray> entries;
};

class PackageHandlerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fake.entries = {{"data/html/index.html", "<html>start</html>"}, {"data/html/a b.html", "spaced"}};
        writePackageFile("v1");
    }

    void writePackageFile(const QByteArray& content)
    {
        QFile file(dir.filePath("data.1"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    EncodedPackageFileHttpRequestHandler makeHandler()
    {
        return EncodedPackageFileHttpRequestHandler(
            "data.1", dir.path(), [this](const QString& path, const QString& name) {
                EXPECT_EQ(path, dir.path());
                EXPECT_EQ(name, "data.1");
                return std::make_unique<FakeReader>(&fake);
            });
    }

    static network::HttpResponse get(EncodedPackageFileHttpRequestHandler& handler, const QString& path)
    {
        network::HttpRequest request("GET", path);
        network::HttpResponse response;
        handler.handleRequest(&request, &response);
        return response;
    }

    QTemporaryDir dir;
    FakePackage fake;
};

} // namespace

TEST_F(PackageHandlerTest, PackageIsDecodedOnceAndServesDecodedNames)
{
    auto handler = makeHandler();
    network::HttpResponse response = get(handler, "/data/html/index.html");
    EXPECT_EQ(response.getStatusCode(), 200);
    EXPECT_EQ(response.getData(), "<html>start</html>");
    EXPECT_EQ(response.getHeaderItem("Content-Type"), "");
    EXPECT_EQ(response.headerCount(), 4);

    response = get(handler, "/data/html/index.html");
    EXPECT_EQ(response.getData(), "<html>start</html>");
    EXPECT_EQ(get(handler, "/data/html/a%20b.html").getData(), "spaced");
    EXPECT_EQ(fake.opened, 1);
}

TEST_F(PackageHandlerTest, MissesAre404AndAreNotRemembered)
{
    auto handler = makeHandler();
    tarvesk::test::LogCapture quiet;
    for (int i = 0; i < 300; ++i) {
        const network::HttpResponse response = get(handler, QString("/data/missing/%1.html").arg(i));
        ASSERT_EQ(response.getStatusCode(), 404);
        ASSERT_TRUE(response.getData().isEmpty());
    }
    EXPECT_EQ(handler.cachedFileCount(), 0);
    EXPECT_EQ(fake.opened, 1);
}

TEST_F(PackageHandlerTest, MissingOrDamagedPackageGives404AndIsRetriedOnlyWhenTheFileChanges)
{
    QFile::remove(dir.filePath("data.1"));
    auto handler = makeHandler();
    fake.damaged = true;
    EXPECT_EQ(get(handler, "/data/html/index.html").getStatusCode(), 404);
    EXPECT_EQ(get(handler, "/data/html/index.html").getStatusCode(), 404);
    EXPECT_EQ(fake.opened, 2); // absent: looked for again each time

    writePackageFile("damaged");
    EXPECT_EQ(get(handler, "/data/html/index.html").getStatusCode(), 404);
    EXPECT_EQ(get(handler, "/data/html/index.html").getStatusCode(), 404);
    EXPECT_EQ(fake.opened, 3); // present but damaged: not decoded again unchanged

    fake.damaged = false;
    writePackageFile("repaired package");
    EXPECT_EQ(get(handler, "/data/html/index.html").getStatusCode(), 200);
    EXPECT_EQ(fake.opened, 4);
}

TEST(PackageHandlerDefault, ServesARealPackageFile)
{
    QTemporaryDir dir;
    core::PackageFileDecoder writer(dir.path(), "data.1");
    writer.addFile("data/css/log.css", "body { color: black; }");
    writer.writePackageFile();

    EncodedPackageFileHttpRequestHandler handler("data.1", dir.path());
    network::HttpRequest request("GET", "/data/css/log.css");
    network::HttpResponse response;
    handler.handleRequest(&request, &response);
    EXPECT_EQ(response.getStatusCode(), 200);
    EXPECT_EQ(response.getData(), "body { color: black; }");

    EncodedPackageFileHttpRequestHandler absent("data.1", dir.filePath("nowhere"));
    network::HttpResponse missing;
    absent.handleRequest(&request, &missing);
    EXPECT_EQ(missing.getStatusCode(), 404);
}
