#pragma once

#include <cstdint>

// The version 1.1 colour engine: for a driver with up to four LED channels, a
// path of 65 points from the highest to the lowest colour temperature; at each
// point the channel levels that put the mixed light on the black-body line at
// the target light output, corrected for what the LEDs and the driver really
// deliver.
//
// The arithmetic is single precision, with the double-precision steps each
// formula names; the curve bytes are stored in drivers and verified later, so
// every build must compute them bit for bit alike (these sources are compiled
// without floating-point contraction).
//
// Every run starts from the engine's initial state (a fresh Engine): nothing
// of an earlier run, such as the driver's hybrid-region values, can change the
// curves of a later one. The records of the latest run are kept process-wide
// for the read-out functions; callers serialise a run and its read-out (the
// JSON-RPC request handler's mutex does). Nothing is printed: the Show*
// read-outs write debug lines to the "lightshape.colorlibrary" category.
namespace tarvesk::service::lightshape_v1_1 {

constexpr int curvePoints = 65;
constexpr int channelCount = 4;

// Channel strategies (AlgorithmStrategy) this engine computes. The libraries
// use tunable white and warm dimming; the others are reached through config().
enum Strategy {
    STRATEGY_TUNABLE_WHITE = 0, // two channels, constant light output
    STRATEGY_THREE_PAIRED = 1,  // three channels, the pair chosen by chromaticity
    STRATEGY_THREE = 2,         // three channels
    STRATEGY_THREE_ALT = 3,     // three channels
    STRATEGY_FOUR = 4,          // four channels: reference light output only
    STRATEGY_WARM_DIMMING = 5,  // two channels, light output falling to zero
    STRATEGY_THREE_DIMMING = 6, // like 1, light output falling like 5
    STRATEGY_PATH_LEVEL = 7,    // both channels follow the path level
    STRATEGY_TWO_LIMITED = 8,   // two channels held to full scale, falling like 5
};
// Optimisation modes (AlgorithmMode) this engine computes.
enum Mode {
    MODE_PERFECT_LIFE = 0,
    MODE_OPEN_LOOP = 1,
    MODE_FEED_FORWARD = 2,
    MODE_PERFECT_DRIVER = 3,
    MODE_PERFECT_LEDS = 4,
};

// One point of the path, as stored after its computation.
struct CurvePointRecord
{
    std::int32_t CCTset = 0;
    float xset = 0.0f;
    float yset = 0.0f;
    float SetConstantLumen = 0.0f;
    float x = 0.0f;
    float y = 0.0f;
    float ColorError = 0.0f;
    float Y = 0.0f;
    float CH_actual[channelCount] = {};
    float VF[channelCount] = {};
    float PowerCH[channelCount] = {};
};

// The working state of one run, with its initial values. Arrays are indexed
// by channel (or LED) minus one; cm[i][j] is row i + 1, column j + 1 of the
// colour matrix, whose column i + 1 holds X, Y, Z of LED i + 1.
struct Engine
{
    // Model parameters.
    std::int32_t CurSet_CH[channelCount] = {350, 350, 350, 350};
    std::int32_t MaxCurveValue = 100;
    float DataSheetCurrent_LED[channelCount] = {350.0f, 350.0f, 350.0f, 350.0f};
    float DroopLED[channelCount] = {0.99f, 0.99f, 0.99f, 0.99f};
    float HC_LED[channelCount] = {1.0f, 1.0f, 1.0f, 1.0f};
    float Rth_LED[channelCount] = {18.0f, 18.0f, 18.0f, 18.0f};
    float VFo[channelCount] = {3.0f, 3.0f, 3.0f, 3.0f};
    float VF[channelCount] = {3.0f, 3.0f, 3.0f, 3.0f};
    float dVFdT_LED[channelCount] = {-0.0033f, -0.0033f, -0.0033f, -0.0033f};
    float dVFdI_LED[channelCount] = {0.5f, 0.5f, 0.5f, 0.5f};
    float Vsup = 50.0f;
    float TA_calibration = 28.0f;
    float TheatSink = 50.0f;
    std::int32_t N_LEDsCH[channelCount] = {1, 1, 1, 1};
    std::int32_t CCTmax = 6500;
    std::int32_t CCTmin = 2600;

    // Inputs per LED.
    float LED_Y[channelCount] = {};
    float LED_x[channelCount] = {};
    float LED_y[channelCount] = {};
    float CorrFact[channelCount] = {};
    std::int32_t DriverType = 0;

    // Control.
    std::int32_t CCTset = 0;
    std::int32_t AlgorithmStrategy = 0;
    std::int32_t AlgorithmMode = 0;
    float SetConstantLumen = 0.0f;
    float SetIntensity = 0.0f;
    float Y_max = 0.0f;
    float Intensity = 0.0f;

    // Target colour.
    float xset = 0.0f, yset = 0.0f;
    float Xset = 0.0f, Yset = 0.0f, Zset = 0.0f;
    float Set_uprime = 0.0f, Set_vprime = 0.0f;

    // Channel levels in percent: set and delivered.
    float CH[channelCount] = {};
    float CH_actual[channelCount] = {};

    // Actual colour.
    float X = 0.0f, Y = 0.0f, Z = 0.0f, x = 0.0f, y = 0.0f;
    float uprime = 0.0f, vprime = 0.0f, ColorError = 0.0f;

    // Colour matrix, adjugate, determinant, inverse. cm4 (cm41..cm43) is
    // the fourth LED's column of strategy 4, which this engine never fills.
    float cm[3][3] = {};
    float cm4[3] = {};
    float M[3][3] = {};
    float Determinant = 0.0f;
    float icm[3][3] = {};

    // Model results.
    float Yc[channelCount] = {}; // Y1..Y4: light output of each LED
    float Tj[channelCount] = {};
    float I[channelCount] = {};
    float PowerCH[channelCount] = {};

    // The driver's hybrid region (low currents).
    float Ierror[channelCount] = {};
    float I_hydraError[channelCount] = {};
    float HydraSetpointLevel_CH[channelCount] = {};
    float RC[channelCount] = {};
    float DiffCH[channelCount] = {};
    std::int32_t CH_SwitchToHydra[channelCount] = {};

    CurvePointRecord outputBuffer[curvePoints];

    // A whole run from the argument vector of the version 1.1 library
    // (entries 1..53; entry 0 is not read).
    void config(char** argv);

    // The reset that starts every run.
    void init_debug_values();
    void Translate_CCT_xy();
    void SaveCurveInfoToOutputBuffer(int point);
    // Smooths the knee of curve 1 or 2 (CH1_actual or CH2_actual of the
    // records) with a quadratic Bezier over window points; a curve other
    // than 1 or 2 or a window outside 3..25 changes nothing.
    void CurveKneePointCorrection(int curve, int window);
    static float bezier(float t, float p0, float p1, float p2);

    // The first steps of every mode: currents, powers, light outputs, Y_max.
    void SimpleCorrected_LEDdata();
    void DefineY_max();
    void Fill_3x3_OpenLoopColorMatrix();
    void Fill_3x3_CompensatedColorMatrix();
    void invert_3x3_C_matrix();
    void calc_XYZset();
    void set_whitepoint();
    void CalcActualColor();
    void Tranlate_xy_uprimevprime();
    void DefineColorError();
    void DefineDeviation();
    void EstimateVf();
    void LearnHydraHybridError();
    void ModelLEDdriver();
    void ModelCorrectedLEDdriver();
    void IdealCurveLEDdriver();
    void ModelCorrected_LEDdata();

    void DoPerfectLife();
    void DoOpenLoop();
    void DoOptimizedModel_LEDdriver();
    void DoPerfectDriver();
    void DoPerfectLEDs();
    // Feed-forward with a second pass on the modelled LEDs; no mode code
    // selects it in config().
    void DoOptimizedModel();

    // Debug read-outs (nothing calls them): one debug line each to the
    // "lightshape.colorlibrary" category.
    void Show_3x3_Matrix() const;
    void ShowSetpoint() const;
    void ShowDriveSetting() const;
    void ShowActualColor() const;
    void ShowCurveInfo(int point) const;
    // Kept for the engine's interface; they do nothing.
    void ShowCurveInfoFromBuffer(int) const { }
    void BestColorByControlIntensity() { }
    void IntensityControl() { }

    // The lowest level of 100, 99.9, ... (1000 steps of 0.1, each rounded to
    // single precision) at which the channel's current lies within one mA of
    // the window centre; a negative value when none does. It depends only on
    // the set current, so a run finds it once (hydraLevelsFound).
    static float hydraMatchLevel(std::int32_t setCurrent, std::int32_t centre);
    static std::int32_t hydraWindowCentre(int channel, std::int32_t setCurrent);

private:
    void fillColumn(int column, int led, float F);
    void fillDummy(int column, float X, float Y, float Z);
    void fillColorMatrix(bool compensated);
    float ledOutput(int led, bool compensated) const;
    float hybridLevel(int channel) const;
    float perLedVoltage(int channel) const;
    bool hydraLevelsFound = false;
    float hydraLevel[channelCount] = {};
};

// Runs a fresh Engine on the argument vector and keeps its records.
void c_config_v1_1(char** argv);
int c_curve_points_v1_1();
void c_curve1_v1_1(int* out);
void c_curve2_v1_1(int* out);
void c_curve3_v1_1(int* out);
void c_curve4_v1_1(int* out);
// The bytes of channel 1..4, lowest colour temperature (point 65) first; any
// other channel gives 65 zeros.
void getCurveBytesForIndex(int* out, int channel);
// The actual chromaticity of each point, in the curves' order.
void c_xy(float* xs, float* ys);
// The records of the latest run, point 1 first.
const CurvePointRecord* outputBuffer();

// trunc(level * 255 / 100) in single precision, held within 0..255.
int curveByte(float level);

} // namespace tarvesk::service::lightshape_v1_1
