#pragma once

#include "core/interface_type.h"
#include "core/item.h"

#include <memory>

namespace tarvesk::core {

class DeviceInfoRecord;
class IProfileTypeParameters;

// The parameter schema of one kind of driver: its name (the item name), the
// product record it was made from, the interface family that reaches it, and
// the parameters that a profile of this type may hold.
class ProfileType : public Item
{
    Q_OBJECT

public:
    ProfileType(
        const QString& name, std::shared_ptr<IProfileTypeParameters> parameters, DeviceInfoRecord* record);

    static void initMeta();
    // The interface family of a name "CCOOPP_<product>_<interface>" (two
    // characters each of device class, OEM id and product id), lower case,
    // with "dorvane_wy" as "dorvane"; empty when the name does not fit.
    static QString getInterfaceTypeFromProfileTypeName(const QString& name);

    DeviceInfoRecord* getDeviceInfo() const { return _record; }
    QString getInterfaceTypeString() const { return _interfaceText; }
    // The interface family as an interface type (ITF_TYPE_UNKNOWN when it
    // names none).
    InterfaceType getInterfaceType() const;
    std::shared_ptr<IProfileTypeParameters> getParameters() const { return _parameters; }

private:
    const QString _interfaceText;
    DeviceInfoRecord* const _record; // not owned
    const std::shared_ptr<IProfileTypeParameters> _parameters;
};

} // namespace tarvesk::core
