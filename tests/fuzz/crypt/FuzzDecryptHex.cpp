// libFuzzer target: DecryptHex over arbitrary text. Any input either raises the
// cipher's own exception or decrypts to half its length, and a decrypted text
// encrypts back to the upper-case digits it came from.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/Exception.h"
#include "crypt/QdxCrypt.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    kx::TQdxCrypt crypt;
    std::string plain;
    try {
        plain = crypt.DecryptHex(text);
    } catch (const kx::Exception& e) {
        if (e.Message() != "The String Must in HEX Format for Decrypt.") std::abort();
        return 0;
    }
    if (plain.size() != size / 2) std::abort();
    std::string digits = text.substr(0, size & ~std::size_t(1));
    for (auto& c : digits) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (crypt.EncryptHex(plain) != digits) std::abort();
    return 0;
}
