// The process-wide pseudo-random generator: archive identifiers, temporary names
// and the cipher's mask all draw from this one state.
#pragma once
#include <cstdint>

namespace kx {

// The state, readable and settable (the cipher reseeds it with its key).
std::uint32_t RandSeed();
void SetRandSeed(std::uint32_t seed);
// Seeds from the clock; done once at start-up.
void Randomize();
// A draw below n: state = state * 0x08088405 + 1, then the upper 32 bits of
// the 64-bit product state * n. A draw below 0 returns 0.
std::uint32_t Random(std::uint32_t n);

} // namespace kx
