#pragma once

#include "service/database/abstract_database.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace tarvesk::core {
class DaliMemoryBankParameterRepository;
class FeatureRepository;
class PackageFileDecoder;
class ProfileType;
class ScriptEngine;
} // namespace tarvesk::core

namespace tarvesk::proto {
class DaliLookupTable;
}

namespace tarvesk::service {

class RemoteFirmwarePackageDownloader;

// The service's product knowledge from the data package "data.1": the product
// database, the DALI command table, the feature scripts and one profile type
// per product and interface; and the firmware cache filled by the download of
// the firmware package.
//
// Queries run on request threads one at a time (the request handler's mutex);
// the firmware cache is also replaced on the main thread when a download ends,
// so it has a lock of its own.
class Data1Database : public AbstractDatabase
{
    Q_OBJECT

public:
    Data1Database();
    ~Data1Database() override;

    bool initialize(bool withFirmwareCache) override;
    // The profile type with its feature parameters, built on its first request
    // and kept; null when the name is unknown.
    core::ProfileType* profileType(const QString& name) const override;
    QStringList profileTypeNames() const override;
    std::shared_ptr<core::DeviceInfoDatabase> products() const override;
    QHash<QString, proto::PacketLookupTable*>* lookupTables() const override;
    QStringList firmwareCacheFileNames() const override;
    QMap<QString, QByteArray> firmwareCacheData() const override;

    void initFirmwareCache() const;
    static void registerTypesToUseInJsEngine();

    // The folders read and written; packageFilesPath() and firmwareCachePath()
    // unless set (tests use folders of their own).
    void setPackageFolder(const QString& folder) { _packageFolder = folder; }
    void setFirmwareCacheFolder(const QString& folder) { _firmwareCacheFolder = folder; }
    std::shared_ptr<core::ScriptEngine> scriptEngine() const { return _scriptEngine; }

public slots:
    void handleFileDownloaded(const QString& url, bool isSuccessfulDownloaded, const QString& errorMessage);

private:
    std::shared_ptr<core::PackageFileDecoder> readDataPackage();
    static bool isDataPackageFolder(const QString& folder);
    bool packDataFolder(const QString& folder);
    bool loadJsonData(const core::PackageFileDecoder& package);
    void initProfileTypes();
    void loadFeatures(core::ProfileType* profileType) const;

    std::shared_ptr<core::ScriptEngine> _scriptEngine;
    std::shared_ptr<core::DeviceInfoDatabase> _products;
    std::shared_ptr<proto::DaliLookupTable> _daliLookupTable;
    std::map<std::string, std::shared_ptr<core::ProfileType>> _profileTypes;
    mutable std::mutex _firmwareCacheMutex;
    QStringList _firmwareCacheFileNames;          // guarded by _firmwareCacheMutex
    QMap<QString, QByteArray> _firmwareCacheData; // guarded by _firmwareCacheMutex
    std::shared_ptr<QHash<QString, proto::PacketLookupTable*>> _lookupTables;
    RemoteFirmwarePackageDownloader* _downloader; // child
    QString _packageFolder;
    QString _firmwareCacheFolder;
    // Built on the first profile-type request and shared by all profile types.
    mutable std::shared_ptr<core::DaliMemoryBankParameterRepository> _memoryBankParameters;
    mutable std::shared_ptr<core::FeatureRepository> _builtInFeatures;
    mutable std::set<std::string> _initializedProfileTypes;
};

} // namespace tarvesk::service
