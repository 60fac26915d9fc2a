#include "service/rpc/rpc_methods/lightshape/colorlib/engines/color_math_v1_0.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tarvesk::service::lightshape_v1_0 {

namespace {

const float warmdimmingTable[256] = {
    0.0000f,
    0.0297f,
    0.0516f,
    0.0699f,
    0.0859f,
    0.1003f,
    0.1135f,
    0.1258f,
    0.1373f,
    0.1482f,
    0.1585f,
    0.1683f,
    0.1778f,
    0.1869f,
    0.1956f,
    0.2041f,
    0.2123f,
    0.2202f,
    0.2280f,
    0.2355f,
    0.2429f,
    0.2501f,
    0.2571f,
    0.2639f,
    0.2706f,
    0.2772f,
    0.2837f,
    0.2900f,
    0.2962f,
    0.3024f,
    0.3084f,
    0.3143f,
    0.3201f,
    0.3259f,
    0.3315f,
    0.3371f,
    0.3426f,
    0.3480f,
    0.3534f,
    0.3586f,
    0.3639f,
    0.3690f,
    0.3741f,
    0.3791f,
    0.3841f,
    0.3890f,
    0.3939f,
    0.3987f,
    0.4035f,
    0.4082f,
    0.4129f,
    0.4175f,
    0.4221f,
    0.4266f,
    0.4311f,
    0.4355f,
    0.4399f,
    0.4443f,
    0.4487f,
    0.4530f,
    0.4572f,
    0.4615f,
    0.4656f,
    0.4698f,
    0.4739f,
    0.4780f,
    0.4821f,
    0.4861f,
    0.4901f,
    0.4941f,
    0.4981f,
    0.5020f,
    0.5059f,
    0.5098f,
    0.5136f,
    0.5174f,
    0.5212f,
    0.5250f,
    0.5287f,
    0.5324f,
    0.5361f,
    0.5398f,
    0.5434f,
    0.5471f,
    0.5507f,
    0.5543f,
    0.5578f,
    0.5614f,
    0.5649f,
    0.5684f,
    0.5719f,
    0.5754f,
    0.5788f,
    0.5822f,
    0.5856f,
    0.5890f,
    0.5924f,
    0.5958f,
    0.5991f,
    0.6024f,
    0.6057f,
    0.6090f,
    0.6123f,
    0.6155f,
    0.6188f,
    0.6220f,
    0.6252f,
    0.6284f,
    0.6316f,
    0.6348f,
    0.6379f,
    0.6411f,
    0.6442f,
    0.6473f,
    0.6504f,
    0.6535f,
    0.6566f,
    0.6596f,
    0.6627f,
    0.6657f,
    0.6687f,
    0.6717f,
    0.6747f,
    0.6777f,
    0.6807f,
    0.6836f,
    0.6866f,
    0.6895f,
    0.6924f,
    0.6953f,
    0.6982f,
    0.7011f,
    0.7040f,
    0.7069f,
    0.7097f,
    0.7126f,
    0.7154f,
    0.7182f,
    0.7210f,
    0.7239f,
    0.7266f,
    0.7294f,
    0.7322f,
    0.7350f,
    0.7377f,
    0.7405f,
    0.7432f,
    0.7459f,
    0.7487f,
    0.7514f,
    0.7541f,
    0.7568f,
    0.7594f,
    0.7621f,
    0.7648f,
    0.7674f,
    0.7701f,
    0.7727f,
    0.7754f,
    0.7780f,
    0.7806f,
    0.7832f,
    0.7858f,
    0.7884f,
    0.7910f,
    0.7936f,
    0.7961f,
    0.7987f,
    0.8012f,
    0.8038f,
    0.8063f,
    0.8089f,
    0.8114f,
    0.8139f,
    0.8164f,
    0.8189f,
    0.8214f,
    0.8239f,
    0.8264f,
    0.8288f,
    0.8313f,
    0.8338f,
    0.8362f,
    0.8387f,
    0.8411f,
    0.8435f,
    0.8460f,
    0.8484f,
    0.8508f,
    0.8532f,
    0.8556f,
    0.8580f,
    0.8604f,
    0.8628f,
    0.8651f,
    0.8675f,
    0.8699f,
    0.8722f,
    0.8746f,
    0.8769f,
    0.8793f,
    0.8816f,
    0.8839f,
    0.8862f,
    0.8886f,
    0.8909f,
    0.8932f,
    0.8955f,
    0.8978f,
    0.9001f,
    0.9023f,
    0.9046f,
    0.9069f,
    0.9092f,
    0.9114f,
    0.9137f,
    0.9159f,
    0.9182f,
    0.9204f,
    0.9226f,
    0.9249f,
    0.9271f,
    0.9293f,
    0.9315f,
    0.9338f,
    0.9360f,
    0.9382f,
    0.9404f,
    0.9425f,
    0.9447f,
    0.9469f,
    0.9491f,
    0.9513f,
    0.9534f,
    0.9556f,
    0.9578f,
    0.9599f,
    0.9621f,
    0.9642f,
    0.9663f,
    0.9685f,
    0.9706f,
    0.9727f,
    0.9749f,
    0.9770f,
    0.9791f,
    0.9812f,
    0.9833f,
    0.9854f,
    0.9875f,
    0.9896f,
    0.9917f,
    0.9938f,
    0.9959f,
    0.9979f,
    1.0000f,
};

struct CctTable
{
    std::array<float, cctTableSize> u;
    std::array<float, cctTableSize> v;
    // u falls as the temperature rises along the whole line; the nearest-entry
    // search relies on it to stop early, and scans every entry otherwise.
    bool uFalls = true;
};

const CctTable& cctTable()
{
    static const CctTable table = [] {
        CctTable t;
        for (int i = 0; i < cctTableSize; ++i)
            color_math_krystek_uv(static_cast<short>(cctTableFirst + i), t.u[i], t.v[i]);
        for (int i = 1; i < cctTableSize; ++i)
            t.uFalls = t.uFalls && t.u[i] <= t.u[i - 1];
        return t;
    }();
    return table;
}

float squaredDistance(const CctTable& t, int i, float u, float v)
{
    const float du = t.u[i] - u;
    const float dv = t.v[i] - v;
    return du * du + dv * dv;
}

int nearestByFullScan(const CctTable& t, float u, float v)
{
    int best = 0;
    float bestDistance = squaredDistance(t, 0, u, v);
    for (int i = 1; i < cctTableSize; ++i) {
        const float d = squaredDistance(t, i, u, v);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

} // namespace

void color_math_krystek_uv(short T, float& u, float& v)
{
    const float t2 = static_cast<float>(T) * static_cast<float>(T);
    const double t = T;
    const double tt = t2;
    u = static_cast<float>((0.860117757 + 1.54118254e-4 * t + 1.28641212e-7 * tt)
        / (1.0 + 8.42420235e-4 * t + 7.08145163e-7 * tt));
    v = static_cast<float>((0.317398726 + 4.22806245e-5 * t + 4.20481691e-8 * tt)
        / (1.0 - 2.89741816e-5 * t + 1.61456053e-7 * tt));
}

const float* color_math_cct_table_u()
{
    return cctTable().u.data();
}

const float* color_math_cct_table_v()
{
    return cctTable().v.data();
}

int color_math_nearest_cct_index(float u, float v)
{
    if (!std::isfinite(u) || !std::isfinite(v))
        return 0;
    const CctTable& t = cctTable();
    if (!t.uFalls)
        return nearestByFullScan(t, u, v);

    // Entries below `start` lie at larger u than the point, the others at u
    // not above it. Walking away from `start` on either side, |du| only grows,
    // and du * du is a lower bound of the squared distance (rounding is
    // monotone), so each walk stops once that bound cannot win any more. The
    // walk to higher indices goes first: there a tie loses; on the walk down a
    // tie wins, which keeps the first of equally near entries, as a full scan does.
    const float* begin = t.u.data();
    int start = static_cast<int>(
        std::partition_point(begin, begin + cctTableSize, [u](float tu) { return tu > u; }) - begin);
    start = std::min(start, cctTableSize - 1);
    int best = start;
    float bestDistance = squaredDistance(t, start, u, v);
    for (int i = start + 1; i < cctTableSize; ++i) {
        const float du = t.u[i] - u;
        if (du * du >= bestDistance)
            break;
        const float d = squaredDistance(t, i, u, v);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    for (int i = start - 1; i >= 0; --i) {
        const float du = t.u[i] - u;
        if (du * du > bestDistance)
            break;
        const float d = squaredDistance(t, i, u, v);
        if (d <= bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

void color_math_convert_cct_to_chromaticity(float* xy, short T)
{
    float u = 0.0f;
    float v = 0.0f;
    color_math_krystek_uv(T, u, v);
    const float d = 2.0f * u - 8.0f * v + 4.0f;
    xy[0] = 3.0f * u / d;
    xy[1] = 2.0f * v / d;
}

void color_math_convert_chromaticity_to_uv(float* uv, const float* xy)
{
    const float d = -2.0f * xy[0] + 12.0f * xy[1] + 3.0f;
    uv[0] = 4.0f * xy[0] / d;
    uv[1] = 6.0f * xy[1] / d;
}

void color_math_convert_chromaticity_to_uvprime(float* uv, const float* xy)
{
    const float d = -2.0f * xy[0] + 12.0f * xy[1] + 3.0f;
    uv[0] = 4.0f * xy[0] / d;
    uv[1] = 9.0f * xy[1] / d;
}

void color_math_convert_tristimulus_to_uvprime(float* out, const float* XYZ, short n)
{
    for (int i = 0; i < n; ++i) {
        const float* in = XYZ + 3 * i;
        const float sum = in[0] + in[1] + in[2];
        const float xy[2] = {in[0] / sum, in[1] / sum};
        color_math_convert_chromaticity_to_uvprime(out + 3 * i, xy);
    }
}

void color_math_convert_uvprime_to_tristimulus(float* XYZ, const float* in)
{
    const float d = 6.0f * in[0] - 16.0f * in[1] + 12.0f;
    const float x = 9.0f * in[0] / d;
    const float y = 4.0f * in[1] / d;
    XYZ[0] = x * in[2] / y;
    XYZ[1] = in[2];
    XYZ[2] = (1.0f - x - y) * in[2] / y;
}

void color_math_convert_chromaticity_to_tristimulus(float* XYZ, const float* xyY, short n)
{
    for (int i = 0; i < n; ++i) {
        const float x = xyY[3 * i];
        const float y = xyY[3 * i + 1];
        const float Y = xyY[3 * i + 2];
        XYZ[3 * i] = x * Y / y;
        XYZ[3 * i + 1] = Y;
        XYZ[3 * i + 2] = (1.0f - x - y) * Y / y;
    }
}

void color_math_convert_tristimulus_to_chromaticity(float* xyY, const float* XYZ, unsigned char n)
{
    for (int i = 0; i < n; ++i) {
        const float X = XYZ[3 * i];
        const float Y = XYZ[3 * i + 1];
        const float sum = X + Y + XYZ[3 * i + 2];
        xyY[3 * i] = X / sum;
        xyY[3 * i + 1] = Y / sum;
        xyY[3 * i + 2] = Y;
    }
}

std::uint16_t color_math_convert_chromaticity_to_cct(const float* xy)
{
    float uv[2];
    color_math_convert_chromaticity_to_uv(uv, xy);
    return static_cast<std::uint16_t>(cctTableFirst + color_math_nearest_cct_index(uv[0], uv[1]));
}

void color_math_normalize_vector(float* out, const float* in, short n)
{
    float m = 0.0f;
    for (int i = 0; i < n; ++i)
        m = std::max(m, std::fabs(in[i]));
    for (int i = 0; i < n; ++i)
        out[i] = in[i] / m;
}

std::uint16_t color_math_compute_maximum_input(const std::uint16_t* values, unsigned char n)
{
    std::uint16_t m = 0;
    for (int i = 0; i < n; ++i)
        m = std::max(m, values[i]);
    return m;
}

std::uint16_t color_math_calculate_warmdiming_cct(std::uint16_t p, std::uint16_t lo, std::uint16_t hi)
{
    if (p <= lo)
        return lo;
    if (p >= hi)
        return hi;
    // lo < p < hi, so f lies in [0, 255) and both table entries exist.
    const float f = static_cast<float>(static_cast<double>(p - lo) * 255.0 / static_cast<double>(hi - lo));
    const int i = static_cast<int>(f);
    const float t
        = warmdimmingTable[i] + (warmdimmingTable[i + 1] - warmdimmingTable[i]) * (f - static_cast<float>(i));
    return static_cast<std::uint16_t>(t * static_cast<float>(hi - lo) + static_cast<float>(lo) + 0.5f);
}

const float* color_math_warmdimming_table()
{
    return warmdimmingTable;
}

} // namespace tarvesk::service::lightshape_v1_0
