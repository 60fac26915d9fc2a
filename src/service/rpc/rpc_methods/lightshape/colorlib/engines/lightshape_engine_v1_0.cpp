#include "service/rpc/rpc_methods/lightshape/colorlib/engines/lightshape_engine_v1_0.h"

#include "service/rpc/rpc_methods/lightshape/colorlib/engines/color_math_v1_0.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tarvesk::service::lightshape_v1_0 {

const std::uint16_t led_bin_cct_table[binCount]
    = {1800, 2000, 2200, 2500, 2700, 3000, 3500, 4000, 4500, 5000, 5700, 6500};

namespace {

// The process-wide records: the latest configuration and its results.
lightshaping_config_input _input;
lightshaping_config_output _output;

float dot(const float* a, const float* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

std::uint16_t cctOfTristimulus(const float* XYZ)
{
    float xyY[3];
    color_math_convert_tristimulus_to_chromaticity(xyY, XYZ, 1);
    return color_math_convert_chromaticity_to_cct(xyY);
}

// The target CCT of raw point i: its kelvin, or where warm dimming puts it.
std::uint16_t targetCct(const lightshaping_config* config, int i)
{
    const auto k = static_cast<std::uint16_t>(config->cct_min + i);
    if (config->strategy != STRATEGY_WARM_DIMMING)
        return k;
    return color_math_calculate_warmdiming_cct(
        k, static_cast<std::uint16_t>(config->cct_min), static_cast<std::uint16_t>(config->cct_max));
}

// trunc(value), held within 0..limit. Rounding leaves factors at the ends of
// a path a hair below 0 (a 16-bit level of -4.9); a level that is not a
// number at all is refused.
template <typename Level> bool toLevel(float value, float limit, Level& out)
{
    if (!std::isfinite(value))
        return false;
    out = static_cast<Level>(std::min(std::max(std::trunc(value), 0.0f), limit));
    return true;
}

// Writes the N output points and returns the largest CCT error of the raw
// points between them. Exactly N points, whatever the path length: a path of
// fewer kelvins than points repeats raw points, a single kelvin gives N equal
// points (step 0).
float processPoints(lightshaping_config* config, short R, bool warmdimming)
{
    if (R < 1)
        return 0.0f;
    const int N = config->output_points;
    const float* W = config->warm;
    const float* C = config->cool;
    float warmScale8 = 255.0f;
    float warmScale16 = 65535.0f;
    float ratio = 1.0f;
    float warmDivisor = 1.0f;
    if (warmdimming) {
        ratio = C[1] / W[1];
        warmDivisor = static_cast<float>(1 << config->shift_bits);
    }
    const float step = static_cast<float>(R - 1) / static_cast<float>(N - 1);
    float q = 0.0f;
    int previous = 0;
    float largest = 0.0f;
    for (int j = 0; j < N; ++j) {
        const int idx = std::min(static_cast<int>(q), R - 1);
        const float w = config->warm_factor[idx];
        const float c = config->cool_factor[idx];
        bool ok = true;
        if (warmdimming) {
            ok = toLevel(w * warmScale8 * ratio / warmDivisor + 0.5f, 255.0f, config->warm_curve[j])
                && toLevel(c * 255.0f * ratio + 0.5f, 255.0f, config->cool_curve[j])
                && toLevel(w * warmScale16 * ratio / warmDivisor + 0.5f, 65535.0f, config->warm_curve_16[j])
                && toLevel(c * 65535.0f * ratio + 0.5f, 65535.0f, config->cool_curve_16[j]);
        } else {
            ok = toLevel(w * 255.0f + 0.5f, 255.0f, config->warm_curve[j])
                && toLevel(c * 255.0f + 0.5f, 255.0f, config->cool_curve[j])
                && toLevel(w * 65535.0f + 0.5f, 65535.0f, config->warm_curve_16[j])
                && toLevel(c * 65535.0f + 0.5f, 65535.0f, config->cool_curve_16[j]);
        }
        if (!ok) {
            config->status = ENGINE_NOT_FINITE;
            return largest;
        }
        if (idx > 0) {
            const float* fw = config->warm_factor;
            const float* fc = config->cool_factor;
            for (int r = previous; r < idx; ++r) {
                const float t = static_cast<float>(r - previous) / static_cast<float>(idx - previous);
                const float wi = fw[previous] + (fw[idx] - fw[previous]) * t;
                const float ci = fc[previous] + (fc[idx] - fc[previous]) * t;
                const float XYZ[3] = {wi * W[0] + ci * C[0], wi * W[1] + ci * C[1], wi * W[2] + ci * C[2]};
                const int error = std::abs(int(cctOfTristimulus(XYZ)) - int(targetCct(config, r)));
                largest = std::max(largest, static_cast<float>(error));
            }
        }
        previous = idx;
        q += step;
    }
    return largest;
}

} // namespace

lightshaping_config_input& lightshaping_input()
{
    return _input;
}

int c_config_v1_0(int cct_min, int cct_max, int bin1, int bin2, int lumens1, int lumens2, int lumens_max,
    const char* strategy, const char* optimisation)
{
    _input.led_data_mode = 0;
    if (std::strcmp(strategy, "warm dimming") == 0) {
        _input.strategy = STRATEGY_WARM_DIMMING;
    } else if (std::strcmp(strategy, "tunable white") == 0) {
        if (std::strcmp(optimisation, "constant") == 0)
            _input.strategy = STRATEGY_TW_CONSTANT;
        else if (std::strcmp(optimisation, "maximize") == 0)
            _input.strategy = STRATEGY_TW_MAXIMIZE;
        else
            return ENGINE_BAD_OPTIMISATION_TEXT;
    } else {
        return ENGINE_BAD_STRATEGY_TEXT;
    }
    _input.cct_min = static_cast<std::int16_t>(cct_min);
    _input.cct_max = static_cast<std::int16_t>(cct_max);
    _input.lumens_max = static_cast<std::int16_t>(lumens_max);
    _input.channel[0].bin = static_cast<std::uint32_t>(bin1);
    _input.channel[0].lumens = static_cast<std::int16_t>(lumens1);
    _input.channel[1].bin = static_cast<std::uint32_t>(bin2);
    _input.channel[1].lumens = static_cast<std::int16_t>(lumens2);
    return nchannel_lightshaping_2_channels(&_output);
}

int c_curve_points_v1_0(int curve)
{
    if (curve == 1)
        return _output.curve1_points;
    if (curve == 2)
        return _output.curve2_points;
    return 0;
}

const std::uint8_t* c_curve1_v1_0()
{
    return _output.curve1;
}

const std::uint8_t* c_curve2_v1_0()
{
    return _output.curve2;
}

std::uint8_t c_c_get_warm_channel_scale_factor_shift_bits_v1_0()
{
    return _output.warm_shift_bits;
}

int nchannel_lightshaping_2_channels(lightshaping_config_output* output)
{
    // About 60 KB: made for the run and dropped after it.
    auto config = std::make_unique<lightshaping_config>();
    int status = nchannel_lightshaping_init(config.get(), &_input, output);
    if (status == ENGINE_OK)
        status = nchannel_lightshaping_calc_raw_points(config.get());
    if (status == ENGINE_OK)
        status = nchannel_lightshaping_calc_output_points(config.get(), output);
    return status;
}

int nchannel_lightshaping_init(
    lightshaping_config* config, const lightshaping_config_input* input, lightshaping_config_output* output)
{
    if (input->cct_min > input->cct_max)
        return ENGINE_CCT_MIN_ABOVE_MAX;
    if (input->channel[0].lumens < 0 || input->channel[1].lumens < 0)
        return ENGINE_NEGATIVE_LUMENS;
    config->cct_min = input->cct_min;
    config->cct_max = input->cct_max;

    float cct[2] = {};
    int warmChannel = 0;
    if (input->led_data_mode == 1) {
        for (int ch = 0; ch < 2; ++ch) {
            const float xyY[3]
                = {input->channel[ch].x, input->channel[ch].y, float(input->channel[ch].lumens)};
            color_math_convert_chromaticity_to_tristimulus(ch == 0 ? config->warm : config->cool, xyY, 1);
            cct[ch] = color_math_convert_chromaticity_to_cct(xyY);
        }
    } else if (input->led_data_mode == 0) {
        if (input->channel[0].bin >= binCount || input->channel[1].bin >= binCount)
            return ENGINE_BAD_BIN;
        for (int ch = 0; ch < 2; ++ch)
            cct[ch] = led_bin_cct_table[input->channel[ch].bin];
        if (input->strategy == STRATEGY_WARM_DIMMING)
            config->cct_max = static_cast<std::int16_t>(std::max(cct[0], cct[1]));
        warmChannel = cct[0] < cct[1] ? 0 : 1;
        for (int ch = 0; ch < 2; ++ch) {
            float xyY[3] = {0.0f, 0.0f, float(input->channel[ch].lumens)};
            color_math_convert_cct_to_chromaticity(xyY, static_cast<short>(cct[ch]));
            color_math_convert_chromaticity_to_tristimulus(
                ch == warmChannel ? config->warm : config->cool, xyY, 1);
        }
    } else {
        return ENGINE_BAD_LED_DATA_MODE;
    }
    if (input->lumens_max < 0)
        return ENGINE_NEGATIVE_LUMENS_MAX;
    // Warm dimming ends its path at the warmer LED, which may lie below the
    // start; and the work arrays bound the path's length.
    if (config->cct_min > config->cct_max)
        return ENGINE_CCT_MIN_ABOVE_MAX;
    if (config->cct_max - config->cct_min + 1 > rawPointsMax)
        return ENGINE_PATH_TOO_LONG;

    const bool warmIsCurve1 = cct[0] < cct[1];
    config->warm_curve = warmIsCurve1 ? output->curve1 : output->curve2;
    config->warm_curve_16 = warmIsCurve1 ? output->curve1_16 : output->curve2_16;
    config->cool_curve = warmIsCurve1 ? output->curve2 : output->curve1;
    config->cool_curve_16 = warmIsCurve1 ? output->curve2_16 : output->curve1_16;
    config->led_data_mode = input->led_data_mode;
    config->strategy = input->strategy;
    config->lumens_max = input->lumens_max;
    return ENGINE_OK;
}

int nchannel_lightshaping_calc_raw_points(lightshaping_config* config)
{
    config->status = ENGINE_OK;
    const float* W = config->warm;
    const float* C = config->cool;
    const float yMin = std::min(W[1], C[1]);
    float segment[6] = {};
    color_math_convert_tristimulus_to_uvprime(segment, W, 1);
    color_math_convert_tristimulus_to_uvprime(segment + 3, C, 1);
    const float a = dot(W, W);
    const float b = dot(W, C);
    const float c = dot(C, C);
    const float det = a * c - b * b;

    int largestError = 0;
    int i = 0;
    for (int k = config->cct_min; k <= config->cct_max; ++k, ++i) {
        const std::uint16_t target = targetCct(config, i);
        float xy[2];
        color_math_convert_cct_to_chromaticity(xy, static_cast<short>(target));
        float uv[2];
        color_math_convert_chromaticity_to_uvprime(uv, xy);
        float nearest[2] = {};
        nchannel_lightshaping_calc_nearest_point(nearest, uv, segment, 2);
        const float uvY[3] = {nearest[0], nearest[1], yMin};
        float XYZ[3];
        color_math_convert_uvprime_to_tristimulus(XYZ, uvY);
        const int error = std::abs(int(cctOfTristimulus(XYZ)) - int(target));
        config->raw_error[i] = static_cast<float>(error);
        largestError = std::max(largestError, error);

        // Least-squares mix of the two channels' XYZ that gives the target.
        const float r1 = dot(W, XYZ);
        const float r2 = dot(C, XYZ);
        const float pair[2] = {(c * r1 - b * r2) / det, (a * r2 - b * r1) / det};
        float normalised[2];
        color_math_normalize_vector(normalised, pair, 2);
        float w = std::min(std::max(pair[0], 0.0f), 1.0f);
        float cw = std::min(std::max(pair[1], 0.0f), 1.0f);
        float limit = static_cast<float>(config->lumens_max);
        switch (config->strategy) {
        case STRATEGY_WARM_DIMMING:
            limit = std::min(yMin, limit);
            break;
        case STRATEGY_TW_CONSTANT:
            break;
        case STRATEGY_TW_MAXIMIZE:
            w = normalised[0];
            cw = normalised[1];
            break;
        default:
            config->status = ENGINE_BAD_STRATEGY_CODE;
            return config->status;
        }
        const float total = W[1] * w + C[1] * cw;
        if (total > limit) {
            const float scale = limit / total;
            w *= scale;
            cw *= scale;
        }
        if (!std::isfinite(w) || !std::isfinite(cw)) {
            config->status = ENGINE_NOT_FINITE;
            return config->status;
        }
        config->warm_factor[i] = w;
        config->cool_factor[i] = cw;
    }
    config->raw_error_max = static_cast<float>(largestError);
    config->raw_points = static_cast<std::int16_t>(config->cct_max - config->cct_min + 1);
    return config->status;
}

int nchannel_lightshaping_calc_output_points(lightshaping_config* config, lightshaping_config_output* output)
{
    const float E = config->raw_error_max;
    const short R = config->raw_points;
    const bool warmdimming = config->strategy == STRATEGY_WARM_DIMMING;
    int tolerance = static_cast<int>((E + 5.0f) / 10.0f);
    if (warmdimming)
        tolerance = std::max(tolerance, 4);
    const float limit = E + static_cast<float>(tolerance);

    config->output_points = 65;
    float error = nchannel_lightshaping_process_points(config, R);
    while (config->status == ENGINE_OK && static_cast<float>(static_cast<int>(error)) > limit
        && config->output_points <= 128) {
        config->output_points = static_cast<std::int16_t>(2 * config->output_points - 1);
        error = nchannel_lightshaping_process_points(config, R);
    }
    if (config->status != ENGINE_OK)
        return config->status;
    output->curve1_points = config->output_points;
    output->curve2_points = config->output_points;
    if (config->output_points > outputPointsMax)
        config->status = ENGINE_OUTPUT_LIMIT;

    if (warmdimming && config->status == ENGINE_OK) {
        nchannel_lightshaping_calc_warmdiming_factors(config, R);
        if (config->status == ENGINE_OK) {
            error = nchannel_lightshaping_process_warmdiming_points(config, R);
            if (config->status != ENGINE_OK)
                return config->status;
            if (static_cast<float>(static_cast<int>(error)) > limit)
                config->status = ENGINE_OUTPUT_LIMIT;
            output->warm_shift_bits = config->shift_bits;
            output->warm_factor
                = static_cast<std::uint8_t>(static_cast<int>(config->warm_factor_max * 255.0f + 1.0f) & 0xFF);
        }
    }
    return config->status;
}

float nchannel_lightshaping_process_points(lightshaping_config* config, short R)
{
    return processPoints(config, R, false);
}

float nchannel_lightshaping_process_warmdiming_points(lightshaping_config* config, short R)
{
    return processPoints(config, R, true);
}

void nchannel_lightshaping_calc_warmdiming_factors(lightshaping_config* config, short R)
{
    float F = 0.0f;
    for (int i = 0; i < R; ++i)
        F = std::max(F, static_cast<float>(i + 1) / static_cast<float>(R) * config->warm_factor[i]);
    const float ratio = config->cool[1] / config->warm[1];
    int S = 0;
    // F is 0 only for an all-zero warm curve: any ratio can be met then.
    if (F <= 0.0f || ratio <= 1.0f / F) {
        for (int r = static_cast<int>(ratio); r > 1; r >>= 1)
            ++S;
        if (ratio - static_cast<float>(1 << S) > 0.00001f)
            ++S;
    } else {
        config->status = ENGINE_WARMDIMMING_RATIO;
    }
    config->warm_factor_max = F;
    config->shift_bits = static_cast<std::uint8_t>(S);
}

float nchannel_lightshaping_calc_nearest_point(float* out, const float* p, const float* points, short n)
{
    float best = 100.0f;
    if (n < 1)
        return best;
    const int segments = n == 2 ? 1 : n;
    for (int s = 0; s < segments; ++s) {
        const float* p1 = points + 3 * s;
        const float* p2 = points + 3 * ((s + 1) % n);
        const float x1 = p1[0], y1 = p1[1], x2 = p2[0], y2 = p2[1];
        float x = x1;
        float y = 0.0f;
        if (x1 != x2) {
            const float m = (y2 - y1) / (x2 - x1);
            const float q = (y1 * x2 - x1 * y2) / (x2 - x1);
            x = ((p[1] - q) * m + p[0]) / (m * m + 1.0f);
            x = std::min(std::max(x, std::min(x1, x2)), std::max(x1, x2));
            y = q + m * x;
        } else {
            y = std::min(std::max(p[1], std::min(y1, y2)), std::max(y1, y2));
        }
        const float dx = x - p[0];
        const float dy = y - p[1];
        const float d = dx * dx + dy * dy;
        if (d < best) {
            out[0] = x;
            out[1] = y;
            best = d;
        }
    }
    return best;
}

} // namespace tarvesk::service::lightshape_v1_0
