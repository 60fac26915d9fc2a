#include "core/database/json_features_repository.h"

#include "core/core_errors.h"

namespace tarvesk::core {

void JsonFeaturesRepository::initializeRepository(const std::string& name, const std::string& json)
{
    const QJsonArray array = getArrayFromJson(name, "features", json);
    for (const QJsonValue& element : array) {
        if (!element.isObject())
            throw JsonParseError("JSON feature array contains non-object");
        const QJsonObject object = element.toObject();
        const std::string where = "JSON feature object";
        const std::string featureName = stringValue(object, "name", where).value_or(std::string());
        const std::string displayName = stringValue(object, "display_name", where).value_or(std::string());
        _items.emplace(featureName,
            std::make_shared<FeatureRecord>(featureName, displayName, std::vector<std::string>()));
    }
}

std::shared_ptr<FeatureRecord> JsonFeaturesRepository::getById(const std::string& featureName) const
{
    const auto it = _items.find(featureName);
    return it == _items.end() ? nullptr : it->second;
}

} // namespace tarvesk::core
