#include "fake_product_database.h"

#include "core/database/device_info_database.h"
#include "core/parameters/iparameter.h"
#include "core/parameters/parameter_factory.h"
#include "core/profile/profile_type.h"
#include "core/profile/profile_type_parameters.h"
#include "log/logging_categories.h"

namespace tarvesk::test {

FakeProductDatabase::FakeProductDatabase(bool initializeResult)
    : _initializeResult(initializeResult)
    , _products(std::make_shared<core::DeviceInfoDatabase>())
{
    _products->initializeRepositories();
}

FakeProductDatabase::~FakeProductDatabase()
{
    qDeleteAll(_types);
}

void FakeProductDatabase::loadProducts(const std::string& json)
{
    _products->initDataFromString(core::DeviceInfoDatabaseType::product, "products", json);
}

void FakeProductDatabase::loadOems(const std::string& json)
{
    _products->initDataFromString(core::DeviceInfoDatabaseType::oem, "oem", json);
}

bool FakeProductDatabase::initialize(bool withFirmwareCache)
{
    ++initializeCalls;
    lastFirmwareCacheFlag = withFirmwareCache;
    return _initializeResult;
}

core::ProfileType* FakeProductDatabase::addProfileType(
    const QString& name, const QList<core::IParameter*>& parameters)
{
    auto schema
        = std::make_shared<core::ProfileTypeParameters>(nullptr, std::make_shared<core::ParameterFactory>());
    for (core::IParameter* parameter : parameters) {
        schema->addParameter(parameter);
        _parameters.emplace_back(parameter);
    }
    auto* type = new core::ProfileType(name, schema, nullptr);
    delete _types.value(name, nullptr);
    _types.insert(name, type);
    return type;
}

core::ProfileType* FakeProductDatabase::profileType(const QString& name) const
{
    _queries.append(name);
    core::ProfileType* type = _types.value(name, nullptr);
    if (!type)
        qCWarning(service::database()).noquote() << QStringLiteral("Unknown profile type \"%1\"").arg(name);
    return type;
}

} // namespace tarvesk::test
