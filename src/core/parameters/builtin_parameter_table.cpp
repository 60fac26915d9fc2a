#include "core/parameters/builtin_parameter_table.h"

namespace tarvesk::core {

// To enable a class once it exists: include its header and replace nullptr
// with &makeBuiltinParameter<ClassName>.
const std::array<BuiltinParameter, 36>& builtinParameters()
{
    static const std::array<BuiltinParameter, 36> table = {{
        {"light_shaping_enable", "LightShapeEnableParameter", nullptr},
        {"light_shaping_active", "LightShapeActiveParameter", nullptr},
        {"light_shaping_dali_dim_curve_compliant", "LightShapeDimCurveOverrideParameter", nullptr},
        {"light_shaping_version", "LightShapeVersionParameter", nullptr},
        {"light_shaping_default_forward_voltages", "LightShapeCustomVfParameter", nullptr},
        {"light_shaping_led_output_1", "LightShapeLedCurrentOutput1Parameter", nullptr},
        {"light_shaping_led_output_2", "LightShapeLedCurrentOutput2Parameter", nullptr},
        {"light_shaping_cct_balance_curve", "LightShapeCctBalanceCurveParameter", nullptr},
        {"light_shaping_settings", "LightShapeSettingsParameter", nullptr},
        {"light_shaping_cct_max", "LightShapeCctMaxParameter", nullptr},
        {"light_shaping_cct_min", "LightShapeCctMinParameter", nullptr},
        {"light_shaping_cct_output_1", "LightShapeCctOutput1Parameter", nullptr},
        {"light_shaping_cct_output_2", "LightShapeCctOutput2Parameter", nullptr},
        {"light_shaping_flux_output_1", "LightShapeLuminousFluxCs1Parameter", nullptr},
        {"light_shaping_flux_output_2", "LightShapeLuminousFluxCs2Parameter", nullptr},
        {"light_shaping_maximum_flux", "LightShapeMaximumLuminousFluxParameter", nullptr},
        {"light_shaping_flux_optimization_method", "LightShapeLuminousFluxOptimizationMethodParameter",
            nullptr},
        {"light_shaping_control_strategy", "LightShapeControlStrategyParameter", nullptr},
        {"light_shaping_forward_voltage_1", "LightShapeForwardVoltage1Parameter", nullptr},
        {"light_shaping_forward_voltage_2", "LightShapeForwardVoltage2Parameter", nullptr},
        {"light_shaping_dt8", "LightShapeIsDt8Parameter", nullptr},
        {"core_version_string", "CoreVersionStringParameter", nullptr},
        {"startup_force_480ms_fade", "ForceStartupFadeParameter", nullptr},
        {"extra_startup_delay", "ExtraStartupDelayParameter", nullptr},
        {"startup_behaviour", "StartupBehaviourParameter", nullptr},
        {"dmx_failure_behaviour", "DmxFailureBehaviourParameter", nullptr},
        {"scene_1_output_1", "DmxScene1Output1Parameter", nullptr},
        {"scene_1_output_2", "DmxScene1Output2Parameter", nullptr},
        {"scene_1_output_3", "DmxScene1Output3Parameter", nullptr},
        {"scene_1_output_4", "DmxScene1Output4Parameter", nullptr},
        {"scene_2_output_1", "DmxScene2Output1Parameter", nullptr},
        {"scene_2_output_2", "DmxScene2Output2Parameter", nullptr},
        {"scene_2_output_3", "DmxScene2Output3Parameter", nullptr},
        {"scene_2_output_4", "DmxScene2Output4Parameter", nullptr},
        {"cumulative_current", "CumulativeCurrentParameter", nullptr},
        {"equal_output", "EqualOutputParameter", nullptr},
    }};
    return table;
}

} // namespace tarvesk::core
