// Registry value helpers.
#include "sys/SystemTypes.h"

namespace kx {

TRegValue RegString(const std::string& text) { return TRegValue{rvString, text + std::string(1, '\0')}; }

TRegValue RegDword(std::uint32_t value) {
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i) data[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return TRegValue{rvDword, data};
}

std::string RegText(const std::optional<TRegValue>& value) {
    if (!value || (value->Type != rvString && value->Type != 2)) return std::string();
    return value->Data.substr(0, value->Data.find('\0'));
}

std::optional<std::uint32_t> RegNumber(const std::optional<TRegValue>& value) {
    if (!value) return std::nullopt;
    if (value->Type == rvDword && value->Data.size() == 4) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(value->Data[static_cast<std::size_t>(i)]);
        return v;
    }
    const std::string text = RegText(value);
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (v > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

} // namespace kx
