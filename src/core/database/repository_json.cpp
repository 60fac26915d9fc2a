#include "core/database/repository_json.h"

#include "core/core_errors.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <cmath>

namespace tarvesk::core {

namespace {

QString qkey(const std::string& key)
{
    return QString::fromStdString(key);
}

[[noreturn]] void throwValueError(
    const std::string& key, const std::string& where, const std::string& problem)
{
    throw JsonParseError("Value of " + key + " in " + where + " " + problem);
}

} // namespace

QJsonArray RepositoryJson::getArrayFromJson(
    const std::string& name, const std::string& arrayKey, const std::string& json)
{
    const std::string prefix = "[" + name + "] ";
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    if (error.error != QJsonParseError::NoError)
        throw JsonParseError(prefix + "Failed to parse JSON:" + error.errorString().toStdString());
    if (!document.isObject())
        throw JsonParseError(prefix + "JSON is not an object");
    const QJsonObject object = document.object();
    if (!object.contains(qkey(arrayKey)))
        throw JsonParseError(prefix + "JSON does not contain array \"" + arrayKey + "\"");
    const QJsonValue value = object.value(qkey(arrayKey));
    if (!value.isArray())
        throw JsonParseError(prefix + "JSON \"" + arrayKey + "\" is not an array");
    return value.toArray();
}

std::optional<int64_t> RepositoryJson::integerValue(
    const QJsonObject& object, const std::string& key, const std::string& where, int64_t min, int64_t max)
{
    if (!object.contains(qkey(key)))
        return std::nullopt;
    const QJsonValue value = object.value(qkey(key));
    const double number = value.toDouble();
    if (!value.isDouble() || !std::isfinite(number) || number != std::floor(number))
        throwValueError(key, where, "is not an integer");
    // Compared as doubles before any conversion, so that no value is ever cut down.
    if (number < double(min) || number > double(max))
        throwValueError(key, where,
            "is out of range " + std::to_string(min) + ".." + std::to_string(max) + ": "
                + QString::number(number, 'g', 17).toStdString());
    return int64_t(number);
}

std::optional<std::string> RepositoryJson::stringValue(
    const QJsonObject& object, const std::string& key, const std::string& where)
{
    if (!object.contains(qkey(key)))
        return std::nullopt;
    const QJsonValue value = object.value(qkey(key));
    if (!value.isString())
        throwValueError(key, where, "is not a string");
    return value.toString().toStdString();
}

std::optional<bool> RepositoryJson::booleanValue(
    const QJsonObject& object, const std::string& key, const std::string& where)
{
    if (!object.contains(qkey(key)))
        return std::nullopt;
    const QJsonValue value = object.value(qkey(key));
    if (!value.isBool())
        throwValueError(key, where, "is not a boolean");
    return value.toBool();
}

std::optional<std::vector<std::string>> RepositoryJson::stringListValue(
    const QJsonObject& object, const std::string& key, const std::string& where)
{
    if (!object.contains(qkey(key)))
        return std::nullopt;
    const QJsonValue value = object.value(qkey(key));
    if (!value.isArray())
        throwValueError(key, where, "is not an array");
    std::vector<std::string> list;
    const QJsonArray array = value.toArray();
    for (const QJsonValue& element : array) {
        if (!element.isString())
            throwValueError(key, where, "contains a value that is not a string");
        list.push_back(element.toString().toStdString());
    }
    return list;
}

} // namespace tarvesk::core
