#pragma once

#include "service/database/abstract_database.h"

#include <QList>
#include <QMap>
#include <QStringList>

#include <memory>
#include <vector>

namespace tarvesk::core {
class IParameter;
}

namespace tarvesk::test {

// A product database for device and profile tests: products and OEMs from
// JSON texts in the format of the data package, and profile types made from
// parameters that the test defines. Every profile-type question is journaled.
class FakeProductDatabase : public service::AbstractDatabase
{
    Q_OBJECT

public:
    FakeProductDatabase();
    ~FakeProductDatabase() override;

    // {"products": [...]} and {"oem": [...]}.
    void loadProducts(const std::string& json);
    void loadOems(const std::string& json);
    // A profile type whose schema holds the given parameters (taken over).
    core::ProfileType* addProfileType(const QString& name, const QList<core::IParameter*>& parameters);

    const QStringList& profileTypeQueries() const { return _queries; }

    bool initialize(bool) override { return true; }
    core::ProfileType* profileType(const QString& name) const override;
    QStringList profileTypeNames() const override { return _types.keys(); }
    std::shared_ptr<core::DeviceInfoDatabase> products() const override { return _products; }
    QHash<QString, proto::PacketLookupTable*>* lookupTables() const override { return nullptr; }
    QStringList firmwareCacheFileNames() const override { return {}; }
    QMap<QString, QByteArray> firmwareCacheData() const override { return {}; }

private:
    std::shared_ptr<core::DeviceInfoDatabase> _products;
    QMap<QString, core::ProfileType*> _types; // owned
    std::vector<std::unique_ptr<core::IParameter>> _parameters;
    mutable QStringList _queries;
};

} // namespace tarvesk::test
