// A small non-cryptographic hash for names and for telling a whole line from a torn one.
#pragma once
#include <cstdint>
#include <string_view>

namespace kx {

// FNV-1a, 32 bits.
inline std::uint32_t Fnv1a32(std::string_view bytes) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

} // namespace kx
