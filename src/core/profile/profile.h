#pragma once

#include "core/item.h"

#include <QHash>
#include <QList>
#include <QString>

#include <string_view>

namespace tarvesk::core {

class IParameter;
class ProfileType;

// A named set of parameter values for one kind of driver. It holds its own
// copy of every parameter of its profile type's schema (value, limits, access
// level, enabled flag). The copies belong to the profile.
class Profile : public Item
{
    Q_OBJECT

public:
    using ParameterTable = QHash<QString, IParameter*>;

    // The version with which new profiles are made ("1.00").
    static constexpr int PROFILE_VERSION = 1;
    static constexpr int PROFILE_SUBVERSION = 0;

    // An empty identifier gets a new braced UUID. The profile type must not be null.
    Profile(const QString& name, QString description, ProfileType* profileType, QString driverTypeName,
        int driverOemId, int driverProductId, QString identifier, int versionMajor, int versionMinor);
    ~Profile() override;

    QString getDescription() const { return _description; }
    void setDescription(const QString& description) { _description = description; }
    ProfileType* getProfileType() const { return _profileType; }
    void setProfileType(ProfileType* profileType) { _profileType = profileType; }
    // The profile type's name (empty without a profile type).
    QString getTypeName() const;
    QString getVersionString() const { return _versionText; }
    void setVersion(int major, int minor);
    QString driverTypeName() const { return _driverTypeName; }
    void setDriverTypeName(const QString& name) { _driverTypeName = name; }
    int driverOemId() const { return _driverOemId; }
    void setDriverOemId(int oemId) { _driverOemId = oemId; }
    int driverProductId() const { return _driverProductId; }
    void setDriverProductId(int productId) { _driverProductId = productId; }
    QString getDateCreated() const { return _dateCreated; }
    void setDateCreated(const QString& date) { _dateCreated = date; }
    bool isLocked() const { return _locked; }
    void setLocked(bool locked) { _locked = locked; }
    QString getIdentifier() const { return _identifier; }
    bool isLightShapeActive() const { return _lightShapeActive; }

    int getParameterCount() const { return _parameters.size(); }
    IParameter* getParameter(const QString& identifier) const
    {
        return _parameters.value(identifier, nullptr);
    }
    // Stores a clone unless the identifier is already there; the caller keeps its object.
    void addParameter(IParameter* parameter);
    // Removes (and deletes) the copy of that identifier; the number removed.
    int removeParameter(const QString& identifier);
    // The enabled parameters whose access level equals the text exactly.
    QList<IParameter*> getParameters(std::string_view accessLevel) const;
    ParameterTable::const_iterator parameterBegin() const { return _parameters.cbegin(); }
    ParameterTable::const_iterator parameterEnd() const { return _parameters.cend(); }
    // Copies what the profile type's schema has and the table lacks.
    void initParameterList();

    // The C library's next pseudo-random number in lower-case hexadecimal.
    static QString generateControlTag();
    // "%1.%2" with the minor number at least two digits wide.
    static QString versionText(int major, int minor);

private:
    QString _description;
    ProfileType* _profileType = nullptr; // not owned
    QString _versionText;
    QString _driverTypeName;
    int _driverOemId = 0;
    int _driverProductId = 0;
    int _versionMajor = 0;
    int _versionMinor = 0;
    QString _dateCreated;
    bool _locked = false;
    QString _identifier;
    ParameterTable _parameters; // owned copies
    bool _lightShapeActive = false;
};

} // namespace tarvesk::core
