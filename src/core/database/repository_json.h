#pragma once

#include "core/database/repository_interface.h"

#include <QJsonArray>
#include <QJsonObject>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvesk::core {

// Base of the JSON repositories: reads a file's array and the typed values of
// its entries. A value of the wrong type, a number that is not an integer or
// that lies outside the range of the field that stores it is a JsonParseError:
// the product database must never wrap an id silently into another product's.
class RepositoryJson : public RepositoryInterface
{
public:
    // The array member arrayKey of the JSON object text; messages begin with
    // "[name] ".
    static QJsonArray getArrayFromJson(
        const std::string& name, const std::string& arrayKey, const std::string& json);

protected:
    // Each answers nothing when the key is absent and throws JsonParseError
    // "Value of <key> in <where> ..." when it holds a value of the wrong kind.
    static std::optional<int64_t> integerValue(const QJsonObject& object, const std::string& key,
        const std::string& where, int64_t min, int64_t max);
    static std::optional<std::string> stringValue(
        const QJsonObject& object, const std::string& key, const std::string& where);
    static std::optional<bool> booleanValue(
        const QJsonObject& object, const std::string& key, const std::string& where);
    static std::optional<std::vector<std::string>> stringListValue(
        const QJsonObject& object, const std::string& key, const std::string& where);
};

} // namespace tarvesk::core
