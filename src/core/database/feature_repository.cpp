#include "core/database/feature_repository.h"

#include "core/core_errors.h"
#include "core/database/feature.h"

namespace tarvesk::core {

namespace {

std::string quoted(const std::string& text)
{
    std::string result = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            result += '\\';
        result += c;
    }
    return result + "\"";
}

} // namespace

void FeatureRepository::addFeature(std::shared_ptr<Feature> feature)
{
    if (feature)
        _features.emplace(feature->getFeatureId(), std::move(feature));
}

std::shared_ptr<Feature> FeatureRepository::getFeature(std::string id) const
{
    const auto it = _features.find(id);
    if (it == _features.end())
        throw FeatureError("FeatureRepository: Feature '" + quoted(id) + "' not found");
    return it->second;
}

void loadFeaturesForD4i(std::shared_ptr<FeatureRepository>& repository)
{
    const std::pair<const char*, std::vector<std::string>> features[] = {
        {"d4i_part_250_mb201",
            {"dali_250_dali_bus_power_supply_status", "dali_250_guaranteed_supply_current",
                "dali_250_maximum_supply_current"}},
        {"d4i_part_251_mb1_extension",
            {"dali_251_luminaire_manufacturer_gtin", "dali_251_luminaire_identification_number",
                "dali_251_content_format_id", "dali_251_luminaire_year_of_manufacture",
                "dali_251_luminaire_week_of_manufacture", "dali_251_nominal_input_power",
                "dali_251_power_at_minimum_dim_level", "dali_251_nominal_minimum_ac_mains_voltage",
                "dali_251_nominal_maximum_ac_mains_voltage", "dali_251_nominal_light_output", "dali_251_cri",
                "dali_251_cct", "dali_251_light_distribution_type", "dali_251_luminaire_colour",
                "dali_251_luminaire_identification"}},
        {"d4i_part_252_mb202",
            {"dali_252_active_energy_scale_factor", "dali_252_active_energy",
                "dali_252_active_power_scale_factor", "dali_252_active_power"}},
        {"d4i_part_252_mb203",
            {"dali_252_apparent_energy_scale_factor", "dali_252_apparent_energy",
                "dali_252_apparent_power_scale_factor", "dali_252_apparent_power"}},
        {"d4i_part_252_mb204",
            {"dali_252_load_side_energy_scale_factor", "dali_252_load_side_energy",
                "dali_252_load_side_power_scale_factor", "dali_252_load_side_power"}},
        {"d4i_part_253_mb205",
            {"dali_253_control_gear_operating_time", "dali_253_control_gear_start_counter",
                "dali_253_control_gear_external_supply_voltage",
                "dali_253_control_gear_external_supply_frequency", "dali_253_control_gear_power_factor",
                "dali_253_control_gear_failure_condition", "dali_253_control_gear_failure_condition_counter",
                "dali_253_control_gear_supply_undervoltage",
                "dali_253_control_gear_supply_undervoltage_counter",
                "dali_253_control_gear_supply_overvoltage",
                "dali_253_control_gear_supply_overvoltage_counter",
                "dali_253_control_gear_output_power_limitation",
                "dali_253_control_gear_output_power_limitation_counter",
                "dali_253_control_gear_thermal_derating", "dali_253_control_gear_thermal_derating_counter",
                "dali_253_control_gear_thermal_shutdown_condition",
                "dali_253_control_gear_thermal_shutdown_condition_counter",
                "dali_253_control_gear_temperature", "dali_253_control_gear_output_current_percent"}},
        {"d4i_part_253_mb206",
            {"dali_253_light_source_start_counter_resettable", "dali_253_light_source_start_counter",
                "dali_253_light_source_on_time_resettable", "dali_253_light_source_on_time",
                "dali_253_light_source_voltage", "dali_253_light_source_current",
                "dali_253_light_source_overall_failure_condition",
                "dali_253_light_source_overall_failure_condition_counter",
                "dali_253_light_source_short_circuit", "dali_253_light_source_short_circuit_counter",
                "dali_253_light_source_open_circuit", "dali_253_light_source_open_circuit_counter",
                "dali_253_light_source_thermal_derating", "dali_253_light_source_thermal_derating_counter",
                "dali_253_light_source_thermal_shutdown_condition",
                "dali_253_light_source_thermal_shutdown_condition_counter",
                "dali_253_light_source_temperature"}},
        {"d4i_part_253_mb207",
            {"dali_253_rated_median_luminaire_lifetime",
                "dali_253_internal_control_gear_reference_temperature",
                "dali_253_rated_median_light_source_restarts"}},
    };
    for (const auto& [id, parameterIds] : features) {
        auto feature = std::make_shared<Feature>(id);
        feature->addParameterIds(parameterIds);
        repository->addFeature(feature);
    }
}

} // namespace tarvesk::core
