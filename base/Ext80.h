// Conversion between double and the 10-byte x87 extended real stored on disk.
#pragma once
#include <cstdint>

namespace kx {

// Layout: 64-bit significand with explicit integer bit (little-endian), then
// 15-bit biased exponent (bias 16383) and the sign in the last two bytes.
// Every double converts exactly.
void DoubleToExt80(double value, std::uint8_t out[10]);
// Rounds to nearest-even where the extended value has more precision than a
// double; values beyond the double range become infinities, tiny ones zero or
// subnormals; unnormal encodings are read by their significand as given.
double Ext80ToDouble(const std::uint8_t in[10]);

} // namespace kx
