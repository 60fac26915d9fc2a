#include "service/rpc/rpc_methods/lightshape/colorlib/engines/lightshape_engine_v1_1.h"

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

void Engine::config(char** argv)
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
    for (int i = 1; i <= curvePoints; ++i) {
        CCTset = cct;
        Translate_CCT_xy();
        if (AlgorithmStrategy == STRATEGY_WARM_DIMMING)
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
        default:
            ran = false;
        }
        if (ran) {
            CalcActualColor();
            Tranlate_xy_uprimevprime();
            DefineColorError();
        }
        SaveCurveInfoToOutputBuffer(i);
        cct = CCTmax - static_cast<std::int32_t>(std::trunc(static_cast<float>(i) * step));
    }
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

void Engine::Prelude()
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
    if (AlgorithmStrategy == STRATEGY_TUNABLE_WHITE || AlgorithmStrategy == STRATEGY_WARM_DIMMING)
        Y_max = Yc[0] < Yc[1] ? Yc[0] : Yc[1];
}

void Engine::fillColumn(int led, float F)
{
    const float X = LED_x[led] / LED_y[led] * F;
    cm[led][0] = X;
    cm[led][1] = F;
    cm[led][2] = X / LED_x[led] - X - F;
}

void Engine::Fill_3x3_OpenLoopColorMatrix()
{
    if (AlgorithmStrategy != STRATEGY_TUNABLE_WHITE && AlgorithmStrategy != STRATEGY_WARM_DIMMING)
        return;
    for (int led = 0; led < 2; ++led)
        fillColumn(led, static_cast<float>(CurSet_CH[led]) / DataSheetCurrent_LED[led] * LED_Y[led]);
    // A column without an LED that keeps the matrix invertible.
    cm[2][0] = 1000.0f;
    cm[2][1] = 0.0f;
    cm[2][2] = 1000.0f;
}

void Engine::Fill_3x3_CompensatedColorMatrix()
{
    if (AlgorithmStrategy != STRATEGY_TUNABLE_WHITE && AlgorithmStrategy != STRATEGY_WARM_DIMMING)
        return;
    for (int led = 0; led < 2; ++led)
        fillColumn(led, Yc[led]);
    cm[2][0] = 1000.0f;
    cm[2][1] = 0.0f;
    cm[2][2] = 1000.0f;
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
    if (AlgorithmStrategy == STRATEGY_TUNABLE_WHITE || AlgorithmStrategy == STRATEGY_WARM_DIMMING) {
        const float max = static_cast<float>(MaxCurveValue);
        CH[0] = (icm[0][0] * Xset + icm[1][0] * Yset + icm[2][0] * Zset) * max;
        CH[1] = (icm[0][1] * Xset + icm[1][1] * Yset + icm[2][1] * Zset) * max;
        CH[2] = CH[3] = 0.0f;
    }
    for (float& level : CH) {
        if (!(level > 0.0f))
            level = 0.0f;
    }
}

void Engine::CalcActualColor()
{
    if (AlgorithmStrategy == STRATEGY_TUNABLE_WHITE || AlgorithmStrategy == STRATEGY_WARM_DIMMING) {
        X = (CH_actual[0] * cm[0][0] + CH_actual[1] * cm[1][0]) / 100.0f;
        Y = (CH_actual[0] * cm[0][1] + CH_actual[1] * cm[1][1]) / 100.0f;
        Z = (CH_actual[0] * cm[0][2] + CH_actual[1] * cm[1][2]) / 100.0f;
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

void Engine::EstimateVf()
{
    const bool falling = dVFdI_LED[0] < 0.0f;
    for (int c = 0; c < channelCount; ++c) {
        const double current = static_cast<double>(CurSet_CH[c]) * 0.001 * static_cast<double>(CH[c]) / 100.0;
        const double rise = static_cast<double>(dVFdI_LED[c]) * current;
        const double perLed = VFo[c] / static_cast<float>(N_LEDsCH[c]);
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
        float delivered = ((Ierror[c] + cur) / 100.0f * CH[c] - Ierror[c]) / cur * 100.0f;
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
        // The drive level that makes the driver deliver the set level.
        CH_actual[c] = limitLevel(2.0f * CH[c] - delivered);
    }
}

void Engine::ModelCorrected_LEDdata()
{
    const float max = static_cast<float>(MaxCurveValue);
    for (int c = 0; c < channelCount; ++c) {
        const float n = static_cast<float>(N_LEDsCH[c]);
        const float cur = static_cast<float>(CurSet_CH[c]);
        const double rise
            = static_cast<double>(n * dVFdI_LED[c] * cur) * 0.001 * static_cast<double>(CH[c]) / 100.0;
        const float vfm = toFloat(static_cast<double>(n) * (static_cast<double>(VFo[c] / n) - rise));
        Tj[c] = toFloat(static_cast<double>(TheatSink)
            + static_cast<double>(vfm / n * (CH_actual[c] / max) * Rth_LED[c] * cur) * 0.001);
        VF[c] = vfm;
        const float tref = toFloat(static_cast<double>(TA_calibration)
            + static_cast<double>(Rth_LED[c] * DataSheetCurrent_LED[c]) * 0.001 * static_cast<double>(VFo[c])
                / static_cast<double>(n));
        const float t = (Tj[c] - tref) / 75.0f;
        Yc[c] = LED_Y[c] * std::pow(cur / DataSheetCurrent_LED[c], DroopLED[c])
            * std::exp(std::log(HC_LED[c]) * t);
        I[c] = toFloat(static_cast<double>(CH_actual[c] / max * cur) * 0.001);
        PowerCH[c] = VF[c] * I[c];
    }
}

void Engine::DoPerfectLife()
{
    Prelude();
    Fill_3x3_OpenLoopColorMatrix();
    invert_3x3_C_matrix();
    calc_XYZset();
    set_whitepoint();
    for (int c = 0; c < channelCount; ++c)
        CH_actual[c] = CH[c];
}

void Engine::DoOpenLoop()
{
    Prelude();
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
    for (int c = 0; c < channelCount; ++c)
        CH_actual[c] = CH[c];
}

void Engine::DoOptimizedModel_LEDdriver()
{
    Prelude();
    calc_XYZset();
    Fill_3x3_OpenLoopColorMatrix();
    invert_3x3_C_matrix();
    set_whitepoint();
    EstimateVf();
    ModelCorrectedLEDdriver();
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
