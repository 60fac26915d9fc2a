#pragma once

#include <QList>
#include <QString>

namespace tarvesk::core {
class Device;
class Profile;
} // namespace tarvesk::core

namespace tarvesk::service {

class RpcRequestParameter;

// What "uut.profile.program" and "uut.profile.verify" share: their
// parameters, the loaded profile by name and the check that it suits the
// device; and the device look-up of the production-test methods.
namespace api_profile {

// "device_id", "profile_name", "api_version", all required.
QList<RpcRequestParameter> inputParameters();
// The profile manager's profile of that name; throws JsonRpcException -32603
// "Profile %1 not yet loaded or does not exist." when there is none.
core::Profile* loadedProfile(const QString& name);
// The device manager's device of that id (connected or not); throws -32603
// "device %1 no longer available. connect device and execute uut.device.info
// command." when there is none.
core::Device* knownDevice(int id);
// Throws -32603 "Profile type does not match device type." unless the
// device's profile type has the profile's type name. A device without a
// profile type (the box, a DALI gear) never matches.
void requireSameProfileType(const core::Device& device, const core::Profile& profile);

} // namespace api_profile
} // namespace tarvesk::service
