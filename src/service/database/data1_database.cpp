#include "service/database/data1_database.h"

#include "core/core_errors.h"
#include "core/database/device_info_database.h"
#include "core/database/device_info_record.h"
#include "core/database/feature_repository.h"
#include "core/file/package_file_decoder.h"
#include "core/file/packaged_file_loader.h"
#include "core/itf_error.h"
#include "core/network_interface.h"
#include "core/parameters/dali/dali_memory_bank_parameter_repository.h"
#include "core/parameters/parameter.h"
#include "core/parameters/parameter_factory.h"
#include "core/parameters/raw_parameter_interface.h"
#include "core/profile/profile_type.h"
#include "core/profile/profile_type_parameters.h"
#include "core/script/feature_loader.h"
#include "core/script/script_engine.h"
#include "core/script/script_feature_loader.h"
#include "log/logging_categories.h"
#include "protocol/dali/dali_lookup_table.h"
#include "protocol/options.h"
#include "service/database/remote_firmware_package_downloader.h"
#include "service/string_exception.h"

#include <QDir>
#include <QFileInfo>
#include <set>
#include <vector>

namespace tarvesk::service {

namespace {

using core::DeviceInfoDatabaseType;

// The product-database files of the data package, in load order.
const std::pair<const char*, DeviceInfoDatabaseType> productDatabaseFiles[] = {
    {"oem", DeviceInfoDatabaseType::oem},
    {"features", DeviceInfoDatabaseType::features},
    {"groups_k3408_dorvane", DeviceInfoDatabaseType::groups},
    {"groups_corvalt_dorvane", DeviceInfoDatabaseType::groups},
    {"groups_dmx", DeviceInfoDatabaseType::groups},
    {"groups_dali", DeviceInfoDatabaseType::groups},
    // Ten product lines, then the general products, then the Wystrel DMX products.
    {"products_vandrel", DeviceInfoDatabaseType::product},
    {"products_k3408", DeviceInfoDatabaseType::product},
    {"products_corvalt", DeviceInfoDatabaseType::product},
    {"products_caspelink", DeviceInfoDatabaseType::product},
    {"products_dorvane_legacy", DeviceInfoDatabaseType::product},
    {"products_lumeris_dali", DeviceInfoDatabaseType::product},
    {"products_lumeris_d4i", DeviceInfoDatabaseType::product},
    {"products_stagebar_dmx", DeviceInfoDatabaseType::product},
    {"products_spi_modules", DeviceInfoDatabaseType::product},
    {"products_ostrevanne", DeviceInfoDatabaseType::product},
    {"products_general", DeviceInfoDatabaseType::product},
    {"products_wystrel_dmx", DeviceInfoDatabaseType::product},
};

const char GroupSortingFile[] = "data/product_database/group_sorting.json";
const char DaliCommandsFile[] = "data/protocol/dali_commands.json";

QString productDatabaseFile(const char* name)
{
    return QStringLiteral("data/product_database/%1.json").arg(QLatin1String(name));
}

// The files without which the service cannot start, as named in the package.
QStringList requiredPackageFiles()
{
    QStringList files;
    for (const auto& entry : productDatabaseFiles)
        files << productDatabaseFile(entry.first);
    files << QLatin1String(GroupSortingFile) << QLatin1String(DaliCommandsFile);
    return files;
}

// The interface kinds that get a profile type, in this order.
const core::DeviceInfoRecord::InterfaceType profileInterfaces[] = {
    core::DeviceInfoRecord::DORVANE_WY,
    core::DeviceInfoRecord::DORVANE,
    core::DeviceInfoRecord::DMX,
    core::DeviceInfoRecord::DMX_WY,
    core::DeviceInfoRecord::SPI,
    core::DeviceInfoRecord::BOOTLOADER,
};

std::string text(const QByteArray& bytes)
{
    return bytes.toStdString();
}

// Tries one loader; a failure is logged and answered with false.
bool tryLoader(const core::IFeatureLoader& loader, core::ProfileType* profileType, const std::string& feature)
{
    try {
        loader.loadFeature(profileType->getParameters().get(), profileType->getDeviceInfo(), feature);
        return true;
    } catch (const core::FeatureError& e) {
        qCWarning(database()).noquote() << "Failed to load feature: " + QString::fromUtf8(e.what());
    } catch (const std::exception& e) {
        // A fault outside the feature itself (a library file missing from the
        // package) must not break the profile type either.
        qCWarning(database()).noquote() << "Failed to load feature: " + QString::fromUtf8(e.what());
    }
    return false;
}

} // namespace

Data1Database::Data1Database()
    : _lookupTables(std::make_shared<QHash<QString, proto::PacketLookupTable*>>())
    , _downloader(new RemoteFirmwarePackageDownloader(this))
{
    _downloader->setTargetFileName(QStringLiteral("download.json"));
    _downloader->setCompress(false);
}

Data1Database::~Data1Database()
{
    // Profile types (and the script callbacks of their parameters) go before the engine.
    _profileTypes.clear();
    _scriptEngine.reset();
}

bool Data1Database::initialize(bool withFirmwareCache)
{
    try {
        const std::shared_ptr<core::PackageFileDecoder> package = readDataPackage();
        if (!package) {
            qCWarning(database()) << "Failed to read data1 package";
            return false;
        }
        if (!loadJsonData(*package))
            return false;
        registerTypesToUseInJsEngine();
        _scriptEngine = std::make_shared<core::ScriptEngine>(
            std::make_shared<core::PackagedFileLoader>(package), _daliLookupTable);
        initProfileTypes();
    } catch (const StringException& e) {
        qCCritical(database()).noquote() << "Could not read the data package: " + e.message();
        return false;
    } catch (const std::exception& e) {
        qCCritical(database()).noquote() << "Could not read the data package: " + QString::fromUtf8(e.what());
        return false;
    }
    if (withFirmwareCache)
        initFirmwareCache();
    return true;
}

std::shared_ptr<core::PackageFileDecoder> Data1Database::readDataPackage()
{
    const QString folder = _packageFolder.isEmpty() ? packageFilesPath() : _packageFolder;
    auto decoder = std::make_shared<core::PackageFileDecoder>(folder, QStringLiteral("data.1"));
    if (!decoder->exists()) {
        if (!QDir(folder + QStringLiteral("/data")).exists()) {
            qCCritical(database()) << "Data dir does not exist.";
            return nullptr;
        }
        if (!isDataPackageFolder(folder) || !packDataFolder(folder))
            return nullptr;
    }
    decoder->openAndDecodeFile();
    return decoder;
}

bool Data1Database::isDataPackageFolder(const QString& folder)
{
    // Another folder of that name (a build tree's own "data" folder, say)
    // would be packed into a package that fails every start, and deleted: it
    // is only taken when it holds what the service reads at start-up.
    for (const QString& file : requiredPackageFiles()) {
        if (!QFileInfo(folder + QLatin1Char('/') + file).isFile()) {
            qCCritical(database()).noquote() << "The data dir " + folder
                    + "/data is not a data package, it is left as it is: " + file + " is missing";
            return false;
        }
    }
    return true;
}

bool Data1Database::packDataFolder(const QString& folder)
{
    // The folder is the only copy of the data: it is removed only once the
    // package has been written in full and reads back exactly as packed.
    const QString dataFolder = folder + QStringLiteral("/data");
    qCDebug(database()) << "Trying to encode data dir.";
    core::PackageFileDecoder writer(folder, QStringLiteral("data.1"));
    try {
        writer.encodeDirToFile(dataFolder);
        core::PackageFileDecoder check(folder, QStringLiteral("data.1"));
        check.openAndDecodeFile();
        if (check.filesDataMap() != writer.filesDataMap())
            throw core::FileError("the package does not read back as packed");
    } catch (const core::FileError& e) {
        qCCritical(database()).noquote()
            << "Could not pack the data dir, it is kept: " + QString::fromUtf8(e.what());
        writer.deletePackageFile();
        return false;
    }
    qCDebug(database()) << "Removing data dir.";
    if (!QDir(dataFolder).removeRecursively())
        qCWarning(database()).noquote() << "Could not remove the data dir " + dataFolder;
    return true;
}

bool Data1Database::loadJsonData(const core::PackageFileDecoder& package)
{
    _products = std::make_shared<core::DeviceInfoDatabase>();
    _products->initializeRepositories();
    try {
        for (const auto& [name, type] : productDatabaseFiles) {
            _products->initDataFromString(
                type, name, text(package.fileToByteArray(productDatabaseFile(name))));
        }
        _products->initializeProductGroupSorting(
            "hello", text(package.fileToByteArray(QLatin1String(GroupSortingFile))));
        _products->resolveGroupsAndFeatures();
        _daliLookupTable = std::make_shared<proto::DaliLookupTable>();
        _daliLookupTable->initFromJsonData(package.fileToByteArray(QLatin1String(DaliCommandsFile)));
        _lookupTables->insert(QStringLiteral("DALI"), _daliLookupTable.get());
    } catch (const core::JsonParseError& e) {
        qCCritical(database()).noquote()
            << "Could not load device info database." + QString::fromUtf8(e.what());
        return false;
    }
    return true;
}

void Data1Database::registerTypesToUseInJsEngine()
{
    core::NetworkInterface::initMeta();
    core::Parameter::initMeta();
    core::RawParameterInterface::initMeta();
    core::errorInitMetaData();
    core::ProfileType::initMeta();
    proto::Options::initMeta();
}

void Data1Database::initProfileTypes()
{
    const auto factory = std::make_shared<core::ParameterFactory>();
    std::vector<std::shared_ptr<core::DeviceInfoRecord>> records;
    _products->getProductList(records);
    for (const auto& record : records) {
        const QString product = QString::fromStdString(record->getProductName());
        if (product.contains(QLatin1Char('_')))
            qCWarning(database()).noquote() << "Product name \"" + product
                    + "\" contains \"_\": its profile type names cannot be split into their parts";
        for (const auto type : profileInterfaces) {
            if (!record->hasInterfaceType(type))
                continue;
            const std::string name = record->getProfileName(type);
            if (_profileTypes.count(name)) {
                qCWarning(database()).noquote() << "Duplicate profile type name "
                        + QString::fromStdString(name) + ": the profile type of the first product is kept";
                continue;
            }
            auto parameters = std::make_shared<core::ProfileTypeParameters>(_scriptEngine, factory);
            _profileTypes.emplace(name,
                std::make_shared<core::ProfileType>(QString::fromStdString(name), parameters, record.get()));
            qCDebug(database()).noquote() << "created profile type: " + QString::fromStdString(name);
        }
    }
}

core::ProfileType* Data1Database::profileType(const QString& name) const
{
    const auto it = _profileTypes.find(name.toStdString());
    if (it == _profileTypes.end()) {
        qCWarning(database()).noquote()
            << QStringLiteral("Profile type %1 not found in DB. returning a nullptr @%2 %3")
                   .arg(name, __FILE__)
                   .arg(__LINE__);
        return nullptr;
    }
    // Features are loaded once: running the scripts again would only replace
    // the parameters that the first run made.
    if (_initializedProfileTypes.insert(it->first).second) {
        qCDebug(database()).noquote() << QStringLiteral("initializing profile type %1").arg(name);
        loadFeatures(it->second.get());
    }
    return it->second.get();
}

void Data1Database::loadFeatures(core::ProfileType* profileType) const
{
    if (!_memoryBankParameters) {
        auto repository = std::make_shared<core::DaliMemoryBankParameterRepository>();
        const std::shared_ptr<core::IParameterRepository> parameters = repository;
        core::loadDaliMemoryBanksForPart250(parameters);
        core::loadDaliMemoryBanksForPart251(parameters);
        core::loadDaliMemoryBanksForPart252(parameters);
        core::loadDaliMemoryBanksForPart253(parameters);
        _memoryBankParameters = repository;
        _builtInFeatures = std::make_shared<core::FeatureRepository>();
        core::loadFeaturesForD4i(_builtInFeatures);
    }
    const core::ScriptFeatureLoader scripted(_scriptEngine);
    const core::FeatureLoader builtIn(_builtInFeatures, _memoryBankParameters);
    std::set<std::string> done; // a group reached twice lists its features twice
    for (const std::string& feature : profileType->getDeviceInfo()->getFeatures()) {
        if (!done.insert(feature).second)
            continue;
        if (tryLoader(scripted, profileType, feature) || tryLoader(builtIn, profileType, feature))
            continue;
        qCCritical(database()).noquote() << "Failed to load feature: " + QString::fromStdString(feature);
    }
}

QStringList Data1Database::profileTypeNames() const
{
    QStringList names;
    for (const auto& entry : _profileTypes)
        names << QString::fromStdString(entry.first);
    return names;
}

std::shared_ptr<core::DeviceInfoDatabase> Data1Database::products() const
{
    return _products;
}

QHash<QString, proto::PacketLookupTable*>* Data1Database::lookupTables() const
{
    return _lookupTables.get();
}

QStringList Data1Database::firmwareCacheFileNames() const
{
    std::lock_guard<std::mutex> lock(_firmwareCacheMutex);
    return _firmwareCacheFileNames;
}

QMap<QString, QByteArray> Data1Database::firmwareCacheData() const
{
    std::lock_guard<std::mutex> lock(_firmwareCacheMutex);
    return _firmwareCacheData;
}

void Data1Database::initFirmwareCache() const
{
    connect(_downloader, &RemoteFirmwarePackageDownloader::result, this, &Data1Database::handleFileDownloaded,
        Qt::UniqueConnection);
    _downloader->execute();
}

void Data1Database::handleFileDownloaded(
    const QString& url, bool isSuccessfulDownloaded, const QString& errorMessage)
{
    if (!isSuccessfulDownloaded) {
        qCDebug(database()).noquote()
            << QStringLiteral("error: download failed: %1 (url: %2)").arg(errorMessage, url);
        return;
    }
    const QString folder = _firmwareCacheFolder.isEmpty() ? firmwareCachePath() : _firmwareCacheFolder;
    core::PackageFileDecoder decoder(folder, QStringLiteral("fw.pak"));
    try {
        decoder.openAndDecodeFile();
    } catch (const core::FileError& e) {
        qCWarning(database()).noquote()
            << "The firmware package is unusable, the firmware cache is kept: " + QString::fromUtf8(e.what());
        decoder.deletePackageFile();
        return;
    }
    decoder.deletePackageFile();
    if (decoder.fileNames().isEmpty()) {
        qCWarning(database()) << "The firmware package holds no files, the firmware cache is kept";
        return;
    }
    {
        std::lock_guard<std::mutex> lock(_firmwareCacheMutex);
        _firmwareCacheFileNames = decoder.fileNames();
        _firmwareCacheData = decoder.filesDataMap();
    }
    qCDebug(database()) << "firmware cache has following files:" << decoder.fileNames();
    qCDebug(database()) << "firmware cache data in data1_db initialized";
}

} // namespace tarvesk::service
