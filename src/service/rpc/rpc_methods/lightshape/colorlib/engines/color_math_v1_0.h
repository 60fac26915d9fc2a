#pragma once

#include <cstdint>

// Colour conversions of the version 1.0 colour engine, in single precision.
//
// The engine's curve bytes are stored in drivers and checked again later
// ("lightshape.profile.verify"), so every build must compute them bit for
// bit alike: these sources are compiled without floating-point contraction
// and without fast-math, and each operation below is done in the precision
// its comment names.
namespace tarvesk::service::lightshape_v1_0 {

// The black-body line spans 1000..15000 K in the CCT table, one entry per kelvin.
constexpr int cctTableFirst = 1000;
constexpr int cctTableLast = 15000;
constexpr int cctTableSize = cctTableLast - cctTableFirst + 1;

// CIE 1960 (u, v) of the black-body line at T by Krystek's approximation:
// T squared in single precision, the two quotients in double, rounded to single.
void color_math_krystek_uv(short T, float& u, float& v);

// Entry i of the CCT table: the Krystek (u, v) of 1000 + i kelvin. Computed
// once, on first use.
const float* color_math_cct_table_u();
const float* color_math_cct_table_v();

// Index of the CCT table entry nearest to (u, v) by squared distance, the
// first one on ties; 0 when u or v is not finite (no distance is smaller than
// another then).
int color_math_nearest_cct_index(float u, float v);

// xy[0], xy[1]: CIE 1931 chromaticity of the black-body line at T (Krystek).
void color_math_convert_cct_to_chromaticity(float* xy, short T);
// CIE 1960 uv and CIE 1976 u'v' of a chromaticity xy.
void color_math_convert_chromaticity_to_uv(float* uv, const float* xy);
void color_math_convert_chromaticity_to_uvprime(float* uv, const float* xy);
// n records of three floats XYZ to u'v' in the first two floats of each
// three-float output record.
void color_math_convert_tristimulus_to_uvprime(float* out, const float* XYZ, short n);
// in = (u', v', Y) to XYZ.
void color_math_convert_uvprime_to_tristimulus(float* XYZ, const float* in);
// n records xyY to XYZ, and n records XYZ to xyY.
void color_math_convert_chromaticity_to_tristimulus(float* XYZ, const float* xyY, short n);
void color_math_convert_tristimulus_to_chromaticity(float* xyY, const float* XYZ, unsigned char n);
// The CCT (1000..15000) of the table entry nearest to the chromaticity xy in CIE 1960 uv.
std::uint16_t color_math_convert_chromaticity_to_cct(const float* xy);
// out[i] = in[i] divided by the largest absolute value of in[0..n-1].
void color_math_normalize_vector(float* out, const float* in, short n);
// The largest of n values, 0 for none.
std::uint16_t color_math_compute_maximum_input(const std::uint16_t* values, unsigned char n);
// The warm-dimming target CCT at position p of the path lo..hi, along the
// warm-dimming table.
std::uint16_t color_math_calculate_warmdiming_cct(std::uint16_t p, std::uint16_t lo, std::uint16_t hi);

// The 256 entries of the warm-dimming curve, 0 to 1.
const float* color_math_warmdimming_table();

} // namespace tarvesk::service::lightshape_v1_0
