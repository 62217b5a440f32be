// TQdxCrypt: the password-keyed string and stream cipher, both directions.
//
// Each block (at most 32768 bytes) is permuted by exchanges at positions drawn
// from the process-wide generator and masked byte by byte with a generator draw
// and a running feedback word. The key state runs on from block to block, so a
// hexadecimal text and a stream holding the same bytes give the same result.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Stream.h"

namespace kx {

class TQdxCrypt {
public:
    // The default key: password "51846093", AddKey 5471, MultKey 2719. Data
    // protected without key options uses these three values, so they never change.
    static constexpr const char* DefaultPassword = "51846093";
    static constexpr std::int32_t DefaultAddKey = 5471;
    static constexpr std::int32_t DefaultMultKey = 2719;
    static constexpr std::size_t MaxPasswordLength = 12;
    static constexpr std::int32_t BlockSize = 32768;

    TQdxCrypt();

    const std::string& Password() const { return FPassword; }
    // More than 12 characters empties the password (all three key words zero)
    // and raises Exception "The Maxlen for the password is 12 characters".
    void SetPassword(const std::string& value);
    std::int32_t AddKey() const { return FAddKey; }
    void SetAddKey(std::int32_t value) { FAddKey = value; }
    std::int32_t MultKey() const { return FMultKey; }
    void SetMultKey(std::int32_t value) { FMultKey = value; }
    const std::string& Infile() const { return FInfile; }
    void SetInfile(const std::string& value) { FInfile = value; }
    const std::string& Outfile() const { return FOutfile; }
    void SetOutfile(const std::string& value) { FOutfile = value; }

    // Kept for the component's published interface; nothing raises it.
    std::function<void(TQdxCrypt& sender)> OnBadPassword;

    // Key words of the password: KeyA from bytes 1-4, KeyB from 5-8, KeyC from
    // 9-12, little-endian, missing bytes zero. KeyB is the running feedback word.
    std::uint32_t KeyA() const { return FKeyA; }
    std::uint32_t KeyB() const { return FKeyB; }
    std::uint32_t KeyC() const { return FKeyC; }

    // Forms the key words anew and seeds the process-wide generator with KeyA.
    // Every text and stream operation starts with it.
    void InitKey();

    // Work on n bytes (0 to 32768; 0 does nothing) with the current key state and
    // generator, drawing n permutation positions and then n mask values.
    // A count outside 0..32768 raises Exception.
    void DecryptBlock(std::uint8_t* data, std::int32_t n);
    void EncryptBlock(std::uint8_t* data, std::int32_t n);

    // Hexadecimal text in chunks of 65536 characters, one block each; an odd last
    // character is ignored. A pair that is not hexadecimal raises Exception
    // "The String Must in HEX Format for Decrypt.".
    std::string DecryptHex(const std::string& text);
    // The inverse of DecryptHex: upper-case hexadecimal, two characters per byte.
    std::string EncryptHex(const std::string& data);

    // Rewrite the whole stream in place, block by block from position 0, and
    // leave it at position 0. A write that moves fewer bytes than the block
    // raises EWriteError (the stream is then partly rewritten).
    void DecryptStream(TStream& stream);
    void EncryptStream(TStream& stream);

private:
    void FormKeys();
    void DrawPermutation(std::int32_t n);
    std::uint8_t FeedbackMask() const;
    void Feedback(std::uint8_t cipherByte);
    template <class Block>
    void RewriteStream(TStream& stream, Block block);

    std::string FPassword;
    std::int32_t FAddKey;
    std::int32_t FMultKey;
    std::string FInfile;
    std::string FOutfile;
    std::uint32_t FKeyA = 0;
    std::uint32_t FKeyB = 0;
    std::uint32_t FKeyC = 0;
    // Zero-based exchange partner of each byte of the block.
    std::vector<std::uint16_t> FPerm;
    std::vector<std::uint8_t> FBuffer;
};

// Decrypts a hexadecimal text. An empty password keeps the default, an AddKey or
// MultKey of -1 keeps its default. A password longer than 12 characters raises;
// bad text never does: the answer is then empty and "DecryptStr: " + the message
// is written to the system log whatever its on/off switch says.
std::string DecryptStr(const std::string& text, const std::string& password = "", std::int32_t addKey = -1,
                       std::int32_t multKey = -1);

// Decrypts a memory stream in place with the default key; position 0 afterwards.
void DecryptMemStream(TMemoryStream& stream);

} // namespace kx
