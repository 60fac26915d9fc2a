// Constants shared by the feature scripts.

var RAW_ITF_PRESMONDE = "presmonde";   // the driver firmware's parameter space
var RAW_ITF_RAM = "ram";               // RAM of an SPI logic module

var ADDR_OUTPUT_CURRENT = 81;
var ADDR_DIMMING_CURVE = 52;
var ADDR_DORVANE_ADDRESS = 10;
var ADDR_LIGHTSHAPE_ACTIVE = 105;
var ADDR_DMX_ADDRESS = 11;
var ADDR_DMX_PERSONALITY = 12;
var ADDR_WYSTREL_SYNC = 13;
var ADDR_MODULE_ID = 28;
var ADDR_MODULE_VERSION = 30;

var GROUP_OUTPUT = "Output";
var GROUP_DIMMING = "Dimming";
var GROUP_ADDRESSING = "Addressing";
var GROUP_LIGHTSHAPE = "LightShape";
var GROUP_DMX = "DMX";
var GROUP_MODULE = "Module";

var DIMMING_CURVES = ["Logarithmic", "Linear", "Piecewise", "Square law"];
var DMX_PERSONALITIES = ["1 channel", "2 channels", "4 channels", "8 bit + fine"];

// Status codes the callbacks return (the interface status table of the service).
var STATUS_OK = 0;
var STATUS_NO_DEVICE = -3;
var STATUS_INVALID_PARAMETER = -8;

// The driver parameters that the service builds in (their behaviour is fixed
// in code): core version, lightshape, start-up, DMX scenes and output limits.
var PRESMONDE_BUILTINS = [
    "core_version_string",
    "light_shaping_enable", "light_shaping_active", "light_shaping_dali_dim_curve_compliant",
    "light_shaping_version", "light_shaping_default_forward_voltages", "light_shaping_led_output_1",
    "light_shaping_led_output_2", "light_shaping_cct_balance_curve", "light_shaping_settings",
    "light_shaping_cct_max", "light_shaping_cct_min", "light_shaping_cct_output_1", "light_shaping_cct_output_2",
    "light_shaping_flux_output_1", "light_shaping_flux_output_2", "light_shaping_maximum_flux",
    "light_shaping_flux_optimization_method", "light_shaping_control_strategy",
    "light_shaping_forward_voltage_1", "light_shaping_forward_voltage_2", "light_shaping_dt8",
    "startup_force_480ms_fade", "extra_startup_delay", "startup_behaviour", "dmx_failure_behaviour",
    "scene_1_output_1", "scene_1_output_2", "scene_1_output_3", "scene_1_output_4",
    "scene_2_output_1", "scene_2_output_2", "scene_2_output_3", "scene_2_output_4",
    "cumulative_current", "equal_output"
];
