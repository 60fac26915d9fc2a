#include "service/rpc/rpc_methods/lightshape/colorlib/engines/color_math_v1_0.h"
#include "service/rpc/rpc_methods/lightshape/colorlib/engines/lightshape_engine_v1_0.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace tarvesk::service::lightshape_v1_0;

namespace {

// Krystek's approximation in double precision throughout.
void krystekDouble(double t, double& u, double& v)
{
    u = (0.860117757 + 1.54118254e-4 * t + 1.28641212e-7 * t * t)
        / (1 + 8.42420235e-4 * t + 7.08145163e-7 * t * t);
    v = (0.317398726 + 4.22806245e-5 * t + 4.20481691e-8 * t * t)
        / (1 - 2.89741816e-5 * t + 1.61456053e-7 * t * t);
}

// The nearest table entry by looking at every one: the first of equally near entries.
int nearestByScan(float u, float v)
{
    const float* tu = color_math_cct_table_u();
    const float* tv = color_math_cct_table_v();
    int best = 0;
    float bestDistance = 0.0f;
    for (int i = 0; i < cctTableSize; ++i) {
        const float du = tu[i] - u;
        const float dv = tv[i] - v;
        const float d = du * du + dv * dv;
        if (i == 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

int configTw(int cctMin, int cctMax, int bin1 = 4, int bin2 = 11, int lumens1 = 1000, int lumens2 = 1100)
{
    return c_config_v1_0(cctMin, cctMax, bin1, bin2, lumens1, lumens2, 1000, "tunable white", "constant");
}

} // namespace

TEST(ColorMathV10, ConversionsAgreeWithDoublePrecision)
{
    for (int t : {1000, 1800, 2856, 4000, 6500, 10000, 15000}) {
        SCOPED_TRACE(t);
        double u = 0.0, v = 0.0;
        krystekDouble(t, u, v);
        float fu = 0.0f, fv = 0.0f;
        color_math_krystek_uv(static_cast<short>(t), fu, fv);
        EXPECT_NEAR(fu, u, 1e-6);
        EXPECT_NEAR(fv, v, 1e-6);
        EXPECT_EQ(color_math_cct_table_u()[t - 1000], fu);
        EXPECT_EQ(color_math_cct_table_v()[t - 1000], fv);

        // CIE 1960 uv to CIE 1931 xy, and back to uv and to CIE 1976 u'v'.
        const double x = 3 * u / (2 * u - 8 * v + 4);
        const double y = 2 * v / (2 * u - 8 * v + 4);
        float xy[2];
        color_math_convert_cct_to_chromaticity(xy, static_cast<short>(t));
        EXPECT_NEAR(xy[0], x, 2e-6);
        EXPECT_NEAR(xy[1], y, 2e-6);
        float uv[2], uvPrime[2];
        color_math_convert_chromaticity_to_uv(uv, xy);
        color_math_convert_chromaticity_to_uvprime(uvPrime, xy);
        EXPECT_NEAR(uv[0], u, 2e-6);
        EXPECT_NEAR(uv[1], v, 2e-6);
        EXPECT_FLOAT_EQ(uvPrime[0], uv[0]);     // u' = u
        EXPECT_NEAR(uvPrime[1], 1.5 * v, 3e-6); // v' = 1.5 v

        // XYZ of (u', v', Y) and back: the same chromaticity, the same Y.
        const float uvY[3] = {uvPrime[0], uvPrime[1], 750.0f};
        float XYZ[3], xyY[3], back[3];
        color_math_convert_uvprime_to_tristimulus(XYZ, uvY);
        EXPECT_NEAR(XYZ[0], x * 750.0 / y, 1e-3);
        EXPECT_NEAR(XYZ[2], (1 - x - y) * 750.0 / y, 1e-3);
        color_math_convert_tristimulus_to_chromaticity(xyY, XYZ, 1);
        EXPECT_NEAR(xyY[0], x, 2e-6);
        EXPECT_NEAR(xyY[1], y, 2e-6);
        EXPECT_EQ(xyY[2], 750.0f);
        color_math_convert_tristimulus_to_uvprime(back, XYZ, 1);
        EXPECT_NEAR(back[0], u, 2e-6);
        EXPECT_NEAR(back[1], 1.5 * v, 3e-6);
        color_math_convert_chromaticity_to_tristimulus(back, xyY, 1);
        EXPECT_NEAR(back[0], XYZ[0], 1e-3);
        EXPECT_NEAR(back[2], XYZ[2], 1e-3);
    }
}

TEST(ColorMathV10, LocusAndCctMatchTheCieIlluminants)
{
    // CIE illuminant A is the black body at 2856 K: x 0.44757, y 0.40745, so
    // CIE 1960 u 0.25597, v 0.34953. Krystek's approximation keeps within
    // 1e-4 of the black body in u and v.
    float uv[2];
    color_math_krystek_uv(2856, uv[0], uv[1]);
    EXPECT_NEAR(uv[0], 0.25597, 1e-4);
    EXPECT_NEAR(uv[1], 0.34953, 1e-4);
    const float a[2] = {0.44757f, 0.40745f};
    EXPECT_NEAR(color_math_convert_chromaticity_to_cct(a), 2856, 3);
    // D65 (x 0.31271, y 0.32902) has a correlated colour temperature of about 6504 K.
    const float d65[2] = {0.31271f, 0.32902f};
    EXPECT_NEAR(color_math_convert_chromaticity_to_cct(d65), 6504, 6);
    // The ends of the table hold whatever lies beyond them.
    float far[2];
    color_math_convert_cct_to_chromaticity(far, 800);
    EXPECT_EQ(color_math_convert_chromaticity_to_cct(far), 1000);
    color_math_convert_cct_to_chromaticity(far, 25000);
    EXPECT_EQ(color_math_convert_chromaticity_to_cct(far), 15000);
}

TEST(ColorMathV10, NearestEntryEqualsAFullScan)
{
    // The search stops early where u rules out the rest; that needs u to
    // fall along the table.
    const float* tu = color_math_cct_table_u();
    const float* tv = color_math_cct_table_v();
    for (int i = 1; i < cctTableSize; ++i)
        ASSERT_LE(tu[i], tu[i - 1]) << i;

    std::vector<std::pair<float, float>> points;
    for (int i = 0; i < cctTableSize; i += 7)
        points.push_back({tu[i], tv[i]});
    std::mt19937 random(29);
    std::uniform_real_distribution<float> uDist(0.15f, 0.50f), vDist(0.20f, 0.42f);
    for (int i = 0; i < 3000; ++i)
        points.push_back({uDist(random), vDist(random)});
    // Midpoints of neighbouring entries: exact ties when the halves are exact,
    // where the lower temperature wins.
    int ties = 0;
    for (int i = 0; i + 1 < cctTableSize; ++i) {
        const float mu = (tu[i] + tu[i + 1]) / 2;
        const float mv = (tv[i] + tv[i + 1]) / 2;
        const float d0 = (tu[i] - mu) * (tu[i] - mu) + (tv[i] - mv) * (tv[i] - mv);
        const float d1 = (tu[i + 1] - mu) * (tu[i + 1] - mu) + (tv[i + 1] - mv) * (tv[i + 1] - mv);
        if (d0 == d1 && nearestByScan(mu, mv) == i) {
            ++ties;
            EXPECT_EQ(color_math_nearest_cct_index(mu, mv), i);
        }
        if (i % 5 == 0)
            points.push_back({mu, mv});
    }
    EXPECT_GT(ties, 100);
    for (const auto& [u, v] : points)
        ASSERT_EQ(color_math_nearest_cct_index(u, v), nearestByScan(u, v)) << u << " " << v;
    EXPECT_EQ(color_math_nearest_cct_index(NAN, 0.3f), 0);
    EXPECT_EQ(color_math_nearest_cct_index(0.2f, INFINITY), 0);
}

TEST(ColorMathV10, WarmDimmingCctFollowsItsTable)
{
    const float* table = color_math_warmdimming_table();
    EXPECT_EQ(table[0], 0.0f);
    EXPECT_EQ(table[255], 1.0f);
    EXPECT_EQ(color_math_calculate_warmdiming_cct(1500, 1800, 3000), 1800);
    EXPECT_EQ(color_math_calculate_warmdiming_cct(1800, 1800, 3000), 1800);
    EXPECT_EQ(color_math_calculate_warmdiming_cct(3000, 1800, 3000), 3000);
    EXPECT_EQ(color_math_calculate_warmdiming_cct(4000, 1800, 3000), 3000);
    int previous = 1800;
    for (int p = 1801; p < 3000; ++p) {
        const double f = (p - 1800) * 255.0 / 1200.0;
        const int i = static_cast<int>(f);
        const double t = table[i] + (table[i + 1] - table[i]) * (f - i);
        const int expected = static_cast<int>(std::floor(t * 1200 + 1800 + 0.5));
        const int got = color_math_calculate_warmdiming_cct(static_cast<std::uint16_t>(p), 1800, 3000);
        ASSERT_NEAR(got, expected, 1) << p;
        ASSERT_GE(got, previous) << p;
        previous = got;
    }
}

TEST(ColorMathV10, NearestPointOfAPolyline)
{
    const float segment[6] = {0.0f, 0.0f, 0.f, 2.0f, 1.0f, 0.f};
    const struct
    {
        float px, py, x, y;
    } cases[] = {
        {1.0f, 1.0f, 1.2f, 0.6f},  // projection inside: t = 0.6 along (2, 1)
        {-1.0f, 0.5f, 0.0f, 0.0f}, // held at the first end
        {5.0f, 0.0f, 2.0f, 1.0f},  // held at the second end
    };
    for (const auto& c : cases) {
        const float p[2] = {c.px, c.py};
        float out[2] = {-9, -9};
        const float d = nchannel_lightshaping_calc_nearest_point(out, p, segment, 2);
        EXPECT_NEAR(out[0], c.x, 1e-6) << c.px;
        EXPECT_NEAR(out[1], c.y, 1e-6) << c.px;
        EXPECT_NEAR(d, (c.x - c.px) * (c.x - c.px) + (c.y - c.py) * (c.y - c.py), 1e-6);
    }
    // A vertical segment, and a closed triangle whose nearest side is the closing one.
    const float vertical[6] = {1.0f, 0.0f, 0.f, 1.0f, 2.0f, 0.f};
    const float p[2] = {0.0f, 3.0f};
    float out[2];
    nchannel_lightshaping_calc_nearest_point(out, p, vertical, 2);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], 2.0f);
    const float triangle[9] = {0.f, 0.f, 0.f, 4.f, 0.f, 0.f, 0.f, 4.f, 0.f};
    const float left[2] = {-1.0f, 2.0f};
    nchannel_lightshaping_calc_nearest_point(out, left, triangle, 3);
    EXPECT_NEAR(out[0], 0.0f, 1e-6);
    EXPECT_NEAR(out[1], 2.0f, 1e-6);
    EXPECT_EQ(nchannel_lightshaping_calc_nearest_point(out, p, vertical, 0), 100.0f);
}

TEST(ColorMathV10, VectorHelpers)
{
    const float in[3] = {0.5f, -2.0f, 1.0f};
    float out[3];
    color_math_normalize_vector(out, in, 3);
    EXPECT_EQ(out[0], 0.25f);
    EXPECT_EQ(out[1], -1.0f);
    EXPECT_EQ(out[2], 0.5f);
    const std::uint16_t values[3] = {7, 65000, 12};
    EXPECT_EQ(color_math_compute_maximum_input(values, 3), 65000);
    EXPECT_EQ(color_math_compute_maximum_input(values, 0), 0);
}

TEST(EngineV10, ShortPathsWriteExactlyNPointsAndEnd)
{
    // One kelvin (step 0) and fewer kelvins than points: the output stage
    // once stepped forever or past its arrays here.
    for (int kelvins : {1, 2, 10, 64, 65, 66}) {
        SCOPED_TRACE(kelvins);
        ASSERT_EQ(configTw(3000, 3000 + kelvins - 1), 0);
        ASSERT_EQ(c_curve_points_v1_0(1), 65);
        ASSERT_EQ(c_curve_points_v1_0(2), 65);
        const std::uint8_t* warm = c_curve1_v1_0();
        for (int j = 1; j < 65; ++j)
            EXPECT_LE(warm[j], warm[j - 1]) << j;
        if (kelvins == 1) {
            EXPECT_EQ(warm[64], warm[0]);
        }
    }
    EXPECT_EQ(c_curve_points_v1_0(3), 0);
}

TEST(EngineV10, ErrorNumbers)
{
    const struct
    {
        int cctMin, cctMax, bin1, bin2, lumens1, lumens2, lumensMax;
        const char* strategy;
        const char* optimisation;
        int error;
    } cases[] = {
        {4000, 3000, 4, 11, 1000, 1000, 1000, "tunable white", "constant", ENGINE_CCT_MIN_ABOVE_MAX},
        {2700, 6500, 4, 11, 40000, 1000, 1000, "tunable white", "constant", ENGINE_NEGATIVE_LUMENS},
        {2700, 6500, 4, 11, 1000, 1000, -1, "tunable white", "constant", ENGINE_NEGATIVE_LUMENS_MAX},
        {2700, 6500, 4, 12, 1000, 1000, 1000, "tunable white", "constant", ENGINE_BAD_BIN},
        {2700, 6500, -1, 11, 1000, 1000, 1000, "tunable white", "constant", ENGINE_BAD_BIN},
        {2700, 6500, 4, 11, 1000, 1000, 1000, "Tunable white", "constant", ENGINE_BAD_STRATEGY_TEXT},
        {2700, 6500, 4, 11, 1000, 1000, 1000, "tunable white", "cons", ENGINE_BAD_OPTIMISATION_TEXT},
        {1000, 6120, 4, 11, 1000, 1000, 1000, "tunable white", "constant", ENGINE_PATH_TOO_LONG},
        // Warm dimming ends at the cooler LED: below cct_min here.
        {3500, 6500, 0, 5, 1000, 1000, 1000, "warm dimming", "", ENGINE_CCT_MIN_ABOVE_MAX},
        // Equal LEDs: no mix moves along the line.
        {2700, 6500, 4, 4, 1000, 1000, 1000, "tunable white", "constant", ENGINE_NOT_FINITE},
        {1300, 2000, 0, 1, 500, 1500, 1000, "warm dimming", "", ENGINE_WARMDIMMING_RATIO},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c_config_v1_0(c.cctMin, c.cctMax, c.bin1, c.bin2, c.lumens1, c.lumens2, c.lumensMax,
                      c.strategy, c.optimisation),
            c.error)
            << c.cctMin << " " << c.strategy << " " << c.error;
    }
}

TEST(EngineV10, WritesNothingToStandardOutput)
{
    testing::internal::CaptureStdout();
    configTw(2700, 6500);
    c_config_v1_0(1800, 3000, 0, 5, 800, 1000, 1000, "warm dimming", "");
    configTw(2700, 6500, 4, 4);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}
