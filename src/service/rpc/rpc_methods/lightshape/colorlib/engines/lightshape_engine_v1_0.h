#pragma once

#include <cstdint>
#include <memory>

// The version 1.0 colour engine: for a driver with a warm and a cool LED
// string, the two dimming curves that move the mixed light along the
// black-body line, either over a CCT range ("tunable white") or along the
// warm-dimming curve as the light dims ("warm dimming").
//
// Free functions over one process-wide input and one output record, in single
// precision. Not re-entrant: callers serialise every run, from c_config_v1_0
// to the last read of the curves (the JSON-RPC request handler's mutex does).
// Failures are error numbers; nothing is printed.
namespace tarvesk::service::lightshape_v1_0 {

// Error numbers of c_config_v1_0 and the stages below it.
enum EngineError {
    ENGINE_OK = 0,
    ENGINE_CCT_MIN_ABOVE_MAX = 3,
    ENGINE_BAD_LED_DATA_MODE = 4,
    ENGINE_BAD_STRATEGY_CODE = 5,
    ENGINE_NEGATIVE_LUMENS_MAX = 6,
    ENGINE_NEGATIVE_LUMENS = 7,
    ENGINE_BAD_BIN = 8,
    ENGINE_WARMDIMMING_RATIO = 9,
    ENGINE_OUTPUT_LIMIT = 10,
    ENGINE_BAD_STRATEGY_TEXT = 12,
    ENGINE_BAD_OPTIMISATION_TEXT = 13,
    // The path has more kelvins than the work arrays hold.
    ENGINE_PATH_TOO_LONG = 14,
    // A mixing factor or an output level is not a finite number.
    ENGINE_NOT_FINITE = 15,
};

constexpr int binCount = 12;
constexpr int rawPointsMax = 5120;
constexpr int outputPointsMax = 129;

// The CCT of each LED bin, index = bin.
extern const std::uint16_t led_bin_cct_table[binCount];

enum StrategyCode { STRATEGY_WARM_DIMMING = 0, STRATEGY_TW_CONSTANT = 1, STRATEGY_TW_MAXIMIZE = 2 };

struct lightshaping_channel
{
    std::uint32_t bin = 0; // LED data mode 0
    float x = 0.0f;        // LED data mode 1
    float y = 0.0f;
    std::int16_t lumens = 0;
};

struct lightshaping_config_input
{
    std::int16_t cct_min = 0;
    std::int16_t cct_max = 0;
    std::int16_t lumens_max = 0;
    std::int32_t led_data_mode = 0; // 0: channels by LED bin, 1: by chromaticity
    std::int32_t strategy = 0;      // StrategyCode
    lightshaping_channel channel[2];
};

struct lightshaping_config_output
{
    std::int16_t curve1_points = 0;
    std::uint8_t curve1[outputPointsMax] = {};
    std::uint16_t curve1_16[outputPointsMax] = {};
    std::int16_t curve2_points = 0;
    std::uint8_t curve2[outputPointsMax] = {};
    std::uint16_t curve2_16[outputPointsMax] = {};
    std::uint8_t warm_shift_bits = 0; // S, warm dimming only
    std::uint8_t warm_factor = 0;     // low 8 bits of trunc(F * 255 + 1), warm dimming only
};

// The work record of one computation.
struct lightshaping_config
{
    std::int16_t cct_min = 0;
    std::int16_t cct_max = 0;
    std::int16_t lumens_max = 0;
    std::int32_t led_data_mode = 0;
    std::int32_t strategy = 0;
    std::int32_t status = ENGINE_OK;
    float warm[3] = {}; // XYZ of the warm channel
    float cool[3] = {}; // XYZ of the cool channel
    float raw_error_max = 0.0f;
    std::int16_t raw_points = 0; // R
    float warm_factor[rawPointsMax] = {};
    float cool_factor[rawPointsMax] = {};
    float raw_error[rawPointsMax] = {};
    std::uint8_t shift_bits = 0;    // S
    float warm_factor_max = 0.0f;   // F
    std::int16_t output_points = 0; // N
    std::uint8_t* warm_curve = nullptr;
    std::uint16_t* warm_curve_16 = nullptr;
    std::uint8_t* cool_curve = nullptr;
    std::uint16_t* cool_curve_16 = nullptr;
};

// The input record of the latest run.
lightshaping_config_input& lightshaping_input();

// Fills the input record (the integers narrowed to 16 bits where the field is
// 16-bit) and runs the computation into the output record. Strategy texts
// "warm dimming" and "tunable white", optimisation texts "constant" and
// "maximize" (exact). Returns the error number, 0 on success.
int c_config_v1_0(int cct_min, int cct_max, int bin1, int bin2, int lumens1, int lumens2, int lumens_max,
    const char* strategy, const char* optimisation);
// The point count of curve 1 or 2, 0 for any other.
int c_curve_points_v1_0(int curve);
const std::uint8_t* c_curve1_v1_0();
const std::uint8_t* c_curve2_v1_0();
std::uint8_t c_c_get_warm_channel_scale_factor_shift_bits_v1_0();

// The stages of one computation from the input record into output.
int nchannel_lightshaping_2_channels(lightshaping_config_output* output);
int nchannel_lightshaping_init(
    lightshaping_config* config, const lightshaping_config_input* input, lightshaping_config_output* output);
int nchannel_lightshaping_calc_raw_points(lightshaping_config* config);
int nchannel_lightshaping_calc_output_points(lightshaping_config* config, lightshaping_config_output* output);
// Write the N output points (tunable-white or warm-dimming levels) and return
// the largest CCT error of the raw points between them.
float nchannel_lightshaping_process_points(lightshaping_config* config, short R);
float nchannel_lightshaping_process_warmdiming_points(lightshaping_config* config, short R);
// F and S of warm dimming; sets status 9 when the light ratio cannot be met.
void nchannel_lightshaping_calc_warmdiming_factors(lightshaping_config* config, short R);
// The point of the polyline through n three-float records (u', v', unused)
// nearest to p, into out[0..1]; returns its squared distance, 100 when n < 1.
float nchannel_lightshaping_calc_nearest_point(float* out, const float* p, const float* points, short n);

} // namespace tarvesk::service::lightshape_v1_0
