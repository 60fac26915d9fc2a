#include "core/database/json_oem_repository.h"

#include "core/core_errors.h"

#include <climits>

namespace tarvesk::core {

void JsonOemRepository::initializeRepository(const std::string& name, const std::string& json)
{
    const QJsonArray array = getArrayFromJson(name, "oem", json);
    for (const QJsonValue& element : array) {
        if (!element.isObject())
            throw JsonParseError("JSON oem array contains non-object");
        const QJsonObject object = element.toObject();
        const std::string where = "JSON oem object";
        // OEM ids are looked up as 8-bit values; a larger id could never be found.
        const auto oemId = integerValue(object, "oem_id", where, 0, 255);
        if (!oemId)
            throw JsonParseError("JSON oem object does not contain oem_id");
        const auto oemName = stringValue(object, "name", where);
        if (!oemName)
            throw JsonParseError("JSON oem object does not contain name");
        const int rdmId = int(integerValue(object, "rdm_id", where, INT_MIN, INT_MAX).value_or(0));
        _items.emplace(uint64_t(*oemId), std::make_shared<OemInfoRecord>(int(*oemId), *oemName, rdmId));
    }
}

std::shared_ptr<OemInfoRecord> JsonOemRepository::getById(uint64_t oemId) const
{
    const auto it = _items.find(oemId);
    return it == _items.end() ? nullptr : it->second;
}

} // namespace tarvesk::core
