// The project file's field encoding: little-endian numbers and texts with the length prefix of
// the classic document archive (one byte below 255; 0xFF and a u16 up to 65533; 0xFF, 0xFFFF
// and a u32 beyond). Texts are written as UTF-8 bytes. Reading also accepts the UTF-16 form,
// marked by 0xFF 0xFFFE before the length, and converts it to UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class ArchiveWriter {
public:
    void U16(std::uint16_t value);
    void U32(std::uint32_t value);
    void I32(std::int32_t value) { U32(static_cast<std::uint32_t>(value)); }
    void F32(float value);
    void Text(std::string_view text);

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::vector<std::uint8_t> Take() { return std::move(bytes_); }

private:
    void U8(std::uint8_t value) { bytes_.push_back(value); }
    std::vector<std::uint8_t> bytes_;
};

// Reads fields from a byte span. Every read is checked against the bytes that are really
// there: reading past the end sets the failed state, after which every read yields zero or
// an empty text. Nothing is allocated before the bytes it stands for are known to exist.
class ArchiveReader {
public:
    explicit ArchiveReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint16_t U16();
    std::uint32_t U32();
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    float F32();
    // False (and the reader failed) when the text runs past the end.
    bool Text(std::string& out);

    bool Failed() const { return failed_; }
    std::size_t Remaining() const { return failed_ ? 0 : bytes_.size() - pos_; }
    bool AtEnd() const { return !failed_ && pos_ == bytes_.size(); }

private:
    std::uint8_t U8();
    std::uint64_t U64();
    bool Need(std::size_t count);
    // The length that follows a prefix; sets `wide` for the UTF-16 form.
    std::uint64_t TextLength(bool& wide);

    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};
