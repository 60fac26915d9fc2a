#pragma once

#include "service/database/abstract_database.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QStringList>

#include <memory>
#include <vector>

namespace tarvesk::core {
class IParameter;
}

namespace tarvesk::test {

// The product database of the tests and the fuzz targets. Empty at first,
// which is all the method framework and the RPC server need; device and
// profile tests fill it with products and OEMs from JSON texts in the format
// of the data package, and with profile types made from parameters that the
// test defines. initialize() answers what the test asks and counts its calls;
// every profile-type question is journaled.
class FakeProductDatabase : public service::AbstractDatabase
{
    Q_OBJECT

public:
    explicit FakeProductDatabase(bool initializeResult = true);
    ~FakeProductDatabase() override;

    // {"products": [...]} and {"oem": [...]}.
    void loadProducts(const std::string& json);
    void loadOems(const std::string& json);
    // A profile type whose schema holds the given parameters (taken over).
    core::ProfileType* addProfileType(const QString& name, const QList<core::IParameter*>& parameters);

    const QStringList& profileTypeQueries() const { return _queries; }

    bool initialize(bool withFirmwareCache) override;
    core::ProfileType* profileType(const QString& name) const override;
    QStringList profileTypeNames() const override { return _types.keys(); }
    std::shared_ptr<core::DeviceInfoDatabase> products() const override { return _products; }
    QHash<QString, proto::PacketLookupTable*>* lookupTables() const override { return &_lookupTables; }
    QStringList firmwareCacheFileNames() const override { return {}; }
    QMap<QString, QByteArray> firmwareCacheData() const override { return {}; }

    int initializeCalls = 0;
    bool lastFirmwareCacheFlag = false;

private:
    bool _initializeResult;
    std::shared_ptr<core::DeviceInfoDatabase> _products;
    QMap<QString, core::ProfileType*> _types; // owned
    std::vector<std::unique_ptr<core::IParameter>> _parameters;
    mutable QHash<QString, proto::PacketLookupTable*> _lookupTables; // always empty
    mutable QStringList _queries;
};

} // namespace tarvesk::test
