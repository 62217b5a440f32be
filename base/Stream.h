// TStream: the byte-stream interface that files and memory share, and TMemoryStream.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kx {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;
    // Read and Write return the number of bytes moved; a short count is no error.
    virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
    virtual std::int32_t Write(const void* buffer, std::int32_t count) = 0;
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual void SetSize(std::int64_t newSize) = 0;

    std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
    std::int64_t Size();

    // Exactly count bytes or EReadError / EWriteError.
    void ReadBuffer(void* buffer, std::int32_t count);
    void WriteBuffer(const void* buffer, std::int32_t count);
    // Copies count bytes from source's position (count 0: the whole source from its start).
    std::int64_t CopyFrom(TStream& source, std::int64_t count);

    // Little-endian helpers for the on-disk records.
    std::int32_t ReadInt32();
    std::uint32_t ReadUInt32();
    std::int16_t ReadInt16();
    std::uint8_t ReadByte();
    void WriteInt32(std::int32_t v);
    void WriteUInt32(std::uint32_t v);
    void WriteInt16(std::int16_t v);
    void WriteByte(std::uint8_t v);
};

class TMemoryStream : public TStream {
public:
    std::int32_t Read(void* buffer, std::int32_t count) override;
    std::int32_t Write(const void* buffer, std::int32_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    void SetSize(std::int64_t newSize) override;

    const std::vector<std::uint8_t>& Bytes() const { return FData; }
    std::vector<std::uint8_t>& Bytes() { return FData; }
    std::string AsString() const { return std::string(FData.begin(), FData.end()); }
    void Clear();

private:
    std::vector<std::uint8_t> FData;
    std::int64_t FPosition = 0;
};

// A stream over bytes it does not own (a resource of the program, a string):
// reading and seeking only; the bytes must outlive the stream.
class TReadOnlyMemoryStream : public TStream {
public:
    TReadOnlyMemoryStream(const void* data, std::int64_t size)
        : FData(static_cast<const std::uint8_t*>(data)), FSize(size < 0 ? 0 : size) {}
    std::int32_t Read(void* buffer, std::int32_t count) override;
    // Raises EWriteError: the bytes are not the stream's to change.
    std::int32_t Write(const void* buffer, std::int32_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    void SetSize(std::int64_t newSize) override;

private:
    const std::uint8_t* FData;
    std::int64_t FSize;
    std::int64_t FPosition = 0;
};

} // namespace kx
