#pragma once

#include "service/rpc_object.h"

#include <QString>

namespace tarvesk::core {
class Profile;
class ProfileType;
} // namespace tarvesk::core

namespace tarvesk::service {

// One stored profile: its identity, the driver it was made for, and its
// enabled parameters of exactly the given access level, by group and then
// display name.
class RpcTypeProfile : public RpcObject
{
public:
    RpcTypeProfile(core::Profile* profile, const QString& accessLevel);
};

// One profile type: its name (twice, as "name" and "display_name") and every
// parameter of its schema in schema order.
class RpcTypeProfileType : public RpcObject
{
public:
    explicit RpcTypeProfileType(core::ProfileType* profileType);
};

} // namespace tarvesk::service
