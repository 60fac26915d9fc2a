// Feature scripts: enableFeature(parameters, record, featureName) adds the
// parameters of one feature to a profile type. It answers true when it enabled
// the feature and false for a feature that it does not know (the service then
// tries its built-in features, such as the D4i memory banks).

// The options of an enum parameter, or null for other parameters. An enum
// parameter holds the name of an option; the driver holds its index.
function enumOptionsOf(parameter) {
    var options = parameter.enumOptions;
    return options && options.length > 0 ? options : null;
}

// What the driver holds for a value: the index of an option's name (an index
// itself is taken as well), the value itself for other parameters; null for
// a value that names no option.
function rawValueOf(parameter, value) {
    var options = enumOptionsOf(parameter);
    if (options === null)
        return value;
    var index = options.indexOf(String(value));
    if (index >= 0)
        return index;
    if (typeof value === "number" && value % 1 === 0 && value >= 0 && value < options.length)
        return value;
    return null;
}

// Reads a parameter's raw value through the raw interface that it names.
function readRaw(device, parameter) {
    var itf = device.getRawParameterInterface(parameter.rawInterface);
    if (itf === null)
        return STATUS_NO_DEVICE;
    var status = itf.getParamWrapper(parameter, parameter.address);
    if (status !== STATUS_OK)
        return status;
    var raw = itf.getLastAnswer() & parameter.bitmask;
    var options = enumOptionsOf(parameter);
    parameter.actualValue = options !== null && raw < options.length ? options[raw] : raw;
    return STATUS_OK;
}

// Writes a value to a parameter's raw place, keeping the bits outside its mask.
function writeRaw(device, parameter, value) {
    var raw = rawValueOf(parameter, value);
    if (raw === null)
        return STATUS_INVALID_PARAMETER;
    var itf = device.getRawParameterInterface(parameter.rawInterface);
    if (itf === null)
        return STATUS_NO_DEVICE;
    var status = itf.getParamWrapper(parameter, parameter.address);
    if (status !== STATUS_OK)
        return status;
    var word = (itf.getLastAnswer() & ~parameter.bitmask) | (raw & parameter.bitmask);
    status = itf.setParamWrapper(parameter, parameter.address, word >>> 0);
    if (status === STATUS_OK) {
        var options = enumOptionsOf(parameter);
        parameter.actualValue = options !== null ? options[raw] : value;
    }
    return status;
}

// Adds one parameter reached through a raw interface.
function addRawParameter(parameters, feature, def) {
    var p = requireParameter(feature, parameters.addParameterByName(def.id), def.id);
    p.displayName = def.name;
    p.group = def.group;
    p.setParameterTypeEnum(def.type || "PARAM_TYPE_NUMBER");
    if (def.unit)
        p.setParameterUnitEnum(def.unit);
    p.setResolutionEnum(def.resolution || "ITF_RES_BYTE");
    if (def.min !== undefined)
        p.minValue = def.min;
    if (def.max !== undefined)
        p.maxValue = def.max;
    if (def.options) {
        for (var i = 0; i < def.options.length; ++i)
            p.addEnumOption(def.options[i]);
    }
    if (def.defaultValue !== undefined)
        p.setDefaultValue(def.options && typeof def.defaultValue === "number" ? def.options[def.defaultValue]
                                                                              : def.defaultValue);
    p.rawInterface = def.rawInterface || RAW_ITF_PRESMONDE;
    p.address = def.address;
    p.accessLevel = def.accessLevel || "oem";
    p.getCallback = readRaw;
    p.setCallback = writeRaw;
    return p;
}

var FEATURES = {
    output_current: function (parameters, record, feature) {
        var max = record.hasAttribute("max_current") ? record.getAttribute("max_current") : 1000;
        addRawParameter(parameters, feature, {
            id: "output_current", name: "Output current", group: GROUP_OUTPUT, unit: "PARAM_UNIT_MILLIAMPERE",
            resolution: "ITF_RES_WORD", min: 100, max: max, defaultValue: Math.min(350, max),
            address: ADDR_OUTPUT_CURRENT
        });
        return true;
    },
    dimming_curve: function (parameters, record, feature) {
        addRawParameter(parameters, feature, {
            id: "dimming_curve", name: "Dimming curve", group: GROUP_DIMMING, type: "PARAM_TYPE_ENUM",
            options: DIMMING_CURVES, defaultValue: 0, address: ADDR_DIMMING_CURVE, accessLevel: "user_detailed"
        });
        return true;
    },
    dorvane_address: function (parameters, record, feature) {
        addRawParameter(parameters, feature, {
            id: "dorvane_address", name: "Dorvane address", group: GROUP_ADDRESSING, min: 0, max: 63,
            address: ADDR_DORVANE_ADDRESS, accessLevel: "user_basic"
        });
        return true;
    },
    lightshape_basic: function (parameters, record, feature) {
        addRawParameter(parameters, feature, {
            id: "lightshape_enabled", name: "Lightshape enabled", group: GROUP_LIGHTSHAPE,
            type: "PARAM_TYPE_BOOLEAN", defaultValue: false, address: ADDR_LIGHTSHAPE_ACTIVE
        });
        return true;
    },
    presmonde_builtins: function (parameters, record, feature) {
        // The service makes these by identifier, each with its own behaviour.
        for (var i = 0; i < PRESMONDE_BUILTINS.length; ++i)
            requireParameter(feature, parameters.addParameterByName(PRESMONDE_BUILTINS[i]), PRESMONDE_BUILTINS[i]);
        return true;
    },
    dmx_address: function (parameters, record, feature) {
        addRawParameter(parameters, feature, {
            id: "dmx_start_address", name: "DMX start address", group: GROUP_DMX, resolution: "ITF_RES_WORD",
            min: 1, max: 512, defaultValue: 1, address: ADDR_DMX_ADDRESS, accessLevel: "user_basic"
        });
        return true;
    },
    dmx_personality: function (parameters, record, feature) {
        addRawParameter(parameters, feature, {
            id: "dmx_personality", name: "DMX personality", group: GROUP_DMX, type: "PARAM_TYPE_ENUM",
            options: DMX_PERSONALITIES.slice(0, Math.max(1, record.getAttribute("output_count") || 1)),
            defaultValue: 0, address: ADDR_DMX_PERSONALITY
        });
        return true;
    },
    rdm_identify: function (parameters, record, feature) {
        addRawParameter(parameters, feature, {
            id: "rdm_identify", name: "Identify", group: GROUP_DMX, type: "PARAM_TYPE_BOOLEAN",
            defaultValue: false, address: ADDR_DMX_PERSONALITY + 1, accessLevel: "user_basic"
        });
        return true;
    },
    wystrel_sync: function (parameters, record, feature) {
        addRawParameter(parameters, feature, {
            id: "wystrel_sync", name: "Wystrel synchronisation", group: GROUP_DMX, type: "PARAM_TYPE_BOOLEAN",
            defaultValue: true, address: ADDR_WYSTREL_SYNC
        });
        return true;
    },
    dali_levels: function (parameters, record, feature) {
        // Levels are kept as percentages; the DALI arc levels come from the lookup table's curve.
        var min = addRawParameter(parameters, feature, {
            id: "dali_min_level_percent", name: "Minimum level", group: GROUP_DIMMING, unit: "PARAM_UNIT_PERCENTAGE",
            min: 0.1, max: 100, address: dali_lookup_table.getCommand("QUERY_MIN_LEVEL"), accessLevel: "user_basic"
        });
        min.setDefaultValue(dali_lookup_table.levelToPerc("dali", 1, 0));
        var max = addRawParameter(parameters, feature, {
            id: "dali_max_level_percent", name: "Maximum level", group: GROUP_DIMMING, unit: "PARAM_UNIT_PERCENTAGE",
            min: 0.1, max: 100, address: dali_lookup_table.getCommand("QUERY_MAX_LEVEL"), accessLevel: "user_basic"
        });
        max.setDefaultValue(dali_lookup_table.levelToPerc("dali", 254, 0));
        return true;
    },
    spi_module_info: function (parameters, record, feature) {
        var id = addRawParameter(parameters, feature, {
            id: "module_product_id", name: "Module product id", group: GROUP_MODULE, resolution: "ITF_RES_WORD",
            rawInterface: RAW_ITF_RAM, address: ADDR_MODULE_ID
        });
        id.readOnly = true;
        var version = addRawParameter(parameters, feature, {
            id: "module_version", name: "Module version", group: GROUP_MODULE, resolution: "ITF_RES_WORD",
            rawInterface: RAW_ITF_RAM, address: ADDR_MODULE_VERSION
        });
        version.readOnly = true;
        return true;
    }
};

function enableFeature(parameters, record, featureName) {
    var enable = FEATURES[featureName];
    if (enable === undefined)
        return false;
    return enable(parameters, record, featureName);
}
