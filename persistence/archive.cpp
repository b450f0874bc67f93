#include "persistence/archive.h"

#include "platform/com/bstr.h"

#include <cstring>

namespace {

constexpr std::uint8_t kByteEscape = 0xFF;
constexpr std::uint16_t kWordEscape = 0xFFFF;
constexpr std::uint16_t kWideMarker = 0xFFFE;
constexpr std::uint32_t kDwordEscape = 0xFFFFFFFF;

}  // namespace

void ArchiveWriter::U16(std::uint16_t value) {
    U8(static_cast<std::uint8_t>(value));
    U8(static_cast<std::uint8_t>(value >> 8));
}

void ArchiveWriter::U32(std::uint32_t value) {
    U16(static_cast<std::uint16_t>(value));
    U16(static_cast<std::uint16_t>(value >> 16));
}

void ArchiveWriter::F32(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    U32(bits);
}

void ArchiveWriter::Text(std::string_view text) {
    // The long form tops out just below 4 GiB; no project text comes near it.
    if (text.size() >= kDwordEscape) text = text.substr(0, kDwordEscape - 1);
    const std::size_t length = text.size();
    if (length < kByteEscape) {
        U8(static_cast<std::uint8_t>(length));
    } else if (length < kWideMarker) {
        // 0xFFFE would read as the UTF-16 marker, so it takes the long form below.
        U8(kByteEscape);
        U16(static_cast<std::uint16_t>(length));
    } else {
        U8(kByteEscape);
        U16(kWordEscape);
        U32(static_cast<std::uint32_t>(length));
    }
    bytes_.insert(bytes_.end(), text.begin(), text.end());
}

bool ArchiveReader::Need(std::size_t count) {
    if (failed_ || bytes_.size() - pos_ < count) {
        failed_ = true;
        return false;
    }
    return true;
}

std::uint8_t ArchiveReader::U8() {
    if (!Need(1)) return 0;
    return bytes_[pos_++];
}

std::uint16_t ArchiveReader::U16() {
    if (!Need(2)) return 0;
    const auto value = static_cast<std::uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
    pos_ += 2;
    return value;
}

std::uint32_t ArchiveReader::U32() {
    const std::uint32_t low = U16();
    const std::uint32_t high = U16();
    return low | (high << 16);
}

std::uint64_t ArchiveReader::U64() {
    const std::uint64_t low = U32();
    const std::uint64_t high = U32();
    return low | (high << 32);
}

float ArchiveReader::F32() {
    const std::uint32_t bits = U32();
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::uint64_t ArchiveReader::TextLength(bool& wide) {
    wide = false;
    std::uint8_t byteLength = U8();
    if (byteLength < kByteEscape) return byteLength;
    std::uint16_t wordLength = U16();
    if (wordLength == kWideMarker) {
        // UTF-16 text: the length, in 16-bit units, follows in the same form.
        wide = true;
        byteLength = U8();
        if (byteLength < kByteEscape) return byteLength;
        wordLength = U16();
    }
    if (wordLength < kWordEscape) return wordLength;
    const std::uint32_t dwordLength = U32();
    if (dwordLength < kDwordEscape) return dwordLength;
    return U64();
}

bool ArchiveReader::Text(std::string& out) {
    out.clear();
    bool wide = false;
    const std::uint64_t length = TextLength(wide);
    if (failed_) return false;
    const std::uint64_t available = bytes_.size() - pos_;
    const std::uint64_t byteCount = wide ? length * 2 : length;
    if (length > available || byteCount > available) {
        failed_ = true;
        return false;
    }
    const auto* first = bytes_.data() + pos_;
    if (wide) {
        std::u16string units(static_cast<std::size_t>(length), u'\0');
        for (std::size_t i = 0; i < units.size(); ++i)
            units[i] = static_cast<char16_t>(first[2 * i] | (first[2 * i + 1] << 8));
        out = Utf8FromWide(units);
    } else {
        out.assign(reinterpret_cast<const char*>(first), static_cast<std::size_t>(length));
    }
    pos_ += static_cast<std::size_t>(byteCount);
    return true;
}
