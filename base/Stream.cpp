// TStream helpers and the in-memory stream.
#include "base/Stream.h"

#include <algorithm>
#include <cstring>

#include "base/Exception.h"

namespace kx {

std::int64_t TStream::Size() {
    std::int64_t pos = Seek(0, TSeekOrigin::soCurrent);
    std::int64_t end = Seek(0, TSeekOrigin::soEnd);
    Seek(pos, TSeekOrigin::soBeginning);
    return end;
}

void TStream::ReadBuffer(void* buffer, std::int32_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, std::int32_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError();
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::int64_t>(count, 61440)) + 1);
    std::int64_t left = count;
    while (left > 0) {
        std::int32_t n = static_cast<std::int32_t>(std::min<std::int64_t>(left, 61440));
        source.ReadBuffer(buf.data(), n);
        WriteBuffer(buf.data(), n);
        left -= n;
    }
    return count;
}

std::int32_t TStream::ReadInt32() { return static_cast<std::int32_t>(ReadUInt32()); }

std::uint32_t TStream::ReadUInt32() {
    std::uint8_t b[4];
    ReadBuffer(b, 4);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t(b[3]) << 24);
}

std::int16_t TStream::ReadInt16() {
    std::uint8_t b[2];
    ReadBuffer(b, 2);
    return static_cast<std::int16_t>(b[0] | (b[1] << 8));
}

std::uint8_t TStream::ReadByte() {
    std::uint8_t b;
    ReadBuffer(&b, 1);
    return b;
}

void TStream::WriteInt32(std::int32_t v) { WriteUInt32(static_cast<std::uint32_t>(v)); }

void TStream::WriteUInt32(std::uint32_t v) {
    std::uint8_t b[4] = {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
    WriteBuffer(b, 4);
}

void TStream::WriteInt16(std::int16_t v) {
    std::uint16_t u = static_cast<std::uint16_t>(v);
    std::uint8_t b[2] = {std::uint8_t(u), std::uint8_t(u >> 8)};
    WriteBuffer(b, 2);
}

void TStream::WriteByte(std::uint8_t v) { WriteBuffer(&v, 1); }

std::int32_t TMemoryStream::Read(void* buffer, std::int32_t count) {
    if (count <= 0 || FPosition >= static_cast<std::int64_t>(FData.size())) return 0;
    std::int64_t n = std::min<std::int64_t>(count, static_cast<std::int64_t>(FData.size()) - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return static_cast<std::int32_t>(n);
}

std::int32_t TMemoryStream::Write(const void* buffer, std::int32_t count) {
    if (count <= 0) return 0;
    std::int64_t end = FPosition + count;
    if (end > static_cast<std::int64_t>(FData.size())) FData.resize(static_cast<std::size_t>(end));
    std::memcpy(FData.data() + FPosition, buffer, static_cast<std::size_t>(count));
    FPosition = end;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                        : origin == TSeekOrigin::soCurrent ? FPosition
                                                           : static_cast<std::int64_t>(FData.size());
    std::int64_t p = base + offset;
    if (p < 0) p = 0;
    FPosition = p;
    return FPosition;
}

void TMemoryStream::SetSize(std::int64_t newSize) {
    if (newSize < 0) newSize = 0;
    FData.resize(static_cast<std::size_t>(newSize));
    if (FPosition > newSize) FPosition = newSize;
}

void TMemoryStream::Clear() {
    FData.clear();
    FPosition = 0;
}

std::int32_t TReadOnlyMemoryStream::Read(void* buffer, std::int32_t count) {
    if (count <= 0 || FPosition >= FSize) return 0;
    const std::int64_t n = std::min<std::int64_t>(count, FSize - FPosition);
    std::memcpy(buffer, FData + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return static_cast<std::int32_t>(n);
}

std::int32_t TReadOnlyMemoryStream::Write(const void*, std::int32_t count) {
    if (count <= 0) return 0;
    throw EWriteError();
}

std::int64_t TReadOnlyMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? FPosition : FSize;
    const std::int64_t p = base + offset;
    FPosition = p < 0 ? 0 : p;
    return FPosition;
}

void TReadOnlyMemoryStream::SetSize(std::int64_t) { throw EWriteError(); }

} // namespace kx
