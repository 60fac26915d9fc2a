#pragma once

#include "core/item_list.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QString>

namespace tarvesk::service {
class AbstractDatabase;
}

namespace tarvesk::core {

class Profile;

// The process-wide list of the profiles read from the last stored profile
// array, and the reader that turns one profile JSON object into a Profile.
// No lock: only JSON-RPC methods use it, and they run one at a time.
class ProfileManager : public ItemList
{
public:
    static ProfileManager& instance();
    ~ProfileManager();

    // A copy of the stored profile array.
    static QJsonArray GetProfileArray();
    // The first element whose "name" equals the text exactly, or a JSON null.
    static QJsonValue GetJsonProfileByName(const QString& name);
    // A new profile (owned by the caller) from one profile object; status 0.
    // Null with status -150 when the database knows no profile type of its "type".
    static Profile* getProfileFromJsonString(
        service::AbstractDatabase* database, const QJsonValue& value, int& status);
    // Stores the array and replaces the list by the profiles read from it;
    // elements that cannot be read are left out.
    void SetProfileArray(service::AbstractDatabase* database, const QJsonArray& array);

    // The status of a profile whose type the database does not know.
    static constexpr int STATUS_UNKNOWN_PROFILE_TYPE = -150;

private:
    ProfileManager() = default;

    static QJsonArray profilesArray;
};

} // namespace tarvesk::core
