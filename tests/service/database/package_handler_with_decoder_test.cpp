#include "core/file/package_file_decoder.h"
#include "log_capture.h"
#include "network/http_request.h"
#include "network/http_response.h"
#include "service/encoded_package_file_http_request_handler.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarvesk;

// The "/data" handler over the real package decoder: every way a package can
// be unreadable is one exception type that ends in a 404, never a crash.
TEST(PackageHandlerWithDecoderTest, UnreadablePackagesGive404AndAGoodOneIsServed)
{
    QTemporaryDir dir;
    const QByteArray good
        = core::PackageFileDecoder::encodePackage({{"data/html/index.html", "<html>ok</html>"}});
    const QByteArray variants[] = {
        QByteArray("not a package at all"), good.left(good.size() / 2),
        qCompress(QByteArray(7, '\x9E'), 9), // a record stream cut inside the first record
    };
    tarvesk::test::LogCapture quiet;
    for (const QByteArray& bytes : variants) {
        QFile file(dir.filePath("data.1"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        service::EncodedPackageFileHttpRequestHandler handler("data.1", dir.path());
        network::HttpRequest request("GET", "/data/html/index.html");
        network::HttpResponse response;
        handler.handleRequest(&request, &response);
        EXPECT_EQ(response.getStatusCode(), 404);
        EXPECT_TRUE(response.getData().isEmpty());
    }
    QFile file(dir.filePath("data.1"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(good);
    file.close();
    service::EncodedPackageFileHttpRequestHandler handler("data.1", dir.path());
    network::HttpRequest request("GET", "/data/html/index.html");
    network::HttpResponse response;
    handler.handleRequest(&request, &response);
    EXPECT_EQ(response.getStatusCode(), 200);
    EXPECT_EQ(response.getData(), QByteArray("<html>ok</html>"));
}
