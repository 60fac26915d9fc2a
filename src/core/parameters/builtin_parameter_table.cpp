#include "core/parameters/builtin_parameter_table.h"

#include "core/parameters/datastore/core_version_string_parameter.h"
#include "core/parameters/datastore/dmx_scene_parameters.h"
#include "core/parameters/datastore/lightshape_cct_balance_curve_parameter.h"
#include "core/parameters/datastore/lightshape_input_parameters.h"
#include "core/parameters/datastore/lightshape_settings_parameter.h"
#include "core/parameters/datastore/lightshape_switch_parameters.h"
#include "core/parameters/datastore/startup_parameters.h"

namespace tarvesk::core {

const std::array<BuiltinParameter, 36>& builtinParameters()
{
    static const std::array<BuiltinParameter, 36> table = {{
        {"light_shaping_enable", "LightShapeEnableParameter",
            &makeBuiltinParameter<LightShapeEnableParameter>},
        {"light_shaping_active", "LightShapeActiveParameter",
            &makeBuiltinParameter<LightShapeActiveParameter>},
        {"light_shaping_dali_dim_curve_compliant", "LightShapeDimCurveOverrideParameter",
            &makeBuiltinParameter<LightShapeDimCurveOverrideParameter>},
        {"light_shaping_version", "LightShapeVersionParameter",
            &makeBuiltinParameter<LightShapeVersionParameter>},
        {"light_shaping_default_forward_voltages", "LightShapeCustomVfParameter",
            &makeBuiltinParameter<LightShapeCustomVfParameter>},
        {"light_shaping_led_output_1", "LightShapeLedCurrentOutput1Parameter",
            &makeBuiltinParameter<LightShapeLedCurrentOutput1Parameter>},
        {"light_shaping_led_output_2", "LightShapeLedCurrentOutput2Parameter",
            &makeBuiltinParameter<LightShapeLedCurrentOutput2Parameter>},
        {"light_shaping_cct_balance_curve", "LightShapeCctBalanceCurveParameter",
            &makeBuiltinParameter<LightShapeCctBalanceCurveParameter>},
        {"light_shaping_settings", "LightShapeSettingsParameter",
            &makeBuiltinParameter<LightShapeSettingsParameter>},
        {"light_shaping_cct_max", "LightShapeCctMaxParameter",
            &makeBuiltinParameter<LightShapeCctMaxParameter>},
        {"light_shaping_cct_min", "LightShapeCctMinParameter",
            &makeBuiltinParameter<LightShapeCctMinParameter>},
        {"light_shaping_cct_output_1", "LightShapeCctOutput1Parameter",
            &makeBuiltinParameter<LightShapeCctOutput1Parameter>},
        {"light_shaping_cct_output_2", "LightShapeCctOutput2Parameter",
            &makeBuiltinParameter<LightShapeCctOutput2Parameter>},
        {"light_shaping_flux_output_1", "LightShapeLuminousFluxCs1Parameter",
            &makeBuiltinParameter<LightShapeLuminousFluxCs1Parameter>},
        {"light_shaping_flux_output_2", "LightShapeLuminousFluxCs2Parameter",
            &makeBuiltinParameter<LightShapeLuminousFluxCs2Parameter>},
        {"light_shaping_maximum_flux", "LightShapeMaximumLuminousFluxParameter",
            &makeBuiltinParameter<LightShapeMaximumLuminousFluxParameter>},
        {"light_shaping_flux_optimization_method", "LightShapeLuminousFluxOptimizationMethodParameter",
            &makeBuiltinParameter<LightShapeLuminousFluxOptimizationMethodParameter>},
        {"light_shaping_control_strategy", "LightShapeControlStrategyParameter",
            &makeBuiltinParameter<LightShapeControlStrategyParameter>},
        {"light_shaping_forward_voltage_1", "LightShapeForwardVoltage1Parameter",
            &makeBuiltinParameter<LightShapeForwardVoltage1Parameter>},
        {"light_shaping_forward_voltage_2", "LightShapeForwardVoltage2Parameter",
            &makeBuiltinParameter<LightShapeForwardVoltage2Parameter>},
        {"light_shaping_dt8", "LightShapeIsDt8Parameter", &makeBuiltinParameter<LightShapeIsDt8Parameter>},
        {"core_version_string", "CoreVersionStringParameter",
            &makeBuiltinParameter<CoreVersionStringParameter>},
        {"startup_force_480ms_fade", "ForceStartupFadeParameter",
            &makeBuiltinParameter<ForceStartupFadeParameter>},
        {"extra_startup_delay", "ExtraStartupDelayParameter",
            &makeBuiltinParameter<ExtraStartupDelayParameter>},
        {"startup_behaviour", "StartupBehaviourParameter", &makeBuiltinParameter<StartupBehaviourParameter>},
        {"dmx_failure_behaviour", "DmxFailureBehaviourParameter",
            &makeBuiltinParameter<DmxFailureBehaviourParameter>},
        {"scene_1_output_1", "DmxScene1Output1Parameter", &makeBuiltinParameter<DmxScene1Output1Parameter>},
        {"scene_1_output_2", "DmxScene1Output2Parameter", &makeBuiltinParameter<DmxScene1Output2Parameter>},
        {"scene_1_output_3", "DmxScene1Output3Parameter", &makeBuiltinParameter<DmxScene1Output3Parameter>},
        {"scene_1_output_4", "DmxScene1Output4Parameter", &makeBuiltinParameter<DmxScene1Output4Parameter>},
        {"scene_2_output_1", "DmxScene2Output1Parameter", &makeBuiltinParameter<DmxScene2Output1Parameter>},
        {"scene_2_output_2", "DmxScene2Output2Parameter", &makeBuiltinParameter<DmxScene2Output2Parameter>},
        {"scene_2_output_3", "DmxScene2Output3Parameter", &makeBuiltinParameter<DmxScene2Output3Parameter>},
        {"scene_2_output_4", "DmxScene2Output4Parameter", &makeBuiltinParameter<DmxScene2Output4Parameter>},
        {"cumulative_current", "CumulativeCurrentParameter",
            &makeBuiltinParameter<CumulativeCurrentParameter>},
        {"equal_output", "EqualOutputParameter", &makeBuiltinParameter<EqualOutputParameter>},
    }};
    return table;
}

} // namespace tarvesk::core
