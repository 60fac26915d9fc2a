#include "service/rpc/rpc_methods/lightshape/colorlib/engines/lightshape_engine_v1_3.h"

#include "service/rpc/rpc_methods/lightshape/colorlib/engines/engine_debug_text.h"
#include "service/rpc/rpc_methods/lightshape/colorlib/ilightshape_color_library.h"

#include <QStringList>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace tarvesk::service::lightshape_v1_3 {

namespace {

// The records of the latest run.
CurvePointRecord _outputBuffer[curvePoints];

float toFloat(double value)
{
    return static_cast<float>(value);
}

// Lowered by a tenth in double precision, kept in single.
float lowered(float value, double by)
{
    return toFloat(static_cast<double>(value) - by);
}

bool sumLimitedDriver(std::int32_t driverType)
{
    return driverType == 3 || driverType == 6 || driverType == 7;
}

} // namespace

std::int32_t ColorLib13::hydraSwitchCurrent(std::int32_t setCurrent)
{
    return setCurrent >= 150 && setCurrent <= 199 ? 150 : 198;
}

float ColorLib13::hydraMatchLevel(std::int32_t setCurrent)
{
    const std::int32_t window = hydraSwitchCurrent(setCurrent);
    float level = 100.0f;
    float match = -1.0f;
    for (int step = 0; step < 1000; ++step) {
        level = lowered(level, 0.1);
        const double current = static_cast<double>(level * static_cast<float>(setCurrent)) * 0.01;
        if (window - 1 <= current && current <= window + 1)
            match = level;
    }
    return match;
}

bool ColorLib13::twoChannelStrategy() const
{
    return AlgorithmStrategy == STRATEGY_TWO || AlgorithmStrategy == STRATEGY_WARM_DIMMING
        || AlgorithmStrategy == STRATEGY_TWO_MIREK || AlgorithmStrategy == STRATEGY_TUNABLE_WHITE
        || AlgorithmStrategy == STRATEGY_TUNABLE_WHITE_DT8;
}

// The three-channel strategies whose levels go to the pair of LEDs that
// enclose the target.
bool ColorLib13::pairedStrategy() const
{
    return AlgorithmStrategy == STRATEGY_THREE_PAIRED || AlgorithmStrategy == STRATEGY_THREE_PAIRED_ALT
        || AlgorithmStrategy == STRATEGY_THREE_PAIRED_MIREK;
}

void ColorLib13::init_debug_values()
{
    for (int k = 0; k < channelCount; ++k) {
        HC_LED[k] = 1.0f;
        Rth_LED[k] = 18.0f;
        VFoLED[k] = 3.0f;
        dVFdT_LED[k] = -0.0033f;
        DroopLED[k] = 1.0f;
        CH[k] = CH_actual[k] = PowerCH[k] = 100.0f;
    }
    Vsup = 50.0f;
    TA_calibration = 28.0f;
}

void ColorLib13::config(char** argv)
{
    init_debug_values();

    auto integer = [&](int i) { return static_cast<std::int32_t>(std::atoi(argv[i])); };
    auto real = [&](int i) { return static_cast<float>(std::atof(argv[i])); };
    CCTset = integer(1);
    SetConstantLumen = static_cast<float>(integer(2));
    AlgorithmStrategy = integer(3);
    AlgorithmMode = integer(4);
    for (int k = 0; k < channelCount; ++k)
        CurSet_CH[k] = integer(5 + k);
    for (int led = 0; led < channelCount; ++led) {
        const int base = 9 + 8 * led;
        LED_Y[led] = static_cast<float>(integer(base));
        LED_x[led] = real(base + 1);
        LED_y[led] = real(base + 2);
        DataSheetCurrent_LED[led] = static_cast<float>(integer(base + 3));
        DroopLED[led] = real(base + 4);
        VFoLED[led] = real(base + 5);
        dVFdI_LED[led] = real(base + 6);
        HC_LED[led] = real(base + 7);
    }
    TheatSink = real(41);
    Vsup = static_cast<float>(integer(42));
    for (int k = 0; k < channelCount; ++k)
        CorrFact[k] = real(43 + k);
    DriverType = integer(47);
    for (int k = 0; k < channelCount; ++k)
        N_LEDsCH[k] = integer(48 + k);
    CCTmax = integer(52);
    CCTmin = integer(53);

    for (int k = 0; k < channelCount; ++k)
        hydraLevel[k] = hydraMatchLevel(CurSet_CH[k]);
    hydraLevelsFound = true;

    MirekMax = toFloat(std::round(1e6 / static_cast<double>(CCTmax)));
    MirekMin = toFloat(std::round(1e6 / static_cast<double>(CCTmin)));
    MirekSet = MirekMin;

    // The reference light output and the first levels come from one pass
    // before any target of this run (with the initial target, which is 0).
    DefaultSequence();
    EstimateVf();
    CheckLimitsIdealLEDdriver();
    DefineDeviation();

    SetIntensity = SetConstantLumen / Y_max * 100.0f;
    const float dI = SetIntensity / 65.0f;
    const bool mirekPath = AlgorithmStrategy == STRATEGY_TWO_MIREK
        || AlgorithmStrategy == STRATEGY_THREE_PAIRED_MIREK
        || AlgorithmStrategy == STRATEGY_TUNABLE_WHITE_DT8;
    DALI_type = mirekPath ? 8 : 6;
    const float mirekStep = (MirekMin - MirekMax) * 0.015625f;
    const float kelvinStep = toFloat(static_cast<double>(CCTmax - CCTmin) * 0.015625);

    // The path level that strategy 7 follows.
    float pathLevel = mirekPath ? 0.0f : 100.0f;
    for (int i = 1; i <= curvePoints; ++i) {
        const float offset = static_cast<float>(i - 1);
        if (mirekPath)
            MirekSet = std::trunc(MirekMax + std::trunc(offset * mirekStep));
        else
            CCTset = CCTmax - static_cast<std::int32_t>(std::trunc(offset * kelvinStep));
        Translate_CCT_xy();
        if (AlgorithmStrategy == STRATEGY_WARM_DIMMING || AlgorithmStrategy == STRATEGY_THREE_DIMMING)
            SetIntensity = SetIntensity - dI;
        switch (AlgorithmMode) {
        case MODE_PERFECT_LIFE:
            DoPerfectLife();
            break;
        case MODE_FEED_FORWARD:
            DoOptimizedModel_LEDdriver();
            break;
        case MODE_PERFECT_DRIVER:
            DoPerfectDriver();
            break;
        case MODE_PERFECT_LEDS:
            DoPerfectLEDs();
            break;
        case MODE_OPTIMIZED_MODEL:
            DoOptimizedModel();
            break;
        default:
            DoOpenLoop(); // the levels of the previous point stay
            break;
        }
        pathLevel = mirekPath ? pathLevel + 1.5625f : pathLevel - 1.5625f;
        if (pathLevel > 100.0f)
            pathLevel = 100.0f;
        if (pathLevel <= 0.0f)
            pathLevel = 0.0f;
        if (AlgorithmStrategy == STRATEGY_PATH_LEVEL) {
            CH[0] = CH[1] = CH_actual[0] = CH_actual[1] = pathLevel;
            CH[2] = CH[3] = CH_actual[2] = CH_actual[3] = 0.0f;
            if (AlgorithmMode == MODE_FEED_FORWARD)
                ModelCorrectedLEDdriver();
        }
        SaveCurveInfoToOutputBuffer(i);
    }
}

void ColorLib13::Translate_CCT_xy()
{
    if (DALI_type == 8)
        CCTset = static_cast<std::int32_t>(std::trunc(1e6 / static_cast<double>(MirekSet)));
    if (CCTset >= 25000)
        CCTset = 25000;
    const double t = CCTset;
    double xd;
    if (t <= 4000)
        xd = -266124000.0 / std::pow(t, 3) - 234358.0 / (t * t) + 877.696 / t + 0.17991;
    else
        xd = -3025850000.0 / std::pow(t, 3) + 2107040.0 / (t * t) + 222.635 / t + 0.24039;
    xset = toFloat(xd);
    const double xf = xset;
    double yd;
    if (t <= 2222)
        yd = -1.1063814 * std::pow(xf, 3) - 1.3481102 * (xf * xf) + 2.18555832 * xf - 0.20219683;
    else if (t <= 4000)
        yd = -0.9549476 * std::pow(xf, 3) - 1.37418593 * (xf * xf) + 2.09137015 * xf - 0.16748867;
    else
        yd = 3.081758 * std::pow(xf, 3) - 5.8733867 * (xf * xf) + 3.75112997 * xf - 0.37001483;
    yset = toFloat(yd);
}

void ColorLib13::SaveCurveInfoToOutputBuffer(int point)
{
    if (point < 1 || point > curvePoints)
        return;
    CurvePointRecord& r = outputBuffer[point - 1];
    r.CCTset = CCTset;
    r.xset = xset;
    r.yset = yset;
    r.SetConstantLumen = SetConstantLumen;
    r.x = x;
    r.y = y;
    r.ColorError = ColorError;
    r.Y = Y;
    for (int k = 0; k < channelCount; ++k) {
        r.CH_actual[k] = CH_actual[k];
        r.VF[k] = VF[k];
        r.PowerCH[k] = PowerCH[k];
    }
    r.CCTderived = CCTderived;
}

void ColorLib13::DefaultSequence()
{
    SimpleCorrected_LEDdata();
    DefineY_max();
    Fill_3x3_ColorMatrix();
    CorrectFillMatrixVersusSetpoint();
    invert_3x3_C_matrix();
    calc_XYZset();
    set_whitepoint();
    CheckWhitePointClipControl();
}

void ColorLib13::SimpleCorrected_LEDdata()
{
    const float max = static_cast<float>(MaxCurveValue);
    for (int k = 0; k < channelCount; ++k) {
        const float cur = static_cast<float>(CurSet_CH[k]);
        I[k] = CH_actual[k] > 0.0f ? toFloat(static_cast<double>(cur * (CH_actual[k] / max)) * 0.001) : 0.0f;
        PowerCH[k] = static_cast<float>(N_LEDsCH[k]) * (I[k] * VFoLED[k]);
        Yc[k] = CurSet_CH[k] > 0 ? cur * LED_Y[k] / DataSheetCurrent_LED[k] : 0.0f;
        VF[k] = VFoLED[k];
    }
}

// A channel without LEDs has no string voltage, rather than the 0 / 0 of
// dividing by its LED count.
float ColorLib13::perLedVoltage(int k) const
{
    return N_LEDsCH[k] > 0 ? VFoLED[k] / static_cast<float>(N_LEDsCH[k]) : 0.0f;
}

void ColorLib13::ModelCorrected_LEDdata()
{
    const float max = static_cast<float>(MaxCurveValue);
    for (float& t : Tj)
        t = 0.0f;
    EstimateVf();
    for (int k = 0; k < channelCount; ++k) {
        const float cur = static_cast<float>(CurSet_CH[k]);
        Tj[k] = (CH_actual[k] / max) * (Rth_LED[k] * cur * 0.001f) * 3.0f + TheatSink;
        if (dVFdT_LED[k] > 0.0f)
            dVFdT_LED[k] = -dVFdT_LED[k];
        const float dT = Tj[k] - (Rth_LED[k] * DataSheetCurrent_LED[k] * 0.001f * 3.0f + TA_calibration);
        VF[k] = static_cast<float>(N_LEDsCH[k])
            * (dVFdT_LED[k] * dT + perLedVoltage(k) + dVFdI_LED[k] * cur * (CH[k] * 0.01f) * 0.001f);
        I[k] = CH_actual[k] > 0.0f ? toFloat(static_cast<double>(cur * (CH_actual[k] / max)) * 0.001) : 0.0f;
        PowerCH[k] = I[k] * VF[k];
        if (CurSet_CH[k] > 0) {
            const double hotCold = std::exp(
                static_cast<double>(std::log(HC_LED[k])) * (static_cast<double>(dT) / 75.0) / 0.43429);
            const double droop = std::pow(cur / DataSheetCurrent_LED[k], DroopLED[k]);
            Yc[k] = toFloat(hotCold * droop * static_cast<double>(LED_Y[k]));
        } else {
            Yc[k] = 0.0f;
        }
    }
}

void ColorLib13::DefineY_max()
{
    const float* Y = Yc;
    switch (AlgorithmStrategy) {
    case STRATEGY_TWO:
    case STRATEGY_TUNABLE_WHITE:
    case STRATEGY_TUNABLE_WHITE_DT8:
        Y_max = Y[0] + Y[1];
        break;
    case STRATEGY_THREE_PAIRED:
    case STRATEGY_THREE:
    case STRATEGY_THREE_ALT:
    case STRATEGY_THREE_PAIRED_ALT:
    case STRATEGY_THREE_PAIRED_MIREK:
        Y_max = Y[0] + Y[1] + Y[2];
        break;
    case STRATEGY_FOUR:
        Y_max = (Y[0] + Y[1] + Y[2]) / 3.0f + Y[3];
        break;
    case STRATEGY_WARM_DIMMING:
    case STRATEGY_TWO_MIREK:
        Y_max = Y[0] <= Y[1] ? Y[0] : Y[1];
        break;
    case STRATEGY_THREE_DIMMING:
        Y_max = Y[0];
        if (Y[1] > Y_max)
            Y_max = Y[1];
        if (Y[2] > Y_max)
            Y_max = Y[2];
        break;
    default:
        break; // 7 and 11: no reference light output of their own
    }
}

// The light output that LED led's row is built from: at its set current in
// mode 0, the modelled one otherwise.
float ColorLib13::ledOutput(int led) const
{
    if (AlgorithmMode == MODE_PERFECT_LIFE)
        return static_cast<float>(CurSet_CH[led]) / DataSheetCurrent_LED[led] * LED_Y[led];
    return Yc[led];
}

void ColorLib13::fillRow(int row, int led, float F)
{
    float* r = row < 3 ? cm[row] : cm4;
    const float X = LED_x[led] / LED_y[led] * F;
    r[0] = X;
    r[1] = F;
    r[2] = X / LED_x[led] - X - F;
}

// A row without an LED that keeps the matrix invertible.
void ColorLib13::fillDummy(int row)
{
    cm[row][0] = 1.0f;
    cm[row][1] = 0.0f;
    cm[row][2] = 1.0f;
}

void ColorLib13::Fill_3x3_ColorMatrix()
{
    auto led = [this](int row, int l) { fillRow(row, l, ledOutput(l)); };
    switch (AlgorithmStrategy) {
    case STRATEGY_THREE:
    case STRATEGY_THREE_ALT:
        for (int l = 0; l < 3; ++l)
            led(l, l);
        return;
    case STRATEGY_FOUR:
        for (int l = 0; l < 4; ++l)
            led(l, l);
        return;
    case STRATEGY_THREE_PAIRED:
    case STRATEGY_THREE_DIMMING:
    case STRATEGY_THREE_PAIRED_ALT:
    case STRATEGY_THREE_PAIRED_MIREK:
        break;
    default:
        if (twoChannelStrategy()) {
            led(0, 0);
            led(1, 1);
            fillDummy(2);
        }
        return; // 7, 11: the matrix stays as it was
    }
    // The two LEDs whose x enclose the target; a dummy row for the third.
    const float x1 = LED_x[0], x2 = LED_x[1], x3 = LED_x[2];
    const float xs = xset;
    if (x2 < x1 && x1 < x3) {
        led(0, 0);
        if (xs >= x1) {
            led(2, 2);
            fillDummy(1);
        } else {
            led(1, 1);
            fillDummy(2);
        }
    } else if (x3 < x1 && x1 < x2) {
        led(0, 0);
        if (xs >= x1) {
            led(1, 1);
            fillDummy(2);
        } else {
            fillDummy(1);
            led(2, 2);
        }
    } else if (x2 < x3 && x3 < x1) {
        led(2, 2);
        if (xs > x3) {
            led(0, 0);
            fillDummy(1);
        } else {
            fillDummy(0);
            led(1, 1);
        }
    } else if (x3 < x2 && x2 < x1) {
        led(1, 1);
        if (xs > x2) {
            led(0, 0);
            fillDummy(2);
        } else {
            fillDummy(0);
            led(2, 2);
        }
    } else if (x1 < x2 && x2 < x3) {
        led(1, 1);
        if (x2 > xs) {
            led(0, 0);
            fillDummy(2);
        } else {
            fillDummy(0);
            led(2, 2);
        }
    } else if (x1 < x3 && x3 < x2) {
        led(2, 2);
        if (x3 > xs) {
            led(0, 0);
            fillDummy(1);
        } else {
            fillDummy(0);
            led(1, 1);
        }
    }
}

void ColorLib13::CorrectFillMatrixVersusSetpoint()
{
    if (!pairedStrategy() && AlgorithmStrategy != STRATEGY_THREE_DIMMING
        && AlgorithmStrategy != STRATEGY_SINGLE_LED)
        return;
    const float* x = LED_x;
    const bool above = xset > x[0] && xset > x[1] && xset > x[2];
    const bool below = xset < x[0] && xset < x[1] && xset < x[2];
    if (!above && !below)
        return;
    // A target beyond every LED: only the LED nearest to it (the largest or
    // the smallest x, when one is strictly so) stays in the matrix.
    int nearest = -1;
    for (int k = 0; k < 3; ++k) {
        const int a = (k + 1) % 3, b = (k + 2) % 3;
        if (above ? (x[k] > x[a] && x[k] > x[b]) : (x[k] < x[a] && x[k] < x[b]))
            nearest = k;
    }
    if (nearest < 0)
        return;
    for (int row = 0; row < 3; ++row) {
        if (row == nearest)
            fillRow(row, row, static_cast<float>(CurSet_CH[row]) / DataSheetCurrent_LED[row] * LED_Y[row]);
        else
            fillDummy(row);
    }
}

void ColorLib13::invert_3x3_C_matrix()
{
    const float(&c)[3][3] = cm;
    Determinant = c[0][0] * c[1][1] * c[2][2] + c[1][0] * c[2][1] * c[0][2] + c[2][0] * c[0][1] * c[1][2]
        - c[0][2] * c[1][1] * c[2][0] - c[2][2] * c[1][0] * c[0][1] - c[0][0] * c[2][1] * c[1][2];
    M[0][0] = c[1][1] * c[2][2] - c[2][1] * c[1][2];
    M[0][1] = c[2][1] * c[0][2] - c[2][2] * c[0][1];
    M[0][2] = c[0][1] * c[1][2] - c[1][1] * c[0][2];
    M[1][0] = c[2][0] * c[1][2] - c[2][2] * c[1][0];
    M[1][1] = c[0][0] * c[2][2] - c[0][2] * c[2][0];
    M[1][2] = c[1][0] * c[0][2] - c[0][0] * c[1][2];
    M[2][0] = c[1][0] * c[2][1] - c[1][1] * c[2][0];
    M[2][1] = c[2][0] * c[0][1] - c[0][0] * c[2][1];
    M[2][2] = c[0][0] * c[1][1] - c[1][0] * c[0][1];
    const float inverse = 1.0f / Determinant;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            icm[i][j] = M[i][j] * inverse;
    }
}

void ColorLib13::calc_XYZset()
{
    Yset = toFloat(static_cast<double>(Y_max) * (static_cast<double>(SetIntensity) * 0.01));
    Xset = xset / yset * Yset;
    Zset = Xset / xset - Xset - Yset;
}

void ColorLib13::set_whitepoint()
{
    const float max = static_cast<float>(MaxCurveValue);
    auto r = [this](int j) { return icm[0][j] * Xset + icm[1][j] * Yset + icm[2][j] * Zset; };
    const float x1 = LED_x[0], x2 = LED_x[1], x3 = LED_x[2];
    if (twoChannelStrategy()) {
        CH[0] = r(0) * max;
        CH[1] = r(1) * max;
        CH[2] = CH[3] = 0.0f;
        if (AlgorithmStrategy == STRATEGY_WARM_DIMMING) {
            // A target beyond both LEDs: the nearer end of the line.
            if (x1 > xset && x2 > xset)
                CH[0] = CH[1] = max;
            else if (xset > x1 && xset > x2)
                CH[0] = CH[1] = 0.0f;
        }
    } else if (AlgorithmStrategy == STRATEGY_THREE || AlgorithmStrategy == STRATEGY_THREE_ALT) {
        CH[0] = r(0) * max;
        CH[1] = r(1) * max;
        CH[2] = r(2) * max;
        CH[3] = 0.0f;
    } else if (pairedStrategy() && x1 > x2 && x2 > x3) {
        if (xset > x2) {
            CH[0] = r(0) * max;
            CH[1] = r(1) * max;
            CH[2] = CH[3] = 0.0f;
        }
        if (x2 >= xset) {
            CH[0] = 0.0f;
            CH[1] = r(1) * max;
            CH[2] = r(2) * max;
            CH[3] = 0.0f;
        }
        if (xset >= x1 && xset >= x2 && xset >= x3) {
            CH[0] = max;
            CH[1] = CH[2] = CH[3] = 0.0f;
        }
        if (x1 >= xset && x2 >= xset && x3 >= xset) {
            CH[2] = max;
            CH[0] = CH[1] = CH[3] = 0.0f;
        }
    }
    CheckLimitsIdealLEDdriver();
}

void ColorLib13::CheckWhitePointClipControl()
{
    auto clipped = [this] {
        if (sumLimitedDriver(DriverType))
            return CH[0] + CH[1] + CH[2] + CH[3] >= 100.0f;
        return CH[0] > 100.0f || CH[1] > 100.0f || CH[2] > 100.0f || CH[3] > 100.0f;
    };
    while (clipped() && SetIntensity > 1.0f) {
        SetIntensity = lowered(SetIntensity, 0.1);
        calc_XYZset();
        set_whitepoint();
    }
}

void ColorLib13::CheckLimitsIdealLEDdriver()
{
    for (float& level : CH) {
        if (level > 100.0f)
            level = 100.0f;
        if (level <= 0.0f)
            level = 0.0f;
    }
    if (sumLimitedDriver(DriverType)) {
        while (CH[0] + CH[1] + CH[2] + CH[3] >= 100.0f) {
            for (float& level : CH) {
                level = lowered(level, 0.1);
                if (level <= 0.0f)
                    level = 0.0f;
            }
        }
    }
    for (int k = 0; k < channelCount; ++k)
        CH_actual[k] = CH[k];
}

void ColorLib13::CheckLimitsActualLEDdriver()
{
    auto limit = [](float& level) {
        if (level >= 100.0f)
            level = 100.0f;
        if (level <= 0.0f)
            level = 0.0f;
    };
    for (float& level : CH_actual)
        limit(level);
    if (sumLimitedDriver(DriverType)) {
        while (CH_actual[0] + CH_actual[1] + CH_actual[2] + CH_actual[3] > 100.0f) {
            for (float& level : CH_actual) {
                level = lowered(level, 0.001);
                limit(level);
            }
        }
    }
}

void ColorLib13::EstimateVf()
{
    for (int k = 0; k < channelCount; ++k) {
        if (dVFdI_LED[k] < 0.0f)
            dVFdI_LED[k] = -dVFdI_LED[k];
        if (AlgorithmMode == MODE_PERFECT_LIFE)
            dVFdI_LED[k] = 0.0f;
    }
    const float max = static_cast<float>(MaxCurveValue);
    for (int k = 0; k < channelCount; ++k) {
        const double n = N_LEDsCH[k];
        const double rise = static_cast<double>(dVFdI_LED[k]) * static_cast<double>(CurSet_CH[k]) * 0.001
            * static_cast<double>(CH[k]) * 0.01;
        // A channel without LEDs has no string voltage (not 0 / 0).
        const double perLed = N_LEDsCH[k] > 0 ? static_cast<double>(VFoLED[k]) / n : 0.0;
        VF[k] = toFloat(n * (perLed + rise));
        const float cur = static_cast<float>(CurSet_CH[k]);
        I[k] = CH_actual[k] > 0.0f ? toFloat(static_cast<double>(cur * (CH_actual[k] / max)) * 0.001) : 0.0f;
        PowerCH[k] = I[k] * VF[k];
    }
}

void ColorLib13::LearnHydraHybridError()
{
    for (int k = 0; k < channelCount; ++k) {
        const float error = (2.0f * VF[k] - Vsup) * CorrFact[k];
        const float level = hydraLevelsFound ? hydraLevel[k] : hydraMatchLevel(CurSet_CH[k]);
        if (level >= 0.0f) {
            HydraSetpointLevel_CH[k] = level;
            I_hydraError[k] = toFloat(static_cast<double>(level)
                    * ((static_cast<double>(error) + static_cast<double>(CurSet_CH[k])) * 0.01)
                - static_cast<double>(error));
            RC[k] = I_hydraError[k] / level;
            DiffCH[k] = RC[k] / 5.0f;
        }
        Ierror[k] = error;
        CH_SwitchToHydra[k] = hydraSwitchCurrent(CurSet_CH[k]);
    }
}

bool ColorLib13::inHybridRegion(int k) const
{
    return static_cast<double>(CH_SwitchToHydra[k])
        >= static_cast<double>(CH[k]) * static_cast<double>(CurSet_CH[k]) * 0.01;
}

void ColorLib13::ModelCorrectedLEDdriver()
{
    EstimateVf();
    LearnHydraHybridError();
    float delivered[channelCount];
    for (int k = 0; k < channelCount; ++k) {
        const float iset = static_cast<float>(CurSet_CH[k]);
        Ierror[k] = (2.0f * VF[k] - Vsup) * CorrFact[k];
        if (CurSet_CH[k] == 0) {
            // No set current (the library's channel 3): nothing to correct,
            // where the model would divide by the set current.
            delivered[k] = CH[k];
            continue;
        }
        float m = ((Ierror[k] + iset) / 100.0f * CH[k] - Ierror[k]) / iset * 100.0f;
        if (inHybridRegion(k)) {
            switch (DriverType) {
            case 1:
                RC[k] = RC[k] + DiffCH[k];
                m = RC[k] * CH[k] / iset * 100.0f;
                break;
            case 0:
                m = RC[k] * CH[k] / iset * 100.0f;
                break;
            case 2:
                m = CH[k];
                break;
            default:
                break;
            }
        }
        delivered[k] = m;
    }
    if (sumLimitedDriver(DriverType)) {
        for (int k = 0; k < channelCount; ++k) {
            delivered[k] = CH[k];
            Ierror[k] = 0.0f;
        }
    }
    // The level that makes the driver deliver the set level.
    for (int k = 0; k < channelCount; ++k)
        CH_actual[k] = CH[k] - delivered[k] + CH[k];
    CheckLimitsActualLEDdriver();
}

void ColorLib13::ModelLEDdriver()
{
    LearnHydraHybridError();
    for (int k = 0; k < channelCount; ++k) {
        const float iset = static_cast<float>(CurSet_CH[k]);
        Ierror[k] = (2.0f * VF[k] - Vsup) * CorrFact[k];
        if (CurSet_CH[k] == 0) {
            CH_actual[k] = CH[k]; // no set current: delivered as set
            continue;
        }
        CH_actual[k] = ((Ierror[k] + iset) / 100.0f * CH[k] - Ierror[k]) / iset * 100.0f;
        if (inHybridRegion(k)) {
            switch (DriverType) {
            case 1:
                RC[k] = RC[k] - DiffCH[k];
                CH_actual[k] = CH[k] * RC[k] / iset * 100.0f;
                break;
            case 0:
                CH_actual[k] = CH[k] * RC[k] / iset * 100.0f;
                break;
            case 2:
            case 3:
            case 6:
            case 7:
                CH_actual[k] = CH[k];
                break;
            default:
                break;
            }
        }
    }
    CheckLimitsActualLEDdriver();
}

void ColorLib13::CalcActualColor()
{
    const float* a = CH_actual;
    if (twoChannelStrategy()) {
        X = toFloat(static_cast<double>(a[0] * cm[0][0] + a[1] * cm[1][0]) * 0.01);
        Y = toFloat(static_cast<double>(a[0] * cm[0][1] + a[1] * cm[1][1]) * 0.01);
        Z = toFloat(static_cast<double>(a[0] * cm[0][2] + a[1] * cm[1][2]) * 0.01);
    } else if (AlgorithmStrategy == STRATEGY_FOUR) {
        X = (a[0] * cm[0][0] + a[1] * cm[1][0] + a[2] * cm[2][0] + a[3] * cm4[0]) / 100.0f;
        Y = (a[0] * cm[0][1] + a[1] * cm[1][1] + a[2] * cm[2][1] + a[3] * cm4[1]) / 100.0f;
        Z = (a[0] * cm[0][2] + a[1] * cm[1][2] + a[2] * cm[2][2] + a[3] * cm4[2]) / 100.0f;
    } else {
        X = (a[0] * cm[0][0] + a[1] * cm[1][0] + a[2] * cm[2][0]) / 100.0f;
        Y = (a[0] * cm[0][1] + a[1] * cm[1][1] + a[2] * cm[2][1]) / 100.0f;
        Z = (a[0] * cm[0][2] + a[1] * cm[1][2] + a[2] * cm[2][2]) / 100.0f;
    }
    Intensity = Y / Y_max * 100.0f;
    x = X / (Y + X + Z);
    y = Y / (Y + X + Z);
}

void ColorLib13::Tranlate_xy_uprimevprime()
{
    Set_uprime = 4.0f * xset / (12.0f * yset - 2.0f * xset + 3.0f);
    Set_vprime = 9.0f * yset / (12.0f * yset - 2.0f * xset + 3.0f);
    uprime = 4.0f * x / (12.0f * y - 2.0f * x + 3.0f);
    vprime = 9.0f * y / (12.0f * y - 2.0f * x + 3.0f);
}

void ColorLib13::DefineColorError()
{
    const double du = Set_uprime - uprime;
    const double dv = Set_vprime - vprime;
    ColorError = toFloat(std::sqrt(du * du + dv * dv));
}

void ColorLib13::CIE_1931_xy_to_CCT()
{
    // McCamy's cubic.
    const float n = toFloat((static_cast<double>(x) - 0.332) / (0.1858 - static_cast<double>(y)));
    const double nd = n;
    CCTderived
        = toFloat(437.0 * std::pow(nd, 3) + 3601.0 * (nd * nd) + static_cast<double>(6861.0f * n) + 5517.0);
}

void ColorLib13::DefineCCT_Deviation()
{
    CIE_1931_xy_to_CCT();
    CCTerror = CCTset >= 1901 ? static_cast<float>(CCTset) - CCTderived : 0.0f;
}

// One pass of the closed loop: the levels move by a tenth towards the LED
// that the colour temperature lacks.
void ColorLib13::correctDrift()
{
    const float max = static_cast<float>(MaxCurveValue);
    if (pairedStrategy()) {
        const float x1 = LED_x[0], x2 = LED_x[1], x3 = LED_x[2];
        const double step = CCTerror > 5.0f ? 0.1 : (CCTerror < -5.0f ? -0.1 : 0.0);
        if (step != 0.0) {
            if (xset > x2) {
                CH[0] = lowered(CH[0], step);
                CH[1] = lowered(CH[1], -step);
                CH[2] = CH[3] = 0.0f;
            }
            if (x2 >= xset) {
                CH[0] = 0.0f;
                CH[1] = lowered(CH[1], step);
                CH[2] = lowered(CH[2], -step);
                CH[3] = 0.0f;
            }
        }
        if (xset >= x1 && xset >= x2 && xset >= x3) {
            CH[0] = max;
            CH[1] = CH[2] = CH[3] = 0.0f;
        }
        if (x1 >= xset && x2 >= xset && x3 >= xset) {
            CH[2] = max;
            CH[0] = CH[1] = CH[3] = 0.0f;
        }
        return;
    }
    const int warm = LED_x[0] > LED_x[1] ? 0 : 1;
    const int cool = 1 - warm;
    if (CCTerror > 10.0f && LED_x[warm] >= xset) {
        CH[warm] = lowered(CH[warm], 0.1);
        CH[cool] = lowered(CH[cool], -0.1);
    } else if (CCTerror < -10.0f && LED_x[warm] >= xset) {
        CH[warm] = lowered(CH[warm], -0.1);
        CH[cool] = lowered(CH[cool], 0.1);
    }
}

void ColorLib13::DefineDeviation()
{
    auto measure = [this] {
        CalcActualColor();
        Tranlate_xy_uprimevprime();
        DefineColorError();
        DefineCCT_Deviation();
    };
    measure();
    const bool twoLed = AlgorithmStrategy == STRATEGY_WARM_DIMMING
        || AlgorithmStrategy == STRATEGY_TUNABLE_WHITE || AlgorithmStrategy == STRATEGY_TUNABLE_WHITE_DT8;
    if (!twoLed && !pairedStrategy())
        return;
    for (int pass = 0; pass < 200; ++pass) {
        correctDrift();
        if (AlgorithmMode == MODE_PERFECT_LIFE)
            CheckLimitsIdealLEDdriver();
        else if (AlgorithmMode == MODE_FEED_FORWARD)
            ModelCorrectedLEDdriver();
        measure();
    }
}

void ColorLib13::DoPerfectLife()
{
    DefaultSequence();
    EstimateVf();
    CheckLimitsIdealLEDdriver();
    DefineDeviation();
}

void ColorLib13::DoOptimizedModel_LEDdriver()
{
    DefaultSequence();
    EstimateVf();
    ModelCorrectedLEDdriver();
    DefineDeviation();
}

void ColorLib13::DoPerfectDriver()
{
    DefaultSequence();
    EstimateVf();
    CheckLimitsIdealLEDdriver();
    ModelCorrected_LEDdata();
    DefineY_max();
    Fill_3x3_ColorMatrix();
    CorrectFillMatrixVersusSetpoint();
    invert_3x3_C_matrix();
    calc_XYZset();
    set_whitepoint();
    CheckWhitePointClipControl();
    DefineDeviation();
}

void ColorLib13::DoPerfectLEDs()
{
    DefaultSequence();
    EstimateVf();
    ModelLEDdriver();
    DefineDeviation();
}

void ColorLib13::DoOptimizedModel()
{
    DefaultSequence();
    EstimateVf();
    ModelCorrectedLEDdriver();
    ModelCorrected_LEDdata();
    Fill_3x3_ColorMatrix();
    CorrectFillMatrixVersusSetpoint();
    invert_3x3_C_matrix();
    set_whitepoint();
    CheckWhitePointClipControl();
    DefineDeviation();
}

using engine_debug_text::number;
using engine_debug_text::numbers;

void ColorLib13::Show_3x3_Matrix() const
{
    qCDebug(lxColorLibrary).noquote()
        << QStringLiteral("1.3 colour matrix: [%1] [%2] [%3] [%4], determinant %5")
               .arg(numbers(cm[0], 3), numbers(cm[1], 3), numbers(cm[2], 3), numbers(cm4, 3),
                   number(Determinant));
}

void ColorLib13::ShowSetpoint() const
{
    qCDebug(lxColorLibrary).noquote()
        << QStringLiteral("1.3 set point: CCT %1 K, mirek %2, x %3, y %4, X %5, Y %6, Z %7, intensity %8 %")
               .arg(QString::number(CCTset), number(MirekSet), number(xset), number(yset), number(Xset),
                   number(Yset), number(Zset), number(SetIntensity));
}

void ColorLib13::ShowDriveSetting() const
{
    qCDebug(lxColorLibrary).noquote()
        << QStringLiteral("1.3 drive: set %1, actual %2")
               .arg(numbers(CH, channelCount), numbers(CH_actual, channelCount));
}

void ColorLib13::ShowActualColor() const
{
    qCDebug(lxColorLibrary).noquote() << QStringLiteral(
        "1.3 actual colour: X %1, Y %2, Z %3, x %4, y %5, error %6, CCT %7 K, CCT error %8 K")
                                             .arg(number(X), number(Y), number(Z), number(x), number(y),
                                                 number(ColorError), number(CCTderived), number(CCTerror));
}

void c_config_v1_3(char** argv)
{
    // Large enough not to belong on the stack of a connection thread.
    auto engine = std::make_unique<ColorLib13>();
    engine->config(argv);
    for (int i = 0; i < curvePoints; ++i)
        _outputBuffer[i] = engine->outputBuffer[i];
}

int c_curve_points_v1_3()
{
    return curvePoints;
}

int curveByte13(float level)
{
    const float b = std::trunc(level * 255.0f / 100.0f);
    if (std::isnan(b) || b < 0.0f)
        return 0;
    if (b > 255.0f)
        return 255;
    return static_cast<int>(b);
}

void getCurveBytesForIndex13(int* out, int channel)
{
    const bool known = channel >= 1 && channel <= channelCount;
    for (int j = 0; j < curvePoints; ++j)
        out[j] = known ? curveByte13(_outputBuffer[curvePoints - 1 - j].CH_actual[channel - 1]) : 0;
}

void c_curve1_v1_3(int* out)
{
    getCurveBytesForIndex13(out, 1);
}

void c_curve2_v1_3(int* out)
{
    getCurveBytesForIndex13(out, 2);
}

void c_curve3_v1_3(int* out)
{
    getCurveBytesForIndex13(out, 3);
}

void c_curve4_v1_3(int* out)
{
    getCurveBytesForIndex13(out, 4);
}

void c_xy13(float* xs, float* ys)
{
    for (int j = 0; j < curvePoints; ++j) {
        xs[j] = _outputBuffer[curvePoints - 1 - j].x;
        ys[j] = _outputBuffer[curvePoints - 1 - j].y;
    }
}

void getCCTValuesFor13(double* out)
{
    for (int j = 0; j < curvePoints; ++j)
        out[j] = _outputBuffer[j].CCTset;
}

void getTotalPowerFor13(double* out)
{
    for (int j = 0; j < curvePoints; ++j) {
        const float* p = _outputBuffer[j].PowerCH;
        out[j] = ((static_cast<double>(p[0]) + p[1]) + p[2]) + p[3];
    }
}

const CurvePointRecord* outputBuffer13()
{
    return _outputBuffer;
}

} // namespace tarvesk::service::lightshape_v1_3
