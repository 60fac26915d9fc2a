#pragma once

#include "service/rpc_object.h"

#include <memory>

namespace tarvesk::core {
class DeviceInfoDatabase;
class DeviceInfoRecord;
} // namespace tarvesk::core

namespace tarvesk::service {

// One product record of the product database, with the profile types of its
// profile-capable interfaces. "oem" is "" when the database has no OEM record.
class RpcTypeDeviceInfoRecord : public RpcObject
{
public:
    RpcTypeDeviceInfoRecord(const std::shared_ptr<core::DeviceInfoDatabase>& database,
        const std::shared_ptr<core::DeviceInfoRecord>& record);
};

} // namespace tarvesk::service
