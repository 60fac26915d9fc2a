#include "station_fixture.h"

#include "service/rpc/rpc_methods/rpc_method.h"
#include "service/rpc/rpc_methods/rpc_method_factory.h"
#include "sim_bench.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace tarvesk::test {

void StationFixture::SetUp()
{
    const QString build = qEnvironmentVariable("QM_BUILD_DIR");
    if (build.isEmpty())
        GTEST_SKIP() << "QM_BUILD_DIR not set (run through ctest)";
    ASSERT_TRUE(QFile::copy(build + "/data.1", tmp.filePath("data.1")));
    database = std::make_shared<service::Data1Database>();
    database->setPackageFolder(tmp.path());
    database->setFirmwareCacheFolder(tmp.filePath("cache"));
    ASSERT_TRUE(database->initialize(false));
    service::AbstractRpcMethod::setDatabase(database);
}

void StationFixture::TearDown()
{
    usb.reset();
    service::AbstractRpcMethod::setDatabase(nullptr);
}

void StationFixture::useBench(const QByteArray& bench)
{
    usb.reset();
    QString error;
    std::shared_ptr<sim::SimLibUsb> libUsb = sim::SimBench::loadJson(bench, &error);
    ASSERT_TRUE(libUsb) << error.toStdString();
    usb = std::make_unique<SimUsbUniverse>(libUsb);
}

MethodOutcome StationFixture::call(const QString& method, const QJsonObject& params)
{
    return callWith(method,
        QStringLiteral(",\"params\":")
            + QString::fromUtf8(QJsonDocument(params).toJson(QJsonDocument::Compact)));
}

MethodOutcome StationFixture::callWith(const QString& method, const QString& members)
{
    service::RpcMethodCachedFactory factory;
    return callMethodWith(*factory.create(method), members);
}

int StationFixture::deviceId(const QString& name)
{
    for (const QJsonValue& device : call(QStringLiteral("device.list"), {}).result.toArray()) {
        if (device.toObject().value("device_name").toString() == name)
            return device.toObject().value("device_id").toInt();
    }
    return 0;
}

} // namespace tarvesk::test
