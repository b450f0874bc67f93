// Byte layout of the OPC DA 1.0 data streams ("OPCSTMFORMATDATA", "OPCSTMFORMATDATATIME",
// "OPCSTMFORMATWRITECOMPLETE") and little-endian helpers to write and read them field by
// field. The server's encoder and the client's parser both use these; nothing here copies a
// native struct, and every read is checked against the bytes that are really there.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>
#include <vector>

namespace opc::stream {

// Data streams: the group header at offset 0 (OPCGROUPHEADER).
inline constexpr std::size_t kGroupHeaderSize = 20;
inline constexpr std::size_t kGroupSizeOffset = 0;  // total stream size in bytes
inline constexpr std::size_t kGroupItemCountOffset = 4;
inline constexpr std::size_t kGroupClientHandleOffset = 8;
inline constexpr std::size_t kGroupTransactionOffset = 12;  // 0 for a subscription update
inline constexpr std::size_t kGroupStatusOffset = 16;       // HRESULT

// Item headers follow the group header, one per item, in item order.
inline constexpr std::size_t kItemHeaderSize = 12;      // "OPCSTMFORMATDATA" (OPCITEMHEADER2)
inline constexpr std::size_t kItemHeaderTimeSize = 20;  // "OPCSTMFORMATDATATIME" (OPCITEMHEADER1)
inline constexpr std::size_t kItemClientHandleOffset = 0;
inline constexpr std::size_t kItemValueOffsetOffset = 4;  // value offset from stream start
inline constexpr std::size_t kItemQualityOffset = 8;      // WORD
inline constexpr std::size_t kItemReservedOffset = 10;    // WORD
inline constexpr std::size_t kItemTimestampOffset = 12;   // FILETIME, only in the time format

constexpr std::size_t ItemHeaderSize(bool withTime) { return withTime ? kItemHeaderTimeSize : kItemHeaderSize; }
constexpr std::size_t ItemHeaderOffset(std::size_t index, bool withTime) {
    return kGroupHeaderSize + index * ItemHeaderSize(withTime);
}

// A value: a 16-byte VARIANT (vt, three reserved WORDs, 8 value bytes)...
inline constexpr std::size_t kVariantSize = 16;
inline constexpr std::size_t kVariantTypeOffset = 0;
inline constexpr std::size_t kVariantValueOffset = 8;
// ...followed for VT_BSTR by a 4-byte character count n and, when n > 0, n UTF-16 characters
// and a terminating zero character (2n + 2 bytes); n = 0 is a null string...
inline constexpr std::size_t kBstrCountSize = 4;
// ...and for VT_ARRAY of I1, UI1, I2, UI2, I4, UI4, R4, R8 by a 24-byte array descriptor:
inline constexpr std::size_t kArrayDescriptorSize = 24;
inline constexpr std::size_t kArrayDimsOffset = 0;          // WORD dimension count
inline constexpr std::size_t kArrayFeaturesOffset = 2;      // WORD
inline constexpr std::size_t kArrayElementSizeOffset = 4;   // DWORD
inline constexpr std::size_t kArrayLocksOffset = 8;         // DWORD
inline constexpr std::size_t kArrayDataPointerOffset = 12;  // DWORD, ignored by readers
inline constexpr std::size_t kArrayFirstBoundOffset = 16;   // element count (4), lower bound (4)
// When the dimension count is not 1, one more 8-byte bound follows the descriptor. Bounds are
// written in the order of SAFEARRAY::rgsabound as stored (rgsabound[0] first). Then the
// elements: element size times the product of the element counts, in storage order.
inline constexpr std::size_t kArrayBoundSize = 8;

// Write-complete stream: a 16-byte header (OPCGROUPHEADERWRITE)...
inline constexpr std::size_t kWriteHeaderSize = 16;
inline constexpr std::size_t kWriteItemCountOffset = 0;
inline constexpr std::size_t kWriteClientHandleOffset = 4;
inline constexpr std::size_t kWriteTransactionOffset = 8;
inline constexpr std::size_t kWriteStatusOffset = 12;
// ...then one 8-byte record per item (OPCITEMHEADERWRITE): client handle, HRESULT.
inline constexpr std::size_t kWriteRecordSize = 8;
inline constexpr std::size_t kWriteRecordClientOffset = 0;
inline constexpr std::size_t kWriteRecordErrorOffset = 4;

constexpr std::size_t WriteRecordOffset(std::size_t index) { return kWriteHeaderSize + index * kWriteRecordSize; }

// --- little-endian helpers ---------------------------------------------------------------

// True when [offset, offset + size) lies inside a buffer of `total` bytes (no overflow).
constexpr bool Fits(std::size_t total, std::size_t offset, std::size_t size) {
    return offset <= total && size <= total - offset;
}

template <class T>
void PutLE(std::uint8_t* dst, T value) {
    static_assert(std::is_integral_v<T>);
    using U = std::make_unsigned_t<T>;
    U u = static_cast<U>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) dst[i] = static_cast<std::uint8_t>(u >> (8 * i));
}

template <class T>
T GetLE(const std::uint8_t* src) {
    static_assert(std::is_integral_v<T>);
    using U = std::make_unsigned_t<T>;
    U u = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) u |= static_cast<U>(U{src[i]} << (8 * i));
    return static_cast<T>(u);
}

// Checked read at an offset; false (and `out` untouched) when the bytes are not there.
template <class T>
[[nodiscard]] bool ReadLE(std::span<const std::uint8_t> buf, std::size_t offset, T& out) {
    if (!Fits(buf.size(), offset, sizeof(T))) return false;
    out = GetLE<T>(buf.data() + offset);
    return true;
}

// Checked write at an offset into an existing buffer.
template <class T>
[[nodiscard]] bool WriteLE(std::span<std::uint8_t> buf, std::size_t offset, T value) {
    if (!Fits(buf.size(), offset, sizeof(T))) return false;
    PutLE<T>(buf.data() + offset, value);
    return true;
}

// Appending writer for building a stream.
class StreamWriter {
public:
    std::size_t size() const { return bytes_.size(); }
    std::vector<std::uint8_t>& bytes() { return bytes_; }
    void Reserve(std::size_t n) { bytes_.reserve(n); }

    template <class T>
    void Append(T value) {
        const std::size_t at = bytes_.size();
        bytes_.resize(at + sizeof(T));
        PutLE<T>(bytes_.data() + at, value);
    }
    void AppendFloat(float v) { Append(BitsOf<std::uint32_t>(v)); }
    void AppendDouble(double v) { Append(BitsOf<std::uint64_t>(v)); }
    void AppendBytes(const void* data, std::size_t n) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + n);
    }
    void AppendZeros(std::size_t n) { bytes_.resize(bytes_.size() + n, 0); }

    // Patches a field already written (e.g. a value offset or the total size).
    template <class T>
    void PatchAt(std::size_t offset, T value) {
        assert(Fits(bytes_.size(), offset, sizeof(T)));
        PutLE<T>(bytes_.data() + offset, value);
    }

private:
    template <class U, class F>
    static U BitsOf(F f) {
        static_assert(sizeof(U) == sizeof(F));
        U u;
        std::memcpy(&u, &f, sizeof u);
        return u;
    }
    std::vector<std::uint8_t> bytes_;
};

}  // namespace opc::stream
