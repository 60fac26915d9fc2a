#include "service/rpc/rpc_methods/lightshape/colorlib/engines/lightshape_engine_v1_1.h"
#include "service/rpc/rpc_methods/lightshape/colorlib/engines/lightshape_engine_v1_3.h"
#include "service/rpc/rpc_methods/lightshape/colorlib/version11_lightshape_color_library.h"
#include "service/rpc/rpc_methods/lightshape/colorlib/version13_lightshape_color_library.h"

#include <QJsonObject>
#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace tarvesk::service;
namespace v11 = tarvesk::service::lightshape_v1_1;
namespace v13 = tarvesk::service::lightshape_v1_3;

namespace {

QJsonObject inputs(const char* strategy, int cctMin, int cctMax, bool dt8 = false)
{
    return QJsonObject {{"strategy", strategy}, {"current_cs1", 350}, {"current_cs2", 350},
        {"cct_min", cctMin}, {"cct_max", cctMax}, {"cct_1", 2700}, {"cct_2", 6500}, {"lumens_1", 1000},
        {"lumens_2", 1100}, {"lumens_max", 1000}, {"vf1", 3}, {"vf2", 3}, {"vsupply", 48},
        {"dali_device_type_8", dt8}};
}

class ModelledEngines : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLoggingCategory::setFilterRules(QStringLiteral("lightshape.colorlibrary.debug=false"));
    }
};

// The level 100 lowered n times by 0.1 in double precision, kept in single each time.
float levelAfterSteps(int n)
{
    float level = 100.0f;
    for (int i = 0; i < n; ++i)
        level = static_cast<float>(static_cast<double>(level) - 0.1);
    return level;
}

} // namespace

TEST_F(ModelledEngines, PathsRunFromTheHighestToTheLowestColourTemperature)
{
    // Version 1.1: CCTmax minus the truncated multiple of 3900 / 64 = 60.9375.
    Version1Rev1LightshapeColorLibrary v1_1;
    v1_1.setInputParameters(inputs("tw", 2600, 6500));
    const v11::CurvePointRecord* records11 = v11::outputBuffer();
    const int expected11[] = {6500, 6440, 6379, 6318, 6257};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(records11[i].CCTset, expected11[i]) << i;
    EXPECT_EQ(records11[63].CCTset, 2661);
    EXPECT_EQ(records11[64].CCTset, 2600);

    // Version 1.3 in kelvin: step 59.375.
    Version1Rev3LightshapeColorLibrary v1_3;
    v1_3.setInputParameters(inputs("tw", 2700, 6500));
    const QList<double> kelvin = v1_3.getCCTValues();
    ASSERT_EQ(kelvin.size(), 65);
    for (int i = 0; i < 65; ++i)
        EXPECT_EQ(kelvin[i], 6500 - std::trunc(i * 59.375)) << i;
    EXPECT_EQ(kelvin.mid(0, 3), (QList<double> {6500, 6441, 6382}));
    EXPECT_EQ(kelvin.last(), 2700);

    // Version 1.3 in mirek: 10^6 / 6500 = 153.8 and 10^6 / 2700 = 370.4 round
    // to 154 and 370; the step is (370 - 154) / 64 = 3.375 mirek.
    v1_3.setInputParameters(inputs("tw", 2700, 6500, true));
    const QList<double> mirek = v1_3.getCCTValues();
    ASSERT_EQ(mirek.size(), 65);
    EXPECT_EQ(mirek.first(), 6493); // 10^6 / 154
    for (int i = 0; i < 65; ++i)
        EXPECT_EQ(mirek[i], std::trunc(1e6 / (154 + std::trunc(i * 3.375)))) << i;
    EXPECT_EQ(mirek.last(), std::trunc(1e6 / 370));
}

TEST_F(ModelledEngines, CurveBytesTruncateAndHoldTheirRange)
{
    const struct
    {
        float level;
        int byte;
    } cases[] = {{100.0f, 255}, {99.9f, 254}, {50.0f, 127}, {120.0f, 255}, {-3.0f, 0}, {0.0f, 0},
        {std::nanf(""), 0}, {INFINITY, 255}};
    for (const auto& c : cases) {
        EXPECT_EQ(v11::curveByte(c.level), c.byte) << c.level;
        EXPECT_EQ(v13::curveByte13(c.level), c.byte) << c.level;
    }

    // A channel outside 1..4 reads as 65 zeros.
    Version1Rev3LightshapeColorLibrary v1_3;
    v1_3.setInputParameters(inputs("tw", 2700, 6500));
    int out[65];
    for (int& b : out)
        b = 7;
    v13::getCurveBytesForIndex13(out, 5);
    for (int b : out)
        EXPECT_EQ(b, 0);
    // Channel 1 reversed: index 0 is the lowest colour temperature.
    v13::getCurveBytesForIndex13(out, 1);
    EXPECT_EQ(out[0], v13::curveByte13(v13::outputBuffer13()[64].CH_actual[0]));
    EXPECT_EQ(out[64], v13::curveByte13(v13::outputBuffer13()[0].CH_actual[0]));
}

TEST_F(ModelledEngines, HybridRegionLevelDependsOnTheSetCurrent)
{
    // 350 mA: the window 197..199 mA is met from 56.86 down to 56.30, the
    // level after 437 steps; one step more gives 196.7 mA.
    const float level350 = levelAfterSteps(437);
    EXPECT_NEAR(level350, 56.30, 0.01);
    EXPECT_EQ(v13::ColorLib13::hydraMatchLevel(350), level350);
    EXPECT_EQ(v13::ColorLib13::hydraSwitchCurrent(350), 198);
    // Version 1.1 uses the same window above 200 mA (198 mA, not 150).
    EXPECT_EQ(v11::Engine::hydraWindowCentre(0, 350), 198);
    EXPECT_EQ(v11::Engine::hydraMatchLevel(350, 198), level350);

    // 175 mA: window 149..151 mA, lowest level 85.2 (149.1 mA).
    EXPECT_EQ(v13::ColorLib13::hydraSwitchCurrent(175), 150);
    EXPECT_EQ(v13::ColorLib13::hydraMatchLevel(175), levelAfterSteps(148));
    EXPECT_EQ(v11::Engine::hydraWindowCentre(2, 175), 154);

    // 100 mA never reaches its window: no level.
    EXPECT_LT(v13::ColorLib13::hydraMatchLevel(100), 0.0f);
    EXPECT_LT(v11::Engine::hydraMatchLevel(100, v11::Engine::hydraWindowCentre(0, 100)), 0.0f);
}

TEST_F(ModelledEngines, InverseMatchesADoublePrecisionInverse)
{
    // The colour matrix of a 2700 K and a 6500 K LED with a dummy row.
    const double rows[][3][3] = {
        {{1164.56, 1000, 429.1}, {1091.2, 1100, 1197.3}, {1, 0, 1}},
        {{2.5, -1.0, 0.25}, {0.5, 3.0, -2.0}, {1.0, 0.0, 4.0}},
    };
    for (const auto& m : rows) {
        auto engine = std::make_unique<v13::ColorLib13>();
        auto engine11 = std::make_unique<v11::Engine>();
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j)
                engine->cm[i][j] = engine11->cm[i][j] = static_cast<float>(m[i][j]);
        }
        engine->invert_3x3_C_matrix();
        engine11->invert_3x3_C_matrix();
        // Gauss-Jordan elimination with partial pivoting in double.
        double a[3][6];
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                a[i][j] = static_cast<float>(m[i][j]);
                a[i][j + 3] = i == j ? 1.0 : 0.0;
            }
        }
        for (int col = 0; col < 3; ++col) {
            int pivot = col;
            for (int r = col + 1; r < 3; ++r) {
                if (std::fabs(a[r][col]) > std::fabs(a[pivot][col]))
                    pivot = r;
            }
            std::swap(a[col], a[pivot]);
            for (int r = 0; r < 3; ++r) {
                if (r == col)
                    continue;
                const double f = a[r][col] / a[col][col];
                for (int k = 0; k < 6; ++k)
                    a[r][k] -= f * a[col][k];
            }
        }
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                const double expected = a[i][j + 3] / a[i][i];
                EXPECT_NEAR(engine->icm[i][j], expected, 1e-5 * std::fabs(expected) + 1e-9) << i << j;
                EXPECT_EQ(engine11->icm[i][j], engine->icm[i][j]);
            }
        }
    }
}

TEST_F(ModelledEngines, McCamyCctMatchesTheDoubleFormula)
{
    // Points near the black-body line from 2000 K to 10000 K.
    const double points[][2]
        = {{0.5267, 0.4133}, {0.4599, 0.4106}, {0.3805, 0.3768}, {0.3127, 0.3290}, {0.2807, 0.2883}};
    for (const auto& p : points) {
        auto engine = std::make_unique<v13::ColorLib13>();
        engine->x = static_cast<float>(p[0]);
        engine->y = static_cast<float>(p[1]);
        engine->CIE_1931_xy_to_CCT();
        const double n = (double(engine->x) - 0.332) / (0.1858 - double(engine->y));
        const double expected = 437 * n * n * n + 3601 * n * n + 6861 * n + 5517;
        EXPECT_NEAR(engine->CCTderived, expected, 1e-6 * expected) << p[0];
    }
}

TEST_F(ModelledEngines, KimSplineAtTheEngineLimits)
{
    // 1.3 clamps only above: 30000 K is computed as 25000 K, 1000 K as itself.
    auto engine = std::make_unique<v13::ColorLib13>();
    engine->CCTset = 30000;
    engine->Translate_CCT_xy();
    EXPECT_EQ(engine->CCTset, 25000);
    engine->CCTset = 1000;
    engine->Translate_CCT_xy();
    EXPECT_EQ(engine->CCTset, 1000);
    const double t = 1000;
    const float x
        = static_cast<float>(-266124000.0 / (t * t * t) - 234358.0 / (t * t) + 877.696 / t + 0.17991);
    EXPECT_EQ(engine->xset, x);

    // 1.1 clamps both ends.
    auto engine11 = std::make_unique<v11::Engine>();
    engine11->CCTset = 1000;
    engine11->Translate_CCT_xy();
    EXPECT_EQ(engine11->CCTset, 1667);
}
