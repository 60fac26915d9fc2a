#pragma once

namespace tarvesk::core {

// The kind of bus or interface.
enum InterfaceType : int {
    ITF_TYPE_UNKNOWN = 0,
    ITF_TYPE_USB = 1,
    ITF_TYPE_DMX = 2,
    ITF_TYPE_DALI = 3,
    ITF_TYPE_DORVANE = 4,
    ITF_TYPE_SCPI = 5,
    ITF_TYPE_SPI = 6,
    ITF_TYPE_BLE = 7,
    ITF_TYPE_TCP = 8,
    ITF_TYPE_DEFAULT = 253, // the universe's default interface in look-ups
    ITF_TYPE_VIRTUAL = 254,
    ITF_TYPE_ALL = 255 // matches every interface type in list filters
};

// What the hardware behind a bus interface supports (copied from the Vandrel device).
enum InterfaceCapability : int {
    ITF_CAP_DALI_REPLY_SUPPORT = 0,
    ITF_CAP_DV_MASTER = 1,
    ITF_CAP_DV2 = 2,
    ITF_CAP_DORVANE_ATOMIC_READ = 3,
    ITF_CAP_CORVALT_DALI = 4,
    ITF_CAP_CONFIG_DALI_SETTLING_TIME = 5,
    ITF_CAP_FACTORY = 6,
    ITF_CAP_EMBEDDED_BOOTLOADER_FUNCTIONS = 7,
    ITF_CAP_PARAM_GETSET = 8
};

extern const char* const ITF_TYPE_STR_UNKNOWN;
extern const char* const ITF_TYPE_STR_USB;
extern const char* const ITF_TYPE_STR_DMX;
extern const char* const ITF_TYPE_STR_DALI;
extern const char* const ITF_TYPE_STR_DORVANE;
extern const char* const
    ITF_TYPE_STR_DORVANE_WY; // Wystrel variant of the Dorvane family; no value of its own
extern const char* const ITF_TYPE_STR_SCPI;
extern const char* const ITF_TYPE_STR_SPI;
extern const char* const ITF_TYPE_STR_BLE;
extern const char* const ITF_TYPE_STR_TCP;
extern const char* const ITF_TYPE_STR_DEFAULT;
extern const char* const ITF_TYPE_STR_VIRTUAL;
extern const char* const ITF_TYPE_STR_ALL;

} // namespace tarvesk::core
