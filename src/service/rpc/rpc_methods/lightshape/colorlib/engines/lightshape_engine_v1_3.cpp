#include "service/rpc/rpc_methods/lightshape/colorlib/engines/lightshape_engine_v1_3.h"

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
    return AlgorithmStrategy == 0 || AlgorithmStrategy == STRATEGY_WARM_DIMMING || AlgorithmStrategy == 8
        || AlgorithmStrategy == STRATEGY_TUNABLE_WHITE || AlgorithmStrategy == STRATEGY_TUNABLE_WHITE_DT8;
}

void ColorLib13::config(char** argv)
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
    const bool mirekPath = AlgorithmStrategy == 8 || AlgorithmStrategy == 10
        || AlgorithmStrategy == STRATEGY_TUNABLE_WHITE_DT8;
    DALI_type = mirekPath ? 8 : 6;
    const float mirekStep = (MirekMin - MirekMax) * 0.015625f;
    const float kelvinStep = toFloat(static_cast<double>(CCTmax - CCTmin) * 0.015625);

    for (int i = 1; i <= curvePoints; ++i) {
        const float offset = static_cast<float>(i - 1);
        if (mirekPath)
            MirekSet = std::trunc(MirekMax + std::trunc(offset * mirekStep));
        else
            CCTset = CCTmax - static_cast<std::int32_t>(std::trunc(offset * kelvinStep));
        Translate_CCT_xy();
        if (AlgorithmStrategy == STRATEGY_WARM_DIMMING || AlgorithmStrategy == 6)
            SetIntensity = SetIntensity - dI;
        switch (AlgorithmMode) {
        case MODE_PERFECT_LIFE:
            DoPerfectLife();
            break;
        case MODE_FEED_FORWARD:
            DoOptimizedModel_LEDdriver();
            break;
        default:
            break; // open loop: the levels of the previous point stay
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

void ColorLib13::DefineY_max()
{
    switch (AlgorithmStrategy) {
    case 0:
    case STRATEGY_TUNABLE_WHITE:
    case STRATEGY_TUNABLE_WHITE_DT8:
        Y_max = Yc[0] + Yc[1];
        break;
    case STRATEGY_WARM_DIMMING:
    case 8:
        Y_max = Yc[0] <= Yc[1] ? Yc[0] : Yc[1];
        break;
    default:
        break;
    }
}

void ColorLib13::fillRow(int led, float F)
{
    const float X = LED_x[led] / LED_y[led] * F;
    cm[led][0] = X;
    cm[led][1] = F;
    cm[led][2] = X / LED_x[led] - X - F;
}

void ColorLib13::Fill_3x3_ColorMatrix()
{
    if (!twoChannelStrategy())
        return;
    for (int led = 0; led < 2; ++led) {
        const float F = AlgorithmMode == MODE_PERFECT_LIFE
            ? static_cast<float>(CurSet_CH[led]) / DataSheetCurrent_LED[led] * LED_Y[led]
            : Yc[led];
        fillRow(led, F);
    }
    // A row without an LED that keeps the matrix invertible.
    cm[2][0] = 1.0f;
    cm[2][1] = 0.0f;
    cm[2][2] = 1.0f;
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
    if (twoChannelStrategy()) {
        const float max = static_cast<float>(MaxCurveValue);
        CH[0] = (icm[0][0] * Xset + icm[1][0] * Yset + icm[2][0] * Zset) * max;
        CH[1] = (icm[0][1] * Xset + icm[1][1] * Yset + icm[2][1] * Zset) * max;
        CH[2] = CH[3] = 0.0f;
        if (AlgorithmStrategy == STRATEGY_WARM_DIMMING) {
            // A target beyond both LEDs: the nearer end of the line.
            if (LED_x[0] > xset && LED_x[1] > xset)
                CH[0] = CH[1] = max;
            else if (xset > LED_x[0] && xset > LED_x[1])
                CH[0] = CH[1] = 0.0f;
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
        VF[k] = toFloat(n * (static_cast<double>(VFoLED[k]) / n + rise));
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

void ColorLib13::ModelCorrectedLEDdriver()
{
    EstimateVf();
    LearnHydraHybridError();
    float delivered[channelCount];
    for (int k = 0; k < channelCount; ++k) {
        const float iset = static_cast<float>(CurSet_CH[k]);
        Ierror[k] = (2.0f * VF[k] - Vsup) * CorrFact[k];
        float m = ((Ierror[k] + iset) / 100.0f * CH[k] - Ierror[k]) / iset * 100.0f;
        if (static_cast<double>(CH_SwitchToHydra[k])
            >= static_cast<double>(CH[k]) * static_cast<double>(iset) * 0.01) {
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

void ColorLib13::CalcActualColor()
{
    if (twoChannelStrategy()) {
        X = toFloat(static_cast<double>(CH_actual[0] * cm[0][0] + CH_actual[1] * cm[1][0]) * 0.01);
        Y = toFloat(static_cast<double>(CH_actual[0] * cm[0][1] + CH_actual[1] * cm[1][1]) * 0.01);
        Z = toFloat(static_cast<double>(CH_actual[0] * cm[0][2] + CH_actual[1] * cm[1][2]) * 0.01);
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

void ColorLib13::DefineDeviation()
{
    auto measure = [this] {
        CalcActualColor();
        Tranlate_xy_uprimevprime();
        DefineColorError();
        DefineCCT_Deviation();
    };
    measure();
    if (AlgorithmStrategy != STRATEGY_WARM_DIMMING && AlgorithmStrategy != STRATEGY_TUNABLE_WHITE
        && AlgorithmStrategy != STRATEGY_TUNABLE_WHITE_DT8)
        return;
    // Walk the two levels towards the LED the colour temperature lacks.
    const int warm = LED_x[0] > LED_x[1] ? 0 : 1;
    const int cool = 1 - warm;
    for (int pass = 0; pass < 200; ++pass) {
        if (CCTerror > 10.0f && LED_x[warm] >= xset) {
            CH[warm] = lowered(CH[warm], 0.1);
            CH[cool] = lowered(CH[cool], -0.1);
        } else if (CCTerror < -10.0f && LED_x[warm] >= xset) {
            CH[warm] = lowered(CH[warm], -0.1);
            CH[cool] = lowered(CH[cool], 0.1);
        }
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
