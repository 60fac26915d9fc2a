#pragma once

namespace tarvesk::core {

// The kinds of repository that the product database holds.
enum class DeviceInfoDatabaseType {
    product = 0,
    oem = 1,
    features = 2,
    groups = 3,
};

} // namespace tarvesk::core
