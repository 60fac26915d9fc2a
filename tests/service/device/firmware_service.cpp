#include "firmware_service.h"

#include "core/universe_manager.h"
#include "dmx/sim_wystrel_driver.h"
#include "dorvane/sim_dorvane_driver.h"
#include "http_test_client.h"
#include "interfaces/lib_usb_interface.h"
#include "network/http_host_whitelist.h"
#include "network/http_server.h"
#include "network/http_session_factory.h"
#include "service/http_service_request_handler.h"
#include "service/quinmark_rpc_server.h"
#include "sim_bench.h"
#include "universes/usb_universe.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>

namespace tarvesk::test {

namespace {

QString sourceDir()
{
    return qEnvironmentVariable("QM_SOURCE_DIR", QStringLiteral("."));
}

QString moduleFolder()
{
    return sourceDir() + QStringLiteral("/data/firmware/data/firmware_mods");
}

} // namespace

FirmwareService::FirmwareService() = default;

FirmwareService::~FirmwareService()
{
    _server.reset();
    network::setInstalledHandler(nullptr);
    network::setHttpSessionFactory(nullptr);
    _rpcServer.reset();
}

QByteArray FirmwareService::sampleModule(const QString& fileName)
{
    QFile file(moduleFolder() + QLatin1Char('/') + fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool FirmwareService::start(QString* error)
{
    libUsb = sim::SimBench::loadFile(sourceDir() + QStringLiteral("/sim/benches/default.json"), error);
    if (!libUsb)
        return false;
    database = std::make_shared<CachedFirmwareDatabase>();
    database->setPackageFolder(qEnvironmentVariable("QM_BUILD_DIR"));
    database->setFirmwareCacheFolder(QDir::tempPath() + QStringLiteral("/qm-firmware-service-cache"));
    for (const QString& name : QDir(moduleFolder()).entryList(QDir::Files))
        database->cache.insert(QStringLiteral("data/firmware_mods/") + name, sampleModule(name));

    service::QuinmarkRpcServer::Dependencies dependencies;
    dependencies.database = [this] { return database; };
    auto created = std::make_shared<QPointer<core::Item>>();
    auto bench = libUsb;
    dependencies.createUsbUniverse = [created, bench](const QString& name) -> core::Item* {
        auto* universe = new universes::UsbUniverse(name, new itf::LibUsbInterface(bench));
        if (!core::UniverseManager::instance().add(universe)) {
            delete universe;
            return nullptr;
        }
        *created = universe;
        return universe;
    };
    dependencies.releaseUsbUniverse = [created](core::Item*) {
        if (core::Item* universe = created->data())
            core::UniverseManager::instance().remove(universe, true);
    };
    _rpcServer = std::make_shared<service::QuinmarkRpcServer>(false, false, dependencies);
    if (!_rpcServer->init()) {
        *error = QStringLiteral("the RPC server did not start (data.1 in QM_BUILD_DIR?)");
        return false;
    }
    network::setHttpSessionFactory(
        std::make_shared<network::HttpSessionFactory>(std::make_shared<network::HttpHostWhitelist>()));
    network::setInstalledHandler(std::make_shared<service::HttpServiceRequestHandler>(_rpcServer, false, 0));
    _port = qmtest::freeLoopbackPort();
    _server = std::make_unique<network::HttpServer>(_port);
    if (!_server->start()) {
        *error = QStringLiteral("the HTTP server did not start");
        return false;
    }
    return true;
}

RpcAnswer FirmwareService::call(const QString& method, const QJsonObject& params)
{
    qmtest::HttpTestClient client(_port, std::chrono::seconds(60));
    const qmtest::HttpReply reply = client.request("POST", "/", {{"Content-Type", "application/json-rpc"}},
        qmtest::rpcBody(
            method.toStdString(), "1", QJsonDocument(params).toJson(QJsonDocument::Compact).toStdString()));
    const QJsonObject message = QJsonDocument::fromJson(QByteArray::fromStdString(reply.body)).object();
    RpcAnswer answer;
    if (!reply.ok) {
        answer.code = -1;
        answer.message = QStringLiteral("no HTTP reply");
    } else if (message.contains(QLatin1String("error"))) {
        const QJsonObject error = message.value(QLatin1String("error")).toObject();
        answer.code = error.value(QLatin1String("code")).toInt();
        answer.message = error.value(QLatin1String("message")).toString();
    } else {
        answer.result = message.value(QLatin1String("result"));
    }
    return answer;
}

bool FirmwareService::searchBoxes()
{
    const RpcAnswer boxes = call(QStringLiteral("universe.search"), {{"interface_type", "usb"}});
    const QJsonArray found = boxes.result.toArray();
    if (found.isEmpty())
        return false;
    // The newer box, the one with drivers on its buses, is listed first.
    const QJsonObject first = found.first().toObject();
    boxId = first.value(QLatin1String("device_id")).toInt(-1);
    for (const QJsonValue& child : first.value(QLatin1String("child_universes")).toArray()) {
        const QJsonObject universe = child.toObject();
        const QString type = universe.value(QLatin1String("interface_type")).toString();
        if (type == QLatin1String("dmx"))
            dmxUniverseId = universe.value(QLatin1String("universe_id")).toInt(-1);
        else if (type == QLatin1String("dorvane"))
            dorvaneUniverseId = universe.value(QLatin1String("universe_id")).toInt(-1);
    }
    return boxId > 0 && dmxUniverseId > 0 && dorvaneUniverseId > 0;
}

bool FirmwareService::searchDrivers()
{
    const auto firstId = [this](int universe) {
        const QJsonArray found
            = call(QStringLiteral("universe.search"), {{"universe_id", universe}}).result.toArray();
        return found.isEmpty() ? -1 : found.first().toObject().value(QLatin1String("device_id")).toInt(-1);
    };
    dmxDriverId = firstId(dmxUniverseId);
    dorvaneDriverId = firstId(dorvaneUniverseId);
    return dmxDriverId > 0 && dorvaneDriverId > 0;
}

std::shared_ptr<sim::SimVandrelBox> FirmwareService::box() const
{
    return libUsb->boxes().front();
}

sim::SimDriverCore& FirmwareService::dmxDriver() const
{
    return std::dynamic_pointer_cast<sim::SimWystrelDriver>(box()->busModel(sim::SimBusModel::Dmx, 0))
        ->core();
}

sim::SimDriverFaults& FirmwareService::dmxFaults() const
{
    return std::dynamic_pointer_cast<sim::SimWystrelDriver>(box()->busModel(sim::SimBusModel::Dmx, 0))
        ->faults();
}

sim::SimDriverCore& FirmwareService::dorvaneDriver() const
{
    return std::dynamic_pointer_cast<sim::SimDorvaneDriver>(box()->busModel(sim::SimBusModel::Dorvane, 0))
        ->core();
}

sim::SimDriverFaults& FirmwareService::dorvaneFaults() const
{
    return std::dynamic_pointer_cast<sim::SimDorvaneDriver>(box()->busModel(sim::SimBusModel::Dorvane, 0))
        ->faults();
}

} // namespace tarvesk::test
