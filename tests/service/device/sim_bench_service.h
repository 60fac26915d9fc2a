#pragma once

#include "dmx/sim_wystrel_driver.h"
#include "dorvane/sim_dorvane_driver.h"
#include "http_test_client.h"
#include "network/http_host_whitelist.h"
#include "network/http_server.h"
#include "network/http_session_factory.h"
#include "service/database/data1_database.h"
#include "service/http_service_request_handler.h"
#include "service/quinmark_rpc_server.h"
#include "sim_bench.h"
#include "sim_usb_universe.h"
#include "sim_vandrel_box.h"
#include "universes/usb_universe.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace tarvesk::test {

// The service in this process, as the application wires it, on a simulated
// bench: the data package of the build, the USB universe over the bench's
// boxes, the RPC server behind the HTTP server on a free loopback port. A test
// reaches the boxes and drivers of the bench between requests (to unplug a
// box, or put another chip in a driver's place) and calls the service over HTTP.
class SimBenchService : public ::testing::Test
{
protected:
    void startOn(const QString& benchFile)
    {
        const QString build = qEnvironmentVariable("QM_BUILD_DIR");
        if (build.isEmpty())
            GTEST_SKIP() << "QM_BUILD_DIR not set (run through ctest)";
        ASSERT_TRUE(tmp.isValid());
        ASSERT_TRUE(QFile::copy(build + "/data.1", tmp.filePath("data.1")));
        QString error;
        libUsb = sim::SimBench::loadFile(
            qEnvironmentVariable("QM_SOURCE_DIR", QStringLiteral(".")) + "/sim/benches/" + benchFile, &error);
        ASSERT_TRUE(libUsb) << error.toStdString();

        service::QuinmarkRpcServer::Dependencies dependencies;
        dependencies.database = [this] {
            auto database = std::make_shared<service::Data1Database>();
            database->setPackageFolder(tmp.path());
            database->setFirmwareCacheFolder(tmp.filePath("cache"));
            return database;
        };
        dependencies.createUsbUniverse = [this](const QString&) {
            usb = std::make_unique<SimUsbUniverse>(libUsb);
            return usb->universe;
        };
        dependencies.releaseUsbUniverse = [this](core::Item*) { usb.reset(); };
        rpcServer = std::make_shared<service::QuinmarkRpcServer>(false, false, dependencies);
        ASSERT_TRUE(rpcServer->init());

        network::setHttpSessionFactory(
            std::make_shared<network::HttpSessionFactory>(std::make_shared<network::HttpHostWhitelist>()));
        network::setInstalledHandler(
            std::make_shared<service::HttpServiceRequestHandler>(rpcServer, false, 0));
        port = qmtest::freeLoopbackPort();
        server = std::make_unique<network::HttpServer>(port);
        ASSERT_TRUE(server->start());
    }

    void TearDown() override
    {
        server.reset();
        network::setInstalledHandler(nullptr);
        network::setHttpSessionFactory(nullptr);
        rpcServer.reset();
    }

    // The reply's {"result": ...}, or its error object {"code", "message"}.
    QJsonObject call(const QString& method, const QJsonObject& params = QJsonObject())
    {
        qmtest::HttpTestClient client(port);
        const QJsonObject body {{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
        const qmtest::HttpReply reply
            = client.request("POST", "/", {{"Content-Type", "application/json-rpc"}},
                QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString());
        EXPECT_TRUE(reply.ok) << method.toStdString();
        const QJsonObject message = QJsonDocument::fromJson(QByteArray::fromStdString(reply.body)).object();
        if (message.contains("error"))
            return message["error"].toObject();
        return QJsonObject {{"result", message["result"]}};
    }

    // The id of the first universe of that interface type behind the box device.
    int childUniverse(int boxId, const QString& interfaceType)
    {
        const QJsonArray universes
            = call("universe.list", {{"interface_type", interfaceType}})["result"].toArray();
        for (const QJsonValue& u : universes) {
            if (u["parent_device_id"].toString() == QString::number(boxId))
                return u["universe_id"].toInt();
        }
        return -1;
    }

    std::shared_ptr<sim::SimVandrelBox> box(int index = 0) const { return libUsb->boxes().at(size_t(index)); }
    template <typename Model> Model* driver(sim::SimBusModel::Bus bus, int index = 0) const
    {
        return dynamic_cast<Model*>(box()->busModel(bus, index).get());
    }
    sim::SimDriverCore& dmxDriver() const
    {
        return driver<sim::SimWystrelDriver>(sim::SimBusModel::Dmx)->core();
    }
    sim::SimDriverCore& dorvaneDriver() const
    {
        return driver<sim::SimDorvaneDriver>(sim::SimBusModel::Dorvane)->core();
    }

    QTemporaryDir tmp;
    std::shared_ptr<sim::SimLibUsb> libUsb;
    std::unique_ptr<SimUsbUniverse> usb;
    std::shared_ptr<service::QuinmarkRpcServer> rpcServer;
    std::unique_ptr<network::HttpServer> server;
    int port = 0;
};

} // namespace tarvesk::test
