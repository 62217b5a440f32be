// The string and stream cipher: key words, block transform, hexadecimal text and streams.
#include "crypt/QdxCrypt.h"

#include <algorithm>
#include <utility>

#include "base/Exception.h"
#include "base/Random.h"
#include "sys/SysLog.h"

namespace kx {

namespace {

const char* const kPasswordTooLong = "The Maxlen for the password is 12 characters";
const char* const kNotHex = "The String Must in HEX Format for Decrypt.";
const char* const kBadBlockSize = "Cipher block size out of range";
// Two hexadecimal characters per byte of a block.
constexpr std::size_t kHexChunk = 2 * static_cast<std::size_t>(TQdxCrypt::BlockSize);

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::uint32_t KeyWord(const std::string& password, std::size_t first) {
    std::uint32_t w = 0;
    for (std::size_t i = 0; i < 4 && first + i < password.size(); ++i)
        w |= std::uint32_t(static_cast<unsigned char>(password[first + i])) << (8 * i);
    return w;
}

void CheckBlockSize(std::int32_t n) {
    if (n < 0 || n > TQdxCrypt::BlockSize) throw Exception(kBadBlockSize);
}

} // namespace

TQdxCrypt::TQdxCrypt()
    : FPassword(DefaultPassword), FAddKey(DefaultAddKey), FMultKey(DefaultMultKey), FPerm(BlockSize),
      FBuffer(BlockSize) {
    FormKeys();
}

void TQdxCrypt::SetPassword(const std::string& value) {
    if (value.size() > MaxPasswordLength) {
        FPassword.clear();
        FormKeys();
        throw Exception(kPasswordTooLong);
    }
    FPassword = value;
    FormKeys();
}

void TQdxCrypt::FormKeys() {
    FKeyA = KeyWord(FPassword, 0);
    FKeyB = KeyWord(FPassword, 4);
    FKeyC = KeyWord(FPassword, 8);
}

void TQdxCrypt::InitKey() {
    FormKeys();
    SetRandSeed(FKeyA);
}

// Every byte gets a partner among the first n - 1 positions; for a single byte
// the draw below 0 still moves the generator and the partner is the byte itself.
void TQdxCrypt::DrawPermutation(std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) FPerm[i] = static_cast<std::uint16_t>(Random(std::uint32_t(n - 1)));
}

std::uint8_t TQdxCrypt::FeedbackMask() const {
    return static_cast<std::uint8_t>(FKeyB ^ (FKeyB >> 8) ^ (FKeyB >> 16) ^ (FKeyB >> 24));
}

void TQdxCrypt::Feedback(std::uint8_t cipherByte) {
    FKeyB = (cipherByte + FKeyB + FKeyC) * std::uint32_t(FMultKey) + std::uint32_t(FAddKey);
}

void TQdxCrypt::DecryptBlock(std::uint8_t* data, std::int32_t n) {
    CheckBlockSize(n);
    DrawPermutation(n);
    for (std::int32_t i = n - 1; i >= 0; --i) std::swap(data[i], data[FPerm[i]]);
    for (std::int32_t i = 0; i < n; ++i) {
        std::uint8_t b = data[i];
        std::uint8_t k = FeedbackMask();
        data[i] = static_cast<std::uint8_t>(b ^ k ^ Random(255));
        Feedback(b);
    }
}

// The exact inverse of DecryptBlock under the same generator sequence: the same
// permutation draws first, then the mask with the feedback taken from the masked
// byte, then the exchanges in ascending order.
void TQdxCrypt::EncryptBlock(std::uint8_t* data, std::int32_t n) {
    CheckBlockSize(n);
    DrawPermutation(n);
    for (std::int32_t i = 0; i < n; ++i) {
        std::uint8_t k = FeedbackMask();
        std::uint8_t c = static_cast<std::uint8_t>(data[i] ^ k ^ Random(255));
        data[i] = c;
        Feedback(c);
    }
    for (std::int32_t i = 0; i < n; ++i) std::swap(data[i], data[FPerm[i]]);
}

std::string TQdxCrypt::DecryptHex(const std::string& text) {
    std::string result;
    InitKey();
    // One chunk more than whole chunks: a text of a multiple of the chunk length
    // (or an empty one) ends with an empty chunk, which does nothing.
    std::size_t chunks = text.size() / kHexChunk + 1;
    for (std::size_t c = 0; c < chunks; ++c) {
        std::size_t start = c * kHexChunk;
        std::size_t len = std::min(kHexChunk, text.size() - start);
        std::int32_t n = static_cast<std::int32_t>(len / 2);
        for (std::int32_t i = 0; i < n; ++i) {
            int hi = HexDigit(text[start + 2 * i]);
            int lo = HexDigit(text[start + 2 * i + 1]);
            if (hi < 0 || lo < 0) throw Exception(kNotHex);
            FBuffer[i] = static_cast<std::uint8_t>(hi << 4 | lo);
        }
        DecryptBlock(FBuffer.data(), n);
        result.append(reinterpret_cast<const char*>(FBuffer.data()), static_cast<std::size_t>(n));
    }
    return result;
}

std::string TQdxCrypt::EncryptHex(const std::string& data) {
    static const char digits[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(2 * data.size());
    InitKey();
    for (std::size_t start = 0; start < data.size(); start += BlockSize) {
        std::int32_t n = static_cast<std::int32_t>(std::min<std::size_t>(BlockSize, data.size() - start));
        std::copy_n(reinterpret_cast<const std::uint8_t*>(data.data()) + start, n, FBuffer.begin());
        EncryptBlock(FBuffer.data(), n);
        for (std::int32_t i = 0; i < n; ++i) {
            result += digits[FBuffer[i] >> 4];
            result += digits[FBuffer[i] & 0x0F];
        }
    }
    return result;
}

template <class Block>
void TQdxCrypt::RewriteStream(TStream& stream, Block block) {
    InitKey();
    stream.SetPosition(0);
    for (;;) {
        // Fill the block completely: a stream that answers short reads before its
        // end must not shift the block boundaries the key state depends on.
        std::int32_t n = 0;
        while (n < BlockSize) {
            std::int32_t got = stream.Read(FBuffer.data() + n, BlockSize - n);
            if (got <= 0) break;
            n += got;
        }
        if (n == 0) break;
        (this->*block)(FBuffer.data(), n);
        stream.Seek(-n, TSeekOrigin::soCurrent);
        stream.WriteBuffer(FBuffer.data(), n);
    }
    stream.SetPosition(0);
}

void TQdxCrypt::DecryptStream(TStream& stream) { RewriteStream(stream, &TQdxCrypt::DecryptBlock); }

void TQdxCrypt::EncryptStream(TStream& stream) { RewriteStream(stream, &TQdxCrypt::EncryptBlock); }

std::string DecryptStr(const std::string& text, const std::string& password, std::int32_t addKey,
                       std::int32_t multKey) {
    TQdxCrypt crypt;
    if (!password.empty()) crypt.SetPassword(password);
    if (addKey != -1) crypt.SetAddKey(addKey);
    if (multKey != -1) crypt.SetMultKey(multKey);
    try {
        return crypt.DecryptHex(text);
    } catch (const Exception& e) {
        // The empty answer is the contract; the log line is a best-effort diagnostic
        // and a log file that cannot be written must not turn it into a failure.
        try {
            WriteSysLog("DecryptStr: " + e.Message(), true);
        } catch (const Exception&) {
        }
        return std::string();
    }
}

void DecryptMemStream(TMemoryStream& stream) {
    TQdxCrypt crypt;
    crypt.DecryptStream(stream);
}

} // namespace kx
