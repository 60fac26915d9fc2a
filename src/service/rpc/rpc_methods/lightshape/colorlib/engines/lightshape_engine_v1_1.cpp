#include "service/rpc/rpc_methods/lightshape/colorlib/engines/lightshape_engine_v1_1.h"

#include "service/rpc/rpc_methods/lightshape/colorlib/engines/engine_debug_text.h"
#include "service/rpc/rpc_methods/lightshape/colorlib/ilightshape_color_library.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace tarvesk::service::lightshape_v1_1 {

namespace {

// The records of the latest run.
CurvePointRecord _outputBuffer[curvePoints];

float toFloat(double value)
{
    return static_cast<float>(value);
}

// The driver's limits: 100 or more is full scale, 0 or less is off. A level
// that is not a number stays one, so that the library refuses it rather than
// handing out a curve byte of 0.
float limitLevel(float level)
{
    if (level >= 100.0f)
        return 100.0f;
    if (level <= 0.0f)
        return 0.0f;
    return level;
}

} // namespace

std::int32_t Engine::hydraWindowCentre(int channel, std::int32_t setCurrent)
{
    if (setCurrent >= 200)
        return 198;
    return channel < 2 ? 150 : 154;
}

float Engine::hydraMatchLevel(std::int32_t setCurrent, std::int32_t centre)
{
    float level = 100.0f;
    float match = -1.0f;
    for (int step = 0; step < 1000; ++step) {
        level = toFloat(static_cast<double>(level) - 0.1);
        const double current = static_cast<double>(level * static_cast<float>(setCurrent)) * 0.01;
        if (centre - 1 <= current && current <= centre + 1)
            match = level;
    }
    return match;
}

void Engine::init_debug_values()
{
    for (int c = 0; c < channelCount; ++c) {
        HC_LED[c] = 1.0f;
        Rth_LED[c] = 18.0f;
        VFo[c] = 3.0f;
        dVFdT_LED[c] = -0.0033f;
        DroopLED[c] = 1.0f;
    }
    Vsup = 50.0f;
    TA_calibration = 28.0f;
    CH[0] = CH[1] = CH_actual[0] = CH_actual[1] = 1.0f;
    CH[2] = CH[3] = CH_actual[2] = CH_actual[3] = 0.0f;
}

void Engine::config(char** argv)
{
    init_debug_values();

    auto integer = [&](int i) { return static_cast<std::int32_t>(std::atoi(argv[i])); };
    auto real = [&](int i) { return static_cast<float>(std::atof(argv[i])); };
    CCTset = integer(1);
    SetConstantLumen = static_cast<float>(integer(2));
    AlgorithmStrategy = integer(3);
    AlgorithmMode = integer(4);
    for (int c = 0; c < channelCount; ++c)
        CurSet_CH[c] = integer(5 + c);
    for (int led = 0; led < channelCount; ++led) {
        const int base = 9 + 8 * led;
        LED_Y[led] = static_cast<float>(integer(base));
        LED_x[led] = real(base + 1);
        LED_y[led] = real(base + 2);
        DataSheetCurrent_LED[led] = static_cast<float>(integer(base + 3));
        DroopLED[led] = real(base + 4);
        VFo[led] = real(base + 5);
        dVFdI_LED[led] = real(base + 6);
        HC_LED[led] = real(base + 7);
    }
    TheatSink = real(41);
    Vsup = static_cast<float>(integer(42));
    for (int c = 0; c < channelCount; ++c)
        CorrFact[c] = real(43 + c);
    DriverType = integer(47);
    for (int c = 0; c < channelCount; ++c)
        N_LEDsCH[c] = integer(48 + c);
    CCTmax = integer(52);
    CCTmin = integer(53);

    for (int c = 0; c < channelCount; ++c)
        hydraLevel[c] = hydraMatchLevel(CurSet_CH[c], hydraWindowCentre(c, CurSet_CH[c]));
    hydraLevelsFound = true;

    // The reference light output comes from one ideal pass.
    DoPerfectLife();
    SetIntensity = SetConstantLumen / Y_max * 100.0f;
    const float dI = SetIntensity / 65.0f;
    const float step = toFloat(static_cast<double>(CCTmax - CCTmin) * 0.015625);

    std::int32_t cct = CCTmax;
    float level = 100.0f;
    for (int i = 1; i <= curvePoints; ++i) {
        level = level - 1.5625f;
        CCTset = cct;
        Translate_CCT_xy();
        if (AlgorithmStrategy == STRATEGY_WARM_DIMMING || AlgorithmStrategy == STRATEGY_THREE_DIMMING
            || AlgorithmStrategy == STRATEGY_TWO_LIMITED)
            SetIntensity = SetIntensity - dI;
        bool ran = true;
        switch (AlgorithmMode) {
        case MODE_PERFECT_LIFE:
            DoPerfectLife();
            break;
        case MODE_OPEN_LOOP:
            DoOpenLoop();
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
        default:
            ran = false;
        }
        if (ran) {
            CalcActualColor();
            Tranlate_xy_uprimevprime();
            DefineColorError();
        }
        const float clamped = level > 100.0f ? 100.0f : (level > 0.0f ? level : 0.0f);
        if (AlgorithmStrategy == STRATEGY_PATH_LEVEL) {
            CH[0] = CH[1] = CH_actual[0] = CH_actual[1] = clamped;
            CH[2] = CH[3] = CH_actual[2] = CH_actual[3] = 0.0f;
            if (AlgorithmMode == MODE_FEED_FORWARD)
                ModelCorrectedLEDdriver();
        }
        SaveCurveInfoToOutputBuffer(i);
        level = clamped;
        cct = CCTmax - static_cast<std::int32_t>(std::trunc(static_cast<float>(i) * step));
    }
    // A window of 0 leaves both curves as computed.
    CurveKneePointCorrection(1, 0);
    CurveKneePointCorrection(2, 0);
}

void Engine::Translate_CCT_xy()
{
    if (CCTset <= 1667)
        CCTset = 1667;
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

void Engine::SaveCurveInfoToOutputBuffer(int point)
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
    for (int c = 0; c < channelCount; ++c) {
        r.CH_actual[c] = CH_actual[c];
        r.VF[c] = VF[c];
        r.PowerCH[c] = PowerCH[c];
    }
}

void Engine::SimpleCorrected_LEDdata()
{
    for (int c = 0; c < channelCount; ++c) {
        const float cur = static_cast<float>(CurSet_CH[c]);
        I[c] = toFloat(static_cast<double>(CH[c] / static_cast<float>(MaxCurveValue) * cur) * 0.001);
        PowerCH[c] = I[c] * VFo[c];
        Yc[c] = cur * LED_Y[c] / DataSheetCurrent_LED[c];
    }
    DefineY_max();
}

void Engine::DefineY_max()
{
    switch (AlgorithmStrategy) {
    case STRATEGY_TUNABLE_WHITE:
    case STRATEGY_WARM_DIMMING:
    case STRATEGY_TWO_LIMITED:
        Y_max = Yc[0] < Yc[1] ? Yc[0] : Yc[1];
        break;
    case STRATEGY_THREE_PAIRED:
    case STRATEGY_THREE:
    case STRATEGY_THREE_ALT:
    case STRATEGY_FOUR: {
        const int leds = AlgorithmStrategy == STRATEGY_FOUR ? 4 : 3;
        Y_max = Yc[0];
        for (int c = 1; c < leds; ++c) {
            if (Yc[c] < Y_max)
                Y_max = Yc[c];
        }
        break;
    }
    case STRATEGY_THREE_DIMMING:
        Y_max = Yc[0];
        for (int c = 1; c < 3; ++c) {
            if (Yc[c] > Y_max)
                Y_max = Yc[c];
        }
        break;
    default:
        break; // path level: no reference light output
    }
}

void Engine::fillColumn(int column, int led, float F)
{
    const float X = LED_x[led] / LED_y[led] * F;
    cm[column][0] = X;
    cm[column][1] = F;
    cm[column][2] = X / LED_x[led] - X - F;
}

// A column without an LED that keeps the matrix invertible.
void Engine::fillDummy(int column, float X, float Y, float Z)
{
    cm[column][0] = X;
    cm[column][1] = Y;
    cm[column][2] = Z;
}

float Engine::ledOutput(int led, bool compensated) const
{
    if (compensated)
        return Yc[led];
    return static_cast<float>(CurSet_CH[led]) / DataSheetCurrent_LED[led] * LED_Y[led];
}

void Engine::fillColorMatrix(bool compensated)
{
    auto led = [&](int column, int l) { fillColumn(column, l, ledOutput(l, compensated)); };
    switch (AlgorithmStrategy) {
    case STRATEGY_TUNABLE_WHITE:
    case STRATEGY_WARM_DIMMING:
    case STRATEGY_TWO_LIMITED:
        led(0, 0);
        led(1, 1);
        fillDummy(2, 1000.0f, 0.0f, 1000.0f);
        return;
    case STRATEGY_THREE:
    case STRATEGY_THREE_ALT:
        for (int l = 0; l < 3; ++l)
            led(l, l);
        return;
    case STRATEGY_THREE_PAIRED:
    case STRATEGY_THREE_DIMMING:
        break;
    default:
        return; // the matrix stays as it was
    }
    // Three LEDs: the two whose x enclose the target, a dummy for the third.
    const float a = LED_x[0], b = LED_x[1], c = LED_x[2];
    const float xs = xset;
    if (b < a && a < c) {
        led(0, 0);
        if (xs >= a) {
            fillDummy(1, 1000.0f, 1000.0f, 0.0f);
            led(2, 2);
        } else {
            led(1, 1);
            fillDummy(2, 1000.0f, 0.0f, 1000.0f);
        }
    } else if (b < c && c < a) {
        if (xs > c) {
            led(0, 0);
            fillDummy(1, 0.0f, 1000.0f, 1000.0f);
        } else {
            fillDummy(0, 1000.0f, 0.0f, 1000.0f);
            led(1, 1);
        }
        led(2, 2);
    } else if (c < b && b < a) {
        if (xs >= b) {
            led(0, 0);
            led(1, 1);
            const float F = ledOutput(2, compensated);
            const float X = LED_x[2] / LED_y[2] * F;
            fillDummy(2, 1000.0f, 1000.0f, X / LED_x[2] - X - F);
        } else {
            fillDummy(0, 1000.0f, 0.0f, 1000.0f);
            led(1, 1);
            led(2, 2);
        }
    } else if (c <= a && a < b) {
        led(0, 0);
        if (xs >= a) {
            led(1, 1);
            fillDummy(2, 0.0f, 1000.0f, 1000.0f);
        } else {
            fillDummy(1, 1000.0f, 0.0f, 1000.0f);
            led(2, 2);
        }
    } else if (a < b && b < c) {
        if (xs < b) {
            led(0, 0);
            led(1, 1);
            fillDummy(2, 1000.0f, 0.0f, 1000.0f);
        } else {
            fillDummy(0, 1000.0f, 1000.0f, 0.0f);
            led(1, 1);
            led(2, 2);
        }
    } else if (a < c && c < b) {
        if (xs < c) {
            led(0, 0);
            fillDummy(1, 1000.0f, 0.0f, 1000.0f);
        } else {
            fillDummy(0, 0.0f, 1000.0f, 1000.0f);
            led(1, 1);
        }
        led(2, 2);
    }
}

void Engine::Fill_3x3_OpenLoopColorMatrix()
{
    fillColorMatrix(false);
}

void Engine::Fill_3x3_CompensatedColorMatrix()
{
    fillColorMatrix(true);
}

void Engine::invert_3x3_C_matrix()
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

void Engine::calc_XYZset()
{
    Yset = SetIntensity / 100.0f * Y_max;
    Xset = xset / yset * Yset;
    Zset = Xset / xset - Xset - Yset;
}

void Engine::set_whitepoint()
{
    const float max = static_cast<float>(MaxCurveValue);
    auto level = [&](int j) { return (icm[0][j] * Xset + icm[1][j] * Yset + icm[2][j] * Zset) * max; };
    switch (AlgorithmStrategy) {
    case STRATEGY_TUNABLE_WHITE:
    case STRATEGY_WARM_DIMMING:
        CH[0] = level(0);
        CH[1] = level(1);
        CH[2] = CH[3] = 0.0f;
        break;
    case STRATEGY_THREE_PAIRED:
    case STRATEGY_THREE:
    case STRATEGY_THREE_ALT:
    case STRATEGY_THREE_DIMMING:
        CH[0] = level(0);
        CH[1] = level(1);
        CH[2] = level(2);
        CH[3] = 0.0f;
        break;
    case STRATEGY_TWO_LIMITED:
        CH[0] = level(0);
        CH[1] = level(1);
        if (CH[0] >= 100.0f)
            CH[0] = CH[1] = 100.0f;
        else if (CH[1] >= 100.0f)
            CH[0] = 100.0f;
        CH[2] = CH[3] = 0.0f;
        break;
    default:
        break; // the levels stay as they were
    }
    for (float& l : CH) {
        if (!(l > 0.0f))
            l = 0.0f;
    }
}

void Engine::CalcActualColor()
{
    const float* a = CH_actual;
    if (AlgorithmStrategy == STRATEGY_TUNABLE_WHITE || AlgorithmStrategy == STRATEGY_WARM_DIMMING) {
        X = (a[0] * cm[0][0] + a[1] * cm[1][0]) / 100.0f;
        Y = (a[0] * cm[0][1] + a[1] * cm[1][1]) / 100.0f;
        Z = (a[0] * cm[0][2] + a[1] * cm[1][2]) / 100.0f;
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
    x = X / (X + Y + Z);
    y = Y / (X + Y + Z);
}

void Engine::Tranlate_xy_uprimevprime()
{
    Set_uprime = 4.0f * xset / (12.0f * yset - 2.0f * xset + 3.0f);
    Set_vprime = 9.0f * yset / (12.0f * yset - 2.0f * xset + 3.0f);
    uprime = 4.0f * x / (12.0f * y - 2.0f * x + 3.0f);
    vprime = 9.0f * y / (12.0f * y - 2.0f * x + 3.0f);
}

void Engine::DefineColorError()
{
    const double du = Set_uprime - uprime;
    const double dv = Set_vprime - vprime;
    ColorError = toFloat(std::sqrt(du * du + dv * dv));
}

void Engine::DefineDeviation()
{
    CalcActualColor();
    Tranlate_xy_uprimevprime();
    DefineColorError();
}

// A channel without LEDs (the library's channels 3 and 4) has no string
// voltage, rather than the 0 / 0 of dividing by its LED count.
float Engine::perLedVoltage(int c) const
{
    return N_LEDsCH[c] > 0 ? VFo[c] / static_cast<float>(N_LEDsCH[c]) : 0.0f;
}

void Engine::EstimateVf()
{
    const bool falling = dVFdI_LED[0] < 0.0f;
    for (int c = 0; c < channelCount; ++c) {
        const double current = static_cast<double>(CurSet_CH[c]) * 0.001 * static_cast<double>(CH[c]) / 100.0;
        const double rise = static_cast<double>(dVFdI_LED[c]) * current;
        const double perLed = perLedVoltage(c);
        VF[c] = toFloat(static_cast<double>(N_LEDsCH[c]) * (falling ? perLed - rise : perLed + rise));
    }
}

void Engine::LearnHydraHybridError()
{
    for (int c = 0; c < channelCount; ++c) {
        const float error = (2.0f * VF[c] - Vsup) * CorrFact[c];
        const std::int32_t centre = hydraWindowCentre(c, CurSet_CH[c]);
        const float level = hydraLevelsFound ? hydraLevel[c] : hydraMatchLevel(CurSet_CH[c], centre);
        if (level >= 0.0f) {
            HydraSetpointLevel_CH[c] = level;
            I_hydraError[c] = toFloat(static_cast<double>(level)
                    * (static_cast<double>(error) + static_cast<double>(CurSet_CH[c])) * 0.01
                - static_cast<double>(error));
            RC[c] = I_hydraError[c] / level;
            DiffCH[c] = RC[c] / 5.0f;
        }
        Ierror[c] = error;
        CH_SwitchToHydra[c] = centre;
    }
}

float Engine::hybridLevel(int c) const
{
    return RC[c] * CH[c] / static_cast<float>(CurSet_CH[c]) * 100.0f;
}

void Engine::ModelLEDdriver()
{
    LearnHydraHybridError();
    for (int c = 0; c < channelCount; ++c) {
        const float cur = static_cast<float>(CurSet_CH[c]);
        if (CurSet_CH[c] == 0) {
            // No set current, no current error: the level stays as set
            // (the driver model divides by the set current).
            CH_actual[c] = limitLevel(CH[c]);
            continue;
        }
        float level = ((Ierror[c] + cur) / 100.0f * CH[c] - Ierror[c]) / cur * 100.0f;
        if (static_cast<double>(CH_SwitchToHydra[c]) >= static_cast<double>(CH[c] * cur) * 0.01) {
            switch (DriverType) {
            case 1:
                RC[c] = RC[c] - DiffCH[c];
                level = hybridLevel(c);
                break;
            case 0:
                level = hybridLevel(c);
                break;
            case 2:
                level = toFloat(static_cast<double>(CH[c]) * 1.0068 - 1.3834);
                break;
            case 3:
                level = CH[c];
                break;
            default:
                break;
            }
        }
        CH_actual[c] = limitLevel(level);
    }
}

void Engine::ModelCorrectedLEDdriver()
{
    EstimateVf();
    LearnHydraHybridError();
    for (int c = 0; c < channelCount; ++c) {
        const float cur = static_cast<float>(CurSet_CH[c]);
        float delivered = CH[c]; // without set current, as set
        if (CurSet_CH[c] != 0) {
            delivered = ((Ierror[c] + cur) / 100.0f * CH[c] - Ierror[c]) / cur * 100.0f;
            if (static_cast<double>(CH_SwitchToHydra[c]) >= static_cast<double>(CH[c] * cur) * 0.01) {
                switch (DriverType) {
                case 1:
                    RC[c] = RC[c] + DiffCH[c];
                    delivered = hybridLevel(c);
                    break;
                case 0:
                    delivered = hybridLevel(c);
                    break;
                case 2:
                    delivered = toFloat(static_cast<double>(CH[c]) * 1.0068 - 1.3834);
                    break;
                case 3:
                    delivered = CH[c];
                    break;
                default:
                    break;
                }
            }
        }
        // The drive level that makes the driver deliver the set level.
        CH_actual[c] = limitLevel(2.0f * CH[c] - delivered);
    }
}

void Engine::IdealCurveLEDdriver()
{
    for (int c = 0; c < channelCount; ++c)
        CH_actual[c] = CH[c];
}

void Engine::ModelCorrected_LEDdata()
{
    const float max = static_cast<float>(MaxCurveValue);
    for (int c = 0; c < channelCount; ++c) {
        const bool leds = N_LEDsCH[c] > 0;
        const float n = static_cast<float>(N_LEDsCH[c]);
        const float cur = static_cast<float>(CurSet_CH[c]);
        const double rise
            = static_cast<double>(n * dVFdI_LED[c] * cur) * 0.001 * static_cast<double>(CH[c]) / 100.0;
        const float vfm = toFloat(static_cast<double>(n) * (static_cast<double>(perLedVoltage(c)) - rise));
        // Without LEDs the junction is at the heat sink's temperature and
        // the datasheet point at the ambient one.
        const float heating = leds ? vfm / n * (CH_actual[c] / max) * Rth_LED[c] * cur : 0.0f;
        Tj[c] = toFloat(static_cast<double>(TheatSink) + static_cast<double>(heating) * 0.001);
        VF[c] = vfm;
        const double referenceHeating = leds ? static_cast<double>(Rth_LED[c] * DataSheetCurrent_LED[c])
                * 0.001 * static_cast<double>(VFo[c]) / static_cast<double>(n)
                                             : 0.0;
        const float tref = toFloat(static_cast<double>(TA_calibration) + referenceHeating);
        const float t = (Tj[c] - tref) / 75.0f;
        Yc[c] = LED_Y[c] * std::pow(cur / DataSheetCurrent_LED[c], DroopLED[c])
            * std::exp(std::log(HC_LED[c]) * t);
        I[c] = toFloat(static_cast<double>(CH_actual[c] / max * cur) * 0.001);
        PowerCH[c] = VF[c] * I[c];
    }
}

void Engine::DoPerfectLife()
{
    SimpleCorrected_LEDdata();
    Fill_3x3_OpenLoopColorMatrix();
    invert_3x3_C_matrix();
    calc_XYZset();
    set_whitepoint();
    IdealCurveLEDdriver();
}

void Engine::DoOpenLoop()
{
    SimpleCorrected_LEDdata();
    Fill_3x3_OpenLoopColorMatrix();
    invert_3x3_C_matrix();
    calc_XYZset();
    set_whitepoint();
    ModelLEDdriver();
    ModelCorrected_LEDdata();
    DefineY_max();
    // The actual colour is then that of the uncorrected levels on the modelled LEDs.
    Fill_3x3_CompensatedColorMatrix();
    invert_3x3_C_matrix();
    IdealCurveLEDdriver();
}

void Engine::DoOptimizedModel_LEDdriver()
{
    SimpleCorrected_LEDdata();
    calc_XYZset();
    Fill_3x3_OpenLoopColorMatrix();
    invert_3x3_C_matrix();
    set_whitepoint();
    EstimateVf();
    ModelCorrectedLEDdriver();
}

void Engine::DoPerfectDriver()
{
    SimpleCorrected_LEDdata();
    calc_XYZset();
    Fill_3x3_OpenLoopColorMatrix();
    invert_3x3_C_matrix();
    set_whitepoint();
    IdealCurveLEDdriver();
    ModelCorrected_LEDdata();
    DefineY_max();
    calc_XYZset();
    Fill_3x3_CompensatedColorMatrix();
    invert_3x3_C_matrix();
    set_whitepoint();
}

void Engine::DoPerfectLEDs()
{
    SimpleCorrected_LEDdata();
    calc_XYZset();
    Fill_3x3_OpenLoopColorMatrix();
    invert_3x3_C_matrix();
    set_whitepoint();
    EstimateVf();
    ModelLEDdriver();
}

void Engine::DoOptimizedModel()
{
    SimpleCorrected_LEDdata();
    calc_XYZset();
    Fill_3x3_OpenLoopColorMatrix();
    invert_3x3_C_matrix();
    set_whitepoint();
    EstimateVf();
    ModelCorrectedLEDdriver();
    ModelCorrected_LEDdata();
    Fill_3x3_CompensatedColorMatrix();
    invert_3x3_C_matrix();
    set_whitepoint();
    ModelCorrectedLEDdriver();
}

float Engine::bezier(float t, float p0, float p1, float p2)
{
    const float u = 1.0f - t;
    return u * u * p0 + 2.0f * t * u * p1 + t * t * p2;
}

void Engine::CurveKneePointCorrection(int curve, int window)
{
    if ((curve != 1 && curve != 2) || window < 3 || window > 25)
        return;
    const int ch = curve - 1;
    auto C = [&](int k) { return outputBuffer[k].CH_actual[ch]; };
    auto T = [&](int k) { return static_cast<float>(outputBuffer[k].CCTset); };
    auto d = [&](int k) { return C(k) - C(k + 1); };
    // The knee: where the slope changes most.
    int knee = 1;
    float largest = std::fabs(d(0) - d(1));
    for (int k = 2; k <= 62; ++k) {
        const float change = std::fabs(d(k - 1) - d(k));
        if (change > largest) {
            largest = change;
            knee = k;
        }
    }
    const int lo = std::max(knee - window / 2, 0);
    const int hi = std::min(knee + window / 2 + 1, 63);
    if (!(T(lo) >= T(hi)))
        return;
    float smoothed[curvePoints] = {};
    int j = lo + 1;
    float t = 0.0f;
    float bT = 0.0f;
    do {
        bT = bezier(t, T(lo), T(knee + 1), T(hi + 1));
        // Only the points of the window are replaced: the walk along the
        // path must not run past them (nor past the last record) where the
        // colour temperatures lie closer together than 5 K.
        if (j <= hi + 1 && (std::fabs(bT - T(j)) < 5.0f || T(j) > bT)) {
            smoothed[j] = bezier(t, C(lo), C(knee + 1), C(hi + 1));
            ++j;
        }
        t = toFloat(static_cast<double>(t) + 0.001);
    } while (bT >= T(hi) && t <= 1.0f);
    for (int k = lo + 1; k <= hi + 1; ++k) {
        if (smoothed[k] > 0.00001f)
            outputBuffer[k].CH_actual[ch] = smoothed[k];
    }
}

using engine_debug_text::number;
using engine_debug_text::numbers;

void Engine::Show_3x3_Matrix() const
{
    qCDebug(lxColorLibrary).noquote()
        << QStringLiteral("1.1 colour matrix: [%1] [%2] [%3] [%4], determinant %5")
               .arg(numbers(cm[0], 3), numbers(cm[1], 3), numbers(cm[2], 3), numbers(cm4, 3),
                   number(Determinant));
}

void Engine::ShowSetpoint() const
{
    qCDebug(lxColorLibrary).noquote()
        << QStringLiteral("1.1 set point: CCT %1 K, x %2, y %3, X %4, Y %5, Z %6, intensity %7 %")
               .arg(QString::number(CCTset), number(xset), number(yset), number(Xset), number(Yset),
                   number(Zset), number(SetIntensity));
}

void Engine::ShowDriveSetting() const
{
    qCDebug(lxColorLibrary).noquote()
        << QStringLiteral("1.1 drive: set %1, actual %2")
               .arg(numbers(CH, channelCount), numbers(CH_actual, channelCount));
}

void Engine::ShowActualColor() const
{
    qCDebug(lxColorLibrary).noquote()
        << QStringLiteral(
               "1.1 actual colour: X %1, Y %2, Z %3, x %4, y %5, u' %6, v' %7, error %8, intensity %9 %")
               .arg(number(X), number(Y), number(Z), number(x), number(y), number(uprime), number(vprime),
                   number(ColorError), number(Intensity));
}

void Engine::ShowCurveInfo(int point) const
{
    if (point < 1 || point > curvePoints)
        return;
    const CurvePointRecord& r = outputBuffer[point - 1];
    qCDebug(lxColorLibrary).noquote()
        << QStringLiteral("1.1 point %1: CCT %2 K, set x %3 y %4, lumen %5, x %6 y %7, error %8, Y %9, "
                          "levels %10, VF %11, power %12")
               .arg(QString::number(point), QString::number(r.CCTset), number(r.xset), number(r.yset),
                   number(r.SetConstantLumen), number(r.x), number(r.y), number(r.ColorError), number(r.Y))
               .arg(numbers(r.CH_actual, channelCount), numbers(r.VF, channelCount),
                   numbers(r.PowerCH, channelCount));
}

void c_config_v1_1(char** argv)
{
    // Large enough not to belong on the stack of a connection thread.
    auto engine = std::make_unique<Engine>();
    engine->config(argv);
    for (int i = 0; i < curvePoints; ++i)
        _outputBuffer[i] = engine->outputBuffer[i];
}

int c_curve_points_v1_1()
{
    return curvePoints;
}

int curveByte(float level)
{
    const float b = std::trunc(level * 255.0f / 100.0f);
    if (std::isnan(b) || b < 0.0f)
        return 0;
    if (b > 255.0f)
        return 255;
    return static_cast<int>(b);
}

void getCurveBytesForIndex(int* out, int channel)
{
    for (int k = 0; k < curvePoints; ++k) {
        const bool known = channel >= 1 && channel <= channelCount;
        out[curvePoints - 1 - k] = known ? curveByte(_outputBuffer[k].CH_actual[channel - 1]) : 0;
    }
}

void c_curve1_v1_1(int* out)
{
    getCurveBytesForIndex(out, 1);
}

void c_curve2_v1_1(int* out)
{
    getCurveBytesForIndex(out, 2);
}

void c_curve3_v1_1(int* out)
{
    getCurveBytesForIndex(out, 3);
}

void c_curve4_v1_1(int* out)
{
    getCurveBytesForIndex(out, 4);
}

void c_xy(float* xs, float* ys)
{
    for (int k = 0; k < curvePoints; ++k) {
        xs[curvePoints - 1 - k] = _outputBuffer[k].x;
        ys[curvePoints - 1 - k] = _outputBuffer[k].y;
    }
}

const CurvePointRecord* outputBuffer()
{
    return _outputBuffer;
}

} // namespace tarvesk::service::lightshape_v1_1
