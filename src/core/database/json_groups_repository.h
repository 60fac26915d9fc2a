#pragma once

#include "core/database/group_record.h"
#include "core/database/repository_json.h"

#include <map>
#include <memory>

namespace tarvesk::core {

class JsonFeaturesRepository;

// Product groups by "dot_name", from files with the array "groups". A group's
// features become its own followed by those of its includes, depth first.
class JsonGroupsRepository : public RepositoryJson
{
public:
    void initializeRepository(const std::string& name, const std::string& json) override;

    std::shared_ptr<GroupRecord> getById(const std::string& key) const;

    // Appends the string list under the key (nothing when absent).
    static void getNameList(
        const QJsonObject& object, const std::string& key, std::vector<std::string>& list);

    // Resolves the includes of every group. An unknown include and an include
    // cycle (a group reaching itself) throw JsonParseError.
    void resolveFeatures(const std::shared_ptr<JsonFeaturesRepository>& features);
    void initializeGroup(
        const std::shared_ptr<GroupRecord>& group, const std::shared_ptr<JsonFeaturesRepository>& features);

private:
    void initializeGroup(const std::shared_ptr<GroupRecord>& group, std::vector<std::string>& path);

    std::map<std::string, std::shared_ptr<GroupRecord>> _items;
};

} // namespace tarvesk::core
