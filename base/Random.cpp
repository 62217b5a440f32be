// The process-wide linear congruential generator.
#include "base/Random.h"

#include <chrono>

namespace kx {

namespace {
std::uint32_t& State() {
    static std::uint32_t state = static_cast<std::uint32_t>(
        std::chrono::system_clock::now().time_since_epoch().count());
    return state;
}
} // namespace

std::uint32_t RandSeed() { return State(); }
void SetRandSeed(std::uint32_t seed) { State() = seed; }

void Randomize() {
    auto t = std::chrono::system_clock::now().time_since_epoch();
    State() = static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(t).count());
}

std::uint32_t Random(std::uint32_t n) {
    std::uint32_t& s = State();
    s = s * 0x08088405u + 1u;
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(s) * n) >> 32);
}

} // namespace kx
