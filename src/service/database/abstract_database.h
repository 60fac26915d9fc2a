#pragma once

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace tarvesk::core {
class DeviceInfoDatabase;
class ProfileType;
} // namespace tarvesk::core

namespace tarvesk::proto {
class PacketLookupTable;
} // namespace tarvesk::proto

namespace tarvesk::service {

// The product database service: what devices, the profile manager and the
// JSON-RPC methods ask about products, profile types, packet lookup tables
// and the firmware cache. One instance serves the whole process; it is held
// by shared pointers (the RPC server and the method base class share it).
class AbstractDatabase : public QObject
{
    Q_OBJECT

public:
    explicit AbstractDatabase(QObject* parent = nullptr)
        : QObject(parent)
    { }
    ~AbstractDatabase() override = default;

    // Reads the product data; false when it cannot be read. May throw
    // StringException, which the caller treats as a failure too.
    virtual bool initialize(bool withFirmwareCache) = 0;

    // The profile type of that exact name, or null; the database keeps ownership.
    virtual core::ProfileType* profileType(const QString& name) const = 0;
    // The names of all profile types in ascending order.
    virtual QStringList profileTypeNames() const = 0;
    virtual std::shared_ptr<core::DeviceInfoDatabase> products() const = 0;
    // The packet lookup tables by protocol name (the DALI table under "DALI");
    // owned by the database.
    virtual QHash<QString, proto::PacketLookupTable*>* lookupTables() const = 0;
    virtual QStringList firmwareCacheFileNames() const = 0;
    virtual QMap<QString, QByteArray> firmwareCacheData() const = 0;

    // The folder of the data package: the application's folder with every
    // "MacOS" replaced by "Resources" (the resources folder of the bundle).
    static QString packageFilesPath();
    // The application's writable data folder, where the firmware package is stored.
    static QString firmwareCachePath();
};

} // namespace tarvesk::service
