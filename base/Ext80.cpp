// Exact conversions between double and the x87 80-bit extended format.
#include "base/Ext80.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace kx {

void DoubleToExt80(double value, std::uint8_t out[10]) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    std::uint16_t sign = static_cast<std::uint16_t>((bits >> 63) & 1);
    int exp = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t frac = bits & ((std::uint64_t(1) << 52) - 1);
    std::uint64_t mant = 0;
    std::uint16_t e80 = 0;
    if (exp == 0x7FF) { // infinity or NaN
        e80 = 0x7FFF;
        mant = (std::uint64_t(1) << 63) | (frac << 11);
    } else if (exp == 0) {
        if (frac != 0) { // subnormal double: normalise, extended has the range
            int shift = 0;
            while (!(frac & (std::uint64_t(1) << 52))) {
                frac <<= 1;
                ++shift;
            }
            mant = frac << 11;
            e80 = static_cast<std::uint16_t>(1 - 1023 - shift + 16383);
        }
    } else {
        mant = (std::uint64_t(1) << 63) | (frac << 11);
        e80 = static_cast<std::uint16_t>(exp - 1023 + 16383);
    }
    for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(mant >> (8 * i));
    std::uint16_t se = static_cast<std::uint16_t>(e80 | (sign << 15));
    out[8] = static_cast<std::uint8_t>(se);
    out[9] = static_cast<std::uint8_t>(se >> 8);
}

double Ext80ToDouble(const std::uint8_t in[10]) {
    std::uint64_t mant = 0;
    for (int i = 0; i < 8; ++i) mant |= std::uint64_t(in[i]) << (8 * i);
    std::uint16_t se = static_cast<std::uint16_t>(in[8] | (in[9] << 8));
    bool neg = (se & 0x8000) != 0;
    int e = se & 0x7FFF;
    double r;
    if (e == 0x7FFF) {
        if ((mant << 1) == 0)
            r = std::numeric_limits<double>::infinity();
        else
            r = std::numeric_limits<double>::quiet_NaN();
    } else if (mant == 0) {
        r = 0.0;
    } else {
        // value = mant * 2^(e - 16383 - 63); a denormal extended has exponent 1 - 16383.
        int exp2 = (e == 0 ? 1 : e) - 16383 - 63;
        // Round the 64-bit significand to 53 bits (nearest, ties to even) and let
        // ldexp deal with the range; rounding happens once because ldexp is exact
        // for normal results and the subnormal case is rounded below.
        int lead = 63;
        while (!(mant >> lead & 1)) --lead;
        int topExp = exp2 + lead; // exponent of the leading bit
        int keep = 53;
        if (topExp < -1022) keep = 53 - (-1022 - topExp); // subnormal precision
        if (keep <= 0) {
            // Below half the smallest subnormal rounds to zero, otherwise up to it.
            bool up = keep == 0 && (mant & ~(std::uint64_t(1) << lead)) != 0;
            r = up ? std::ldexp(1.0, -1074) : 0.0;
        } else {
            int drop = lead + 1 - keep;
            std::uint64_t m = mant;
            if (drop > 0) {
                std::uint64_t half = std::uint64_t(1) << (drop - 1);
                std::uint64_t rest = m & ((std::uint64_t(1) << drop) - 1);
                m >>= drop;
                if (rest > half || (rest == half && (m & 1))) ++m;
                exp2 += drop;
            }
            r = std::ldexp(static_cast<double>(m), exp2);
        }
    }
    return neg ? -r : r;
}

} // namespace kx
