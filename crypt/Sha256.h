// SHA-256 (FIPS 180-4): the digest the setup stores for the uninstaller's record
// files, so that the uninstaller can tell whether anyone changed them since.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kx {

class TSha256 {
public:
    using TDigest = std::array<std::uint8_t, 32>;

    TSha256();
    void Update(const void* data, std::size_t size);
    void Update(std::string_view data) { Update(data.data(), data.size()); }
    // The digest of everything given so far; the object starts afresh afterwards.
    TDigest Final();

private:
    void Block(const std::uint8_t* p);
    void Reset();

    std::uint32_t FState[8];
    std::uint8_t FBuffer[64];
    std::size_t FBuffered = 0;
    std::uint64_t FLength = 0; // bytes
};

TSha256::TDigest Sha256(std::string_view data);
// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view data);

} // namespace kx
