#include "core/database/json_product_repository.h"

#include "core/core_errors.h"
#include "core/database/json_groups_repository.h"

#include <QDebug>
#include <climits>

namespace tarvesk::core {

void JsonProductRepository::initializeRepository(const std::string& name, const std::string& json)
{
    const QJsonArray array = getArrayFromJson(name, "products", json);
    for (const QJsonValue& element : array) {
        if (!element.isObject())
            throw JsonParseError("[" + name + "] JSON products array contains non-object");
        parseAndAddProduct(element.toObject());
    }
}

std::shared_ptr<DeviceInfoRecord> JsonProductRepository::parseAndAddProduct(const QJsonObject& object)
{
    // Ids are stored in 8 bits and versions in 16: a value outside that range
    // is rejected rather than wrapped onto another product.
    const auto oemId = getRequiredInteger(object, "oem_id", 0, 255);
    const auto productId = getRequiredInteger(object, "product_id", 0, 255);
    const auto minVersion = getOptionalInteger(object, "min_version", 1, 0, 65535);
    const auto deviceClass = getRequiredInteger(object, "device_class", 0, 255);
    const std::string name = getRequiredString(object, "name");

    auto record = std::make_shared<DeviceInfoRecord>(
        object, uint8_t(deviceClass), uint8_t(oemId), uint8_t(productId), uint16_t(minVersion), name);
    record->setNordhuneCount(int(getOptionalInteger(object, "nordhune_count", 0, 0, INT_MAX)));
    record->setOutputCount(int(getOptionalInteger(object, "output_count", 0, 0, INT_MAX)));
    record->setIsImd(getOptionalBoolean(object, "is_imd", false));
    record->setSingleChannelVersion(int(getOptionalInteger(object, "single_channel_version", 0, 0, INT_MAX)));
    record->setAuxVersion(int(getOptionalInteger(object, "aux_version", 0, 0, INT_MAX)));
    record->setProductGroup(getOptionalString(object, "product_group", "none"));
    record->setProfileSupport(getOptionalBoolean(object, "profile_support", false));

    const auto interfaces = stringListValue(object, "interface_type", where(object));
    if (interfaces) {
        for (const std::string& type : *interfaces)
            record->addInterfaceType(type);
    }
    if (object.contains(QStringLiteral("form_factors"))) {
        const QJsonValue formFactors = object.value(QStringLiteral("form_factors"));
        if (!formFactors.isArray())
            throw JsonParseError("Value of form_factors in " + where(object) + " is not an array");
        const QJsonArray array = formFactors.toArray();
        for (const QJsonValue& value : array)
            parseFormFactorValue(record, value);
    }

    const uint64_t key = DeviceInfoRecord::getUniqueProductId(
        record->getDeviceClass(), record->getOemId(), record->getProductId(), record->getMinimumVersion());
    _items.emplace(key, record);

    std::vector<std::string> groups;
    getDeviceGroups(object, groups);
    record->setGroups(groups);
    return record;
}

void JsonProductRepository::getDeviceGroups(const QJsonObject& object, std::vector<std::string>& groups)
{
    if (!object.contains(QStringLiteral("groups")))
        return;
    const QJsonValue value = object.value(QStringLiteral("groups"));
    if (!value.isArray())
        throw JsonParseError("Value of groups in " + where(object) + " is not an array");
    const std::string device = "Device '" + productName(object) + "' : ";
    const QJsonArray array = value.toArray();
    for (const QJsonValue& element : array) {
        if (!element.isObject())
            throw JsonParseError(device + "JSON group is not an object");
        const QJsonObject group = element.toObject();
        if (!group.contains(QStringLiteral("profile")))
            throw JsonParseError(device + "JSON group does not contain profile");
        if (!group.value(QStringLiteral("profile")).isString())
            throw JsonParseError(device + "JSON group profile is not a string");
        groups.push_back(group.value(QStringLiteral("profile")).toString().toStdString());
    }
}

void JsonProductRepository::parseFormFactorValue(
    const std::shared_ptr<DeviceInfoRecord>& record, const QJsonValue& value)
{
    if (!value.isObject() || !value.toObject().contains(QStringLiteral("datastore_value"))) {
        qWarning().noquote() << QStringLiteral(
            "Product '%1': form factor entry without datastore_value skipped")
                                    .arg(QString::fromStdString(record->getProductName()));
        return;
    }
    const QJsonObject object = value.toObject();
    const std::string where = "form factor of product " + record->getProductName();
    const auto index = integerValue(object, "datastore_value", where, 0, 255);
    const std::string name = stringValue(object, "name", where).value_or(std::string());
    record->addFormFactor(uint8_t(*index), name);
}

int64_t JsonProductRepository::getRequiredInteger(
    const QJsonObject& object, const std::string& key, int64_t min, int64_t max)
{
    const auto value = integerValue(object, key, where(object), min, max);
    if (!value)
        throw JsonParseError("Can't find required " + key + " in object with name " + productName(object));
    return *value;
}

std::string JsonProductRepository::getRequiredString(const QJsonObject& object, const std::string& key)
{
    const auto value = stringValue(object, key, where(object));
    if (!value)
        throw JsonParseError("Can't find required " + key + " in object with name " + productName(object));
    return *value;
}

int64_t JsonProductRepository::getOptionalInteger(
    const QJsonObject& object, const std::string& key, int64_t defaultValue, int64_t min, int64_t max)
{
    return integerValue(object, key, where(object), min, max).value_or(defaultValue);
}

bool JsonProductRepository::getOptionalBoolean(
    const QJsonObject& object, const std::string& key, bool defaultValue)
{
    return booleanValue(object, key, where(object)).value_or(defaultValue);
}

std::string JsonProductRepository::getOptionalString(
    const QJsonObject& object, const std::string& key, const std::string& defaultValue)
{
    return stringValue(object, key, where(object)).value_or(defaultValue);
}

std::string JsonProductRepository::productName(const QJsonObject& object)
{
    return object.value(QStringLiteral("name")).toString().toStdString();
}

std::string JsonProductRepository::where(const QJsonObject& object)
{
    return "object with name " + productName(object);
}

std::shared_ptr<DeviceInfoRecord> JsonProductRepository::getById(uint64_t key) const
{
    const auto it = _items.find(key);
    return it == _items.end() ? nullptr : it->second;
}

void JsonProductRepository::getItems(std::vector<std::shared_ptr<DeviceInfoRecord>>& items) const
{
    for (const auto& entry : _items)
        items.push_back(entry.second);
}

unsigned short JsonProductRepository::getMaximumMinVersion(
    unsigned char deviceClass, unsigned char oemId, unsigned char productId, unsigned short version) const
{
    // Keys order records by product and then by minimum version, so the record
    // that applies is the last one at or below (product, version).
    auto it
        = _items.upper_bound(DeviceInfoRecord::getUniqueProductId(deviceClass, oemId, productId, version));
    if (it == _items.begin())
        return 0;
    --it;
    const DeviceInfoRecord& record = *it->second;
    if (record.getDeviceClass() != deviceClass || record.getOemId() != oemId
        || record.getProductId() != productId)
        return 0;
    return record.getMinimumVersion();
}

std::shared_ptr<DeviceInfoRecord> JsonProductRepository::findRecord(
    unsigned char deviceClass, unsigned char oemId, unsigned char productId, unsigned short version) const
{
    const unsigned short minVersion = getMaximumMinVersion(deviceClass, oemId, productId, version);
    return getById(DeviceInfoRecord::getUniqueProductId(deviceClass, oemId, productId, minVersion));
}

void JsonProductRepository::resolveGroupsAndFeatures(
    const std::shared_ptr<JsonGroupsRepository>& groups) const
{
    for (const auto& entry : _items) {
        for (const std::string& key : entry.second->getGroups()) {
            const auto group = groups->getById(key);
            if (!group)
                throw JsonParseError("Group '" + key + "' not found");
            entry.second->addFeatures(group->getFeatures());
        }
    }
}

} // namespace tarvesk::core
