#pragma once

#include <cstdint>

// The version 1.3 colour engine: for a driver with up to four LED channels, a
// path of 65 points from the highest to the lowest colour temperature, linear
// in kelvin or, for DALI device type 8 drivers (IEC 62386-209, colour
// temperature in mirek), linear in mirek. At each point it finds the channel
// levels that put the mixed light on the black-body line at the target light
// output, models what the LEDs and the driver deliver, and corrects the levels
// in a closed loop on the error of the colour temperature (McCamy's formula).
//
// The arithmetic is single precision, with the double-precision steps each
// formula names; the curve bytes are stored in drivers and verified later, so
// every build must compute them bit for bit alike (these sources are compiled
// without floating-point contraction).
//
// Every run starts from the engine's initial state (a fresh ColorLib13): the
// target and the hybrid-region values of an earlier run cannot change a later
// one. The records of the latest run are kept process-wide for the read-out
// functions; callers serialise a run and its read-out (the JSON-RPC request
// handler's mutex does). Nothing is printed: the Show* read-outs write debug
// lines to the "lightshape.colorlibrary" category.
namespace tarvesk::service::lightshape_v1_3 {

constexpr int curvePoints = 65;
constexpr int channelCount = 4;

// Channel strategies (AlgorithmStrategy) this engine computes. The libraries
// use 5, 12 and 13; the others are reached through config(). 8, 10 and 13
// take the mirek path, the others the kelvin path.
enum Strategy {
    STRATEGY_TWO = 0,                 // two channels, constant light output
    STRATEGY_THREE_PAIRED = 1,        // three channels, the pair chosen by chromaticity
    STRATEGY_THREE = 2,               // three channels
    STRATEGY_THREE_ALT = 3,           // three channels
    STRATEGY_FOUR = 4,                // four channels: reference and matrix, no levels
    STRATEGY_WARM_DIMMING = 5,        // two channels, light output falling to zero
    STRATEGY_THREE_DIMMING = 6,       // like 1 with falling light output: no levels
    STRATEGY_PATH_LEVEL = 7,          // both channels follow the path level
    STRATEGY_TWO_MIREK = 8,           // two channels, mirek path, smaller LED as reference
    STRATEGY_THREE_PAIRED_ALT = 9,    // like 1
    STRATEGY_THREE_PAIRED_MIREK = 10, // like 1 on the mirek path
    STRATEGY_SINGLE_LED = 11,         // the matrix only when the target lies beyond all LEDs
    STRATEGY_TUNABLE_WHITE = 12,      // kelvin path
    STRATEGY_TUNABLE_WHITE_DT8 = 13,  // mirek path
};
// Per-point steps (AlgorithmMode) this engine computes; open loop computes none.
enum Mode {
    MODE_PERFECT_LIFE = 0,
    MODE_OPEN_LOOP = 1,
    MODE_FEED_FORWARD = 2,
    MODE_PERFECT_DRIVER = 3,
    MODE_PERFECT_LEDS = 4,
    MODE_OPTIMIZED_MODEL = 5,
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
    float CCTderived = 0.0f;
};

// The working state of one run, with its initial values. Arrays are indexed
// by channel (or LED) minus one; cm[k][j] is row k + 1, column j + 1 of the
// colour matrix, whose row k + 1 holds X, Y, Z of LED k + 1.
class ColorLib13
{
public:
    // Model parameters.
    std::int32_t CurSet_CH[channelCount] = {350, 350, 350, 350};
    std::int32_t MaxCurveValue = 100;
    float DataSheetCurrent_LED[channelCount] = {350.0f, 350.0f, 350.0f, 350.0f};
    std::int32_t CCTmax = 6500;
    std::int32_t CCTmin = 2600;
    float DroopLED[channelCount] = {0.99f, 0.99f, 0.99f, 0.99f};
    float HC_LED[channelCount] = {1.0f, 1.0f, 1.0f, 1.0f};
    float Rth_LED[channelCount] = {18.0f, 18.0f, 18.0f, 18.0f};
    float VFoLED[channelCount] = {3.0f, 3.0f, 3.0f, 3.0f};
    float VF[channelCount] = {3.0f, 3.0f, 3.0f, 3.0f};
    float dVFdT_LED[channelCount] = {-0.0033f, -0.0033f, -0.0033f, -0.0033f};
    float dVFdI_LED[channelCount] = {0.5f, 0.5f, 0.5f, 0.5f};
    // Series resistance and wall-plug efficiency: held, entering no result.
    float Rs_LED[channelCount] = {0.27f, 0.27f, 0.27f, 0.27f};
    float wpe_LED[channelCount] = {0.3f, 0.3f, 0.3f, 0.3f};
    float Vsup = 50.0f;
    float TA_calibration = 28.0f;
    float TheatSink = 50.0f;
    std::int32_t N_LEDsCH[channelCount] = {1, 1, 1, 1};

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

    // Mirek path.
    float MirekSet = 0.0f, MirekMax = 0.0f, MirekMin = 0.0f;
    std::int32_t DALI_type = 0;

    // Target colour.
    float xset = 0.0f, yset = 0.0f;
    float Xset = 0.0f, Yset = 0.0f, Zset = 0.0f;
    float Set_uprime = 0.0f, Set_vprime = 0.0f;

    // Channel levels in percent: set, and sent to the driver.
    float CH[channelCount] = {};
    float CH_actual[channelCount] = {};

    // Actual colour.
    float X = 0.0f, Y = 0.0f, Z = 0.0f, x = 0.0f, y = 0.0f;
    float uprime = 0.0f, vprime = 0.0f, ColorError = 0.0f;
    float CCTderived = 0.0f, CCTerror = 0.0f;

    // Colour matrix, adjugate, determinant, inverse; cm4 (cm41..cm43) is
    // the fourth LED's row of strategy 4.
    float cm[3][3] = {};
    float cm4[3] = {};
    float M[3][3] = {};
    float Determinant = 0.0f;
    float icm[3][3] = {};

    // Model results.
    float Yc[channelCount] = {}; // Y1..Y4: light output of each LED at its set current
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

    // A whole run from the argument vector of the version 1.3 library
    // (entries 1..53; entry 0 is not read).
    void config(char** argv);

    // The reset that starts every run.
    void init_debug_values();
    void Translate_CCT_xy();
    void SaveCurveInfoToOutputBuffer(int point);

    void DefaultSequence();
    void SimpleCorrected_LEDdata();
    void ModelCorrected_LEDdata();
    void DefineY_max();
    void Fill_3x3_ColorMatrix();
    void CorrectFillMatrixVersusSetpoint();
    void invert_3x3_C_matrix();
    void calc_XYZset();
    void set_whitepoint();
    void CheckWhitePointClipControl();
    void CheckLimitsIdealLEDdriver();
    void CheckLimitsActualLEDdriver();
    void EstimateVf();
    void LearnHydraHybridError();
    void ModelCorrectedLEDdriver();
    void ModelLEDdriver();
    void CalcActualColor();
    void Tranlate_xy_uprimevprime();
    void DefineColorError();
    void CIE_1931_xy_to_CCT();
    void DefineCCT_Deviation();
    void DefineDeviation();

    void DoPerfectLife();
    void DoOpenLoop() { }
    void DoOptimizedModel_LEDdriver();
    void DoPerfectDriver();
    void DoPerfectLEDs();
    void DoOptimizedModel();

    // Debug read-outs (nothing calls them): one debug line each to the
    // "lightshape.colorlibrary" category.
    void Show_3x3_Matrix() const;
    void ShowSetpoint() const;
    void ShowDriveSetting() const;
    void ShowActualColor() const;
    // Kept for the engine's interface; they do nothing.
    void SelectOpcode() { }
    void BestColorByControlIntensity() { }
    void IntensityControl() { }
    void set_windowRGBWcolorSetPoint() { }
    void ShowCurveInfoFromBuffer(int) const { }

    // The switch current of the hybrid region for a set current.
    static std::int32_t hydraSwitchCurrent(std::int32_t setCurrent);
    // The lowest level of 100, 99.9, ... (1000 steps of 0.1, each rounded to
    // single precision) at which the set current scaled by it lies within one
    // mA of the switch current; a negative value when none does. It depends
    // only on the set current, so a run finds it once.
    static float hydraMatchLevel(std::int32_t setCurrent);

private:
    bool twoChannelStrategy() const;
    bool pairedStrategy() const;
    float ledOutput(int led) const;
    void fillRow(int row, int led, float F);
    void fillDummy(int row);
    void correctDrift();
    float perLedVoltage(int k) const;
    bool inHybridRegion(int k) const;
    bool hydraLevelsFound = false;
    float hydraLevel[channelCount] = {};
};

// Runs a fresh ColorLib13 on the argument vector and keeps its records.
void c_config_v1_3(char** argv);
int c_curve_points_v1_3();
void c_curve1_v1_3(int* out);
void c_curve2_v1_3(int* out);
void c_curve3_v1_3(int* out);
void c_curve4_v1_3(int* out);
// The bytes of channel 1..4, lowest colour temperature (point 65) first; any
// other channel gives 65 zeros.
void getCurveBytesForIndex13(int* out, int channel);
// The actual chromaticity of each point, in the curves' order.
void c_xy13(float* xs, float* ys);
// The colour temperature and the total power of each point, point 1 first.
void getCCTValuesFor13(double* out);
void getTotalPowerFor13(double* out);
// The records of the latest run, point 1 first.
const CurvePointRecord* outputBuffer13();

// trunc(level * 255 / 100) in single precision, held within 0..255; 0 for a
// level that is not a number.
int curveByte13(float level);

} // namespace tarvesk::service::lightshape_v1_3
