// The parameters of a DALI device: the IEC 62386-102 control gear set and the
// IEC 62386-207 LED module set (device type 6), as tables of the commands
// that read and store them.

#include "devices/dali_device.h"

#include "protocol/dali/dali_command_table.h"

#include <string_view>

namespace tarvesk::devices {

namespace {

using Dali = proto::DaliCommandTable;

enum Kind { Number, Bool };

struct Row
{
    const char* identifier;
    const char* displayName;
    const char* group;
    Kind kind;
    uchar query;
    uchar store; // 0: read-only
};

// Opcodes by name, checked while compiling.
constexpr uchar op(std::string_view name)
{
    return Dali::opcode(name);
}
constexpr uchar led(std::string_view name)
{
    return Dali::opcode(name, Dali::LedDeviceType);
}

// In the order of creation.
constexpr Row k102Rows[] = {
    {"dali_102_status", "Status", "102. Status", Number, op("QUERY STATUS"), 0},
    {"dali_102_control_gear", "Control gear", "102. Status", Bool, op("QUERY CONTROL GEAR PRESENT"), 0},
    {"dali_102_lamp_failure", "Lamp failure", "102. Status", Bool, op("QUERY LAMP FAILURE"), 0},
    {"dali_102_lamp_power_on", "Lamp power on", "102. Status", Bool, op("QUERY LAMP POWER ON"), 0},
    {"dali_102_limit_error", "Limit error", "102. Status", Bool, op("QUERY LIMIT ERROR"), 0},
    {"dali_102_reset_state", "Reset state", "102. Status", Bool, op("QUERY RESET STATE"), 0},
    {"dali_102_missing_short_address", "Missing short address", "102. Status", Bool,
        op("QUERY MISSING SHORT ADDRESS"), 0},
    {"dali_102_version_number", "Version number", "102. Info", Number, op("QUERY VERSION NUMBER"), 0},
    {"dali_102_device_type", "Device type", "102. Info", Number, op("QUERY DEVICE TYPE"), 0},
    {"dali_102_physical_minimum", "Physical minimum", "102. Info", Number, op("QUERY PHYSICAL MINIMUM"), 0},
    {"dali_102_power_failure", "Power failure", "102. Status", Bool, op("QUERY POWER FAILURE"), 0},
    {"dali_102_operating_mode", "Operating mode", "102. Info", Number, op("QUERY OPERATING MODE"), 0},
    // Written bit by bit with ADD TO GROUP / REMOVE FROM GROUP (the device's group handler).
    {"dali_102_group_0_7", "Group 0-7", "102. Config", Number, op("QUERY GROUPS 0-7"), op("ADD TO GROUP")},
    {"dali_102_group_8_15", "Group 8-15", "102. Config", Number, op("QUERY GROUPS 8-15"), op("ADD TO GROUP")},
    {"dali_102_light_source", "Light source", "102. Info", Number, op("QUERY LIGHT SOURCE TYPE"), 0},
    {"dali_102_actual_level", "Actual level", "102. Status", Number, op("QUERY ACTUAL LEVEL"), 0},
    {"dali_102_max_level", "Max level", "102. Config", Number, op("QUERY MAX LEVEL"), op("SET MAX LEVEL")},
    {"dali_102_min_level", "Min level", "102. Config", Number, op("QUERY MIN LEVEL"), op("SET MIN LEVEL")},
    {"dali_102_power_on_level", "Power on level", "102. Config", Number, op("QUERY POWER ON LEVEL"),
        op("SET POWER ON LEVEL")},
    {"dali_102_system_failure_level", "System failure level", "102. Config", Number,
        op("QUERY SYSTEM FAILURE LEVEL"), op("SET SYSTEM FAILURE LEVEL")},
    {"dali_102_manufacturer_specific_mode", "Manufacturer specific mode", "102. Config", Bool,
        op("QUERY MANUFACTURER SPECIFIC MODE"), 0},
    {"dali_102_random_address_h", "Random address h", "102. Config", Number, op("QUERY RANDOM ADDRESS (H)"),
        0},
    {"dali_102_random_address_m", "Random address m", "102. Config", Number, op("QUERY RANDOM ADDRESS (M)"),
        0},
    {"dali_102_random_address_l", "Random address l", "102. Config", Number, op("QUERY RANDOM ADDRESS (L)"),
        0},
};

constexpr int SceneCount = 16;

struct BankRow
{
    const char* identifier;
    const char* displayName;
    uchar location;
};

// Memory bank 0 (IEC 62386-102): GTIN and firmware version.
constexpr BankRow kBank0Rows[] = {
    {"dali_102_gtin_byte_0", "GTIN byte 0", 3},
    {"dali_102_gtin_byte_1", "GTIN byte 1", 4},
    {"dali_102_gtin_byte_2", "GTIN byte 2", 5},
    {"dali_102_gtin_byte_3", "GTIN byte 3", 6},
    {"dali_102_gtin_byte_4", "GTIN byte 4", 7},
    {"dali_102_gtin_byte_5", "GTIN byte 5", 8},
    {"version", "Firmware version (major)", 9},
    {"subversion", "Firmware version (minor)", 10},
};

constexpr Row k207Rows[] = {
    {"dali_207_gear_type", "Gear type", "207. Info", Number, led("QUERY GEAR TYPE"), 0},
    {"dali_207_dimming_curve", "Dimming curve", "207. Config", Number, led("QUERY DIMMING CURVE"),
        led("SELECT DIMMING CURVE")},
    {"dali_207_possible_operating_modes", "Possible operating modes", "207. Info", Number,
        led("QUERY POSSIBLE OPERATING MODES"), 0},
    {"dali_207_features", "Features", "207. Info", Number, led("QUERY FEATURES"), 0},
    {"dali_207_failure_status", "Failure status", "207. Status", Number, led("QUERY FAILURE STATUS"), 0},
    {"dali_207_short_circuit", "Short circuit", "207. Status", Bool, led("QUERY SHORT CIRCUIT"), 0},
    {"dali_207_open_circuit", "Open circuit", "207. Status", Bool, led("QUERY OPEN CIRCUIT"), 0},
    {"dali_207_load_decrease", "Load decrease", "207. Status", Bool, led("QUERY LOAD DECREASE"), 0},
    {"dali_207_load_increase", "Load_increase", "207. Status", Bool, led("QUERY LOAD INCREASE"), 0},
    {"dali_207_current_protector_active", "Current protector active", "207. Status", Bool,
        led("QUERY CURRENT PROTECTOR ACTIVE"), 0},
    {"dali_207_thermal_shutdown", "Thermal shutdown", "207. Status", Bool, led("QUERY THERMAL SHUT DOWN"), 0},
    {"dali_207_thermal_overload", "Thermal overload", "207. Status", Bool, led("QUERY THERMAL OVERLOAD"), 0},
    {"dali_207_reference_running", "Reference running", "207. Status", Bool, led("QUERY REFERENCE RUNNING"),
        0},
    {"dali_207_reference_measurement_failed", "Reference measurement failed", "207. Status", Bool,
        led("QUERY REFERENCE MEASUREMENT FAILED"), 0},
    {"dali_207_current_protector_enabled", "Current protector enabled", "207. Info", Bool,
        led("QUERY CURRENT PROTECTOR ENABLED"), 0},
    {"dali_207_operating_mode", "Operating mode", "207. Status", Number, led("QUERY OPERATING MODE"), 0},
    {"dali_207_fast_fade_time", "Fast fade time", "207. Config", Number, led("QUERY FAST FADE TIME"),
        led("STORE DTR AS FAST FADE TIME")},
    {"dali_207_min_fast_fade_time", "Min fast fade time", "207. Config", Number,
        led("QUERY MIN FAST FADE TIME"), 0},
    {"dali_207_extended_version_number", "Extended version number", "207. Info", Number,
        led("QUERY EXTENDED VERSION NUMBER"), 0},
};

} // namespace

void DaliDevice::addDali102Params()
{
    for (const Row& row : k102Rows) {
        if (row.kind == Bool)
            addBoolParameter(row.identifier, row.displayName, row.group, row.query, row.store, 0);
        else
            addIntParameter(row.identifier, row.displayName, row.group, row.query, row.store, 0);
    }
    for (int scene = 0; scene < SceneCount; ++scene) {
        addIntParameter(tr("dali_102_scene_level_%1").arg(scene), tr("Scene %1 level").arg(scene),
            QStringLiteral("102. Scenes"), uchar(op("QUERY SCENE LEVEL") + scene),
            uchar(op("SET SCENE") + scene), 0);
    }
    for (const BankRow& row : kBank0Rows)
        addMembankIntParameter(
            row.identifier, row.displayName, QStringLiteral("Memory bank 0"), 0, row.location);
}

void DaliDevice::addDali207Params()
{
    for (const Row& row : k207Rows) {
        const uchar type = Dali::LedDeviceType;
        if (row.kind == Bool)
            addBoolParameter(row.identifier, row.displayName, row.group, row.query, row.store, type);
        else
            addIntParameter(row.identifier, row.displayName, row.group, row.query, row.store, type);
    }
}

} // namespace tarvesk::devices
