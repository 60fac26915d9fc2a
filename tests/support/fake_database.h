#pragma once

#include "service/database/abstract_database.h"

namespace tarvesk::test {

// A product database that knows nothing: enough for the method framework,
// which only needs one to be set. initialize() answers what the test asks
// and counts its calls.
class FakeDatabase : public service::AbstractDatabase
{
    Q_OBJECT

public:
    explicit FakeDatabase(bool initializeResult = true)
        : _initializeResult(initializeResult)
    { }

    bool initialize(bool withFirmwareCache) override
    {
        ++initializeCalls;
        lastFirmwareCacheFlag = withFirmwareCache;
        return _initializeResult;
    }
    core::ProfileType* profileType(const QString&) const override { return nullptr; }
    QStringList profileTypeNames() const override { return {}; }
    std::shared_ptr<core::DeviceInfoDatabase> products() const override { return nullptr; }
    QHash<QString, proto::PacketLookupTable*>* lookupTables() const override { return &_lookupTables; }
    QStringList firmwareCacheFileNames() const override { return {}; }
    QMap<QString, QByteArray> firmwareCacheData() const override { return {}; }

    int initializeCalls = 0;
    bool lastFirmwareCacheFlag = false;

private:
    bool _initializeResult;
    mutable QHash<QString, proto::PacketLookupTable*> _lookupTables;
};

} // namespace tarvesk::test
