#pragma once

#include "service/database/data1_database.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QMap>
#include <QString>

#include <memory>

namespace tarvesk::network {
class HttpServer;
}

namespace tarvesk::service {
class QuinmarkRpcServer;
}

namespace tarvesk::sim {
class SimLibUsb;
class SimVandrelBox;
struct SimDriverFaults;
class SimDriverCore;
} // namespace tarvesk::sim

namespace tarvesk::test {

// The sample data package with a firmware cache that the test fills: the
// database seam through which the firmware methods see module files.
class CachedFirmwareDatabase : public service::Data1Database
{
    Q_OBJECT

public:
    QStringList firmwareCacheFileNames() const override { return cache.keys(); }
    QMap<QString, QByteArray> firmwareCacheData() const override { return cache; }

    QMap<QString, QByteArray> cache;
};

// What one JSON-RPC call answered: its result, or its error code and message.
struct RpcAnswer
{
    QJsonValue result;
    int code = 0;
    QString message;

    bool ok() const { return code == 0; }
};

// The service as it runs, in this process: the HTTP server, the request
// handler and the RPC server with the method table, on the default simulated
// bench, so that a test can pull the box's cable or change a driver while it
// calls over HTTP. The firmware cache holds the sample firmware package's
// module files.
class FirmwareService
{
public:
    FirmwareService();
    ~FirmwareService();

    // False (with the reason in `error`) when the service could not start.
    bool start(QString* error);

    RpcAnswer call(const QString& method, const QJsonObject& params = QJsonObject());
    // The USB search; the box's id, and its DMX and Dorvane universe ids.
    bool searchBoxes();
    // The search of the box's DMX line and Dorvane port; the ids of the first
    // driver on each.
    bool searchDrivers();

    std::shared_ptr<sim::SimVandrelBox> box() const;
    sim::SimDriverCore& dmxDriver() const;
    sim::SimDriverFaults& dmxFaults() const;
    sim::SimDriverCore& dorvaneDriver() const;
    sim::SimDriverFaults& dorvaneFaults() const;

    // The text of a sample module file (data/firmware/data/firmware_mods).
    static QByteArray sampleModule(const QString& fileName);

    std::shared_ptr<sim::SimLibUsb> libUsb;
    std::shared_ptr<CachedFirmwareDatabase> database;
    int boxId = -1;
    int dmxUniverseId = -1;
    int dorvaneUniverseId = -1;
    int dmxDriverId = -1;
    int dorvaneDriverId = -1;

private:
    std::shared_ptr<service::QuinmarkRpcServer> _rpcServer;
    std::unique_ptr<network::HttpServer> _server;
    int _port = 0;
};

} // namespace tarvesk::test
