// Constants shared by the feature scripts.

var RAW_ITF_PRESMONDE = "presmonde";   // the driver firmware's parameter space
var RAW_ITF_DORVANE_RAM = "dorvane_ram"; // RAM of a Dorvane driver
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
