#include "forwarding/frame_codec.h"

#include "opc/client/wire_type.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

std::uint16_t ReadU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

FrameScan Malformed() { return {ScanResult::kMalformed, 0, ReadRequest{}}; }
FrameScan NeedMore() { return {ScanResult::kNeedMore, 0, ReadRequest{}}; }

// How the value bytes of each code are read before formatting.
enum class ValueKind { kNone, kInt8, kUint8, kInt16, kUint16, kInt32, kUint32, kFloat, kDouble };

constexpr ValueKind kValueKindByCode[kWireTypeCodeCount] = {
    ValueKind::kNone,   ValueKind::kInt8,  ValueKind::kInt8,   ValueKind::kUint8, ValueKind::kInt16,
    ValueKind::kUint16, ValueKind::kInt32, ValueKind::kUint32, ValueKind::kFloat, ValueKind::kDouble,
};

template <class T>
T Load(const std::uint8_t* p) {
    T value;
    std::memcpy(&value, p, sizeof value);  // the frame is little-endian, as the host
    return value;
}

std::string Format(const char* format, auto value) {
    const int length = std::snprintf(nullptr, 0, format, value);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, value);
    return text;
}

}  // namespace

FrameScan ScanFrame(const std::uint8_t* data, std::size_t available, bool joined) {
    if (available < 1) return NeedMore();
    if (data[0] != kFrameMagic1) return Malformed();
    if (available < 2) return NeedMore();
    if (data[1] != kFrameMagic2) return Malformed();
    if (available < kFrameHeaderSize) return NeedMore();

    const auto length = static_cast<std::int16_t>(ReadU16(data + 2));
    std::size_t needed;
    switch (data[4]) {
    case kReadCommand: needed = kReadRequestSize; break;
    case kWriteCommand:
        if (available < 8) return NeedMore();
        if (data[7] >= kWireTypeCodeCount) return Malformed();
        // No frame is shorter than a read request: a code-0 write of 12 bytes alone is not one.
        needed = std::max(kWriteRequestBaseSize + kWireValueSize[data[7]], kShortestFrameSize);
        break;
    default: return Malformed();
    }
    if (available < needed) return NeedMore();
    if (joined && std::memcmp(data + needed - kFrameTrailerSize, kFrameTrailer, kFrameTrailerSize) != 0)
        return Malformed();
    // The length field is believed only as far as the bytes that came with the frame: a
    // longer frame is padding to take along, one that claims more than arrived is dropped.
    std::size_t size = needed;
    if (length > static_cast<int>(needed)) {
        size = static_cast<std::size_t>(length);
        if (size > kLongestPaddedFrameSize || size > available) return Malformed();
    }

    if (data[4] == kReadCommand) return {ScanResult::kRequest, size, ReadRequest{ReadU16(data + 5), ReadU16(data + 7)}};
    WriteRequest write{ReadU16(data + 5), data[7], {}};
    std::memcpy(write.value.data(), data + 8, kWireValueSize[write.code]);
    return {ScanResult::kRequest, size, write};
}

std::string WriteValueText(std::uint8_t code, const std::uint8_t* value) {
    if (code >= kWireTypeCodeCount) return {};
    switch (kValueKindByCode[code]) {
    case ValueKind::kNone: return {};
    case ValueKind::kInt8: return Format("%d", static_cast<int>(Load<std::int8_t>(value)));
    case ValueKind::kUint8: return Format("%d", static_cast<int>(Load<std::uint8_t>(value)));
    case ValueKind::kInt16: return Format("%d", static_cast<int>(Load<std::int16_t>(value)));
    case ValueKind::kUint16: return Format("%d", static_cast<int>(Load<std::uint16_t>(value)));
    case ValueKind::kInt32: return Format("%ld", static_cast<long>(Load<std::int32_t>(value)));
    case ValueKind::kUint32: return Format("%lu", static_cast<unsigned long>(Load<std::uint32_t>(value)));
    case ValueKind::kFloat: return Format("%f", static_cast<double>(Load<float>(value)));
    case ValueKind::kDouble: return Format("%f", Load<double>(value));
    }
    return {};
}
