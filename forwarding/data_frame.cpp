#include "forwarding/data_frame.h"

#include "forwarding/frame_codec.h"
#include "forwarding/item_address_registry.h"
#include "opc/client/item.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "values are sent as held, little-endian");

namespace {

constexpr std::size_t kLargestRecord = 3 + 8;

void PutU16(std::uint8_t* p, std::size_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

// Values whose 8 bytes are a pointer (strings, arrays, interfaces, references) are never sent:
// they carry no number and would hand our memory layout to the peer.
bool HoldsPointer(VARTYPE type) {
    if (type & (VT_ARRAY | VT_BYREF)) return true;
    switch (type) {
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
    case VT_VARIANT:
    case VT_DECIMAL: return true;
    default: return false;
    }
}

}  // namespace

std::size_t BuildDataFrame(std::uint16_t first, std::uint16_t count, std::vector<std::uint8_t>& out) {
    const std::size_t start = out.size();
    const std::size_t capacity = std::min(kReplyBaseSize + kLargestRecord * count, kMaxReplySize);
    // Values are stored as whole 8-byte words, the next record or the trailer covering what
    // lies past a shorter value; the slack keeps the last word inside the buffer.
    out.resize(start + capacity + sizeof(std::uint64_t));
    std::uint8_t* frame = out.data() + start;
    frame[0] = kFrameMagic1;
    frame[1] = kFrameMagic2;
    frame[4] = kReadCommand;
    std::uint8_t* cursor = frame + 7;  // where the next record goes
    std::uint8_t* const limit = frame + capacity - kFrameTrailerSize;
    std::size_t records = 0;

    // Addresses run from `first` for `count` as 32-bit numbers, so the range may pass 65535;
    // unregistered addresses are skipped.
    const int last = int{first} + int{count} - 1;
    for (const auto& [address, item] : CItemAddressRegistry::Instance().InRange(first, last)) {
        if (item->valueSize == 255) item->UpdateWireType();
        const std::size_t size = item->valueSize;
        const std::uint8_t code = item->wireTypeCode;
        if (size > 8 || code > 0x7F) {
            std::printf("%s:%d:\"[size=-1]id=%d\"\r\n", "DataClient", __LINE__, address);
            continue;
        }
        const CVItem::WireSnapshot value = item->ReadWireSnapshot();
        if (value.type == VT_EMPTY) {
            std::printf("%s:%d:\"[vt=empty]id=%d\"\r\n", "DataClient", __LINE__, address);
            continue;
        }
        if (HoldsPointer(value.type)) continue;
        if (cursor + 3 + size > limit) break;  // the reply is full

        PutU16(cursor, static_cast<std::size_t>(address));
        cursor[2] = static_cast<std::uint8_t>(code | (value.good ? 0x80 : 0));
        // A VARIANT_BOOL is -1 or 0 in its low 16 bits; peers get 1 or 0.
        const std::uint64_t bits =
            value.type == VT_BOOL ? (static_cast<std::uint16_t>(value.bits) ? 1 : 0) : value.bits;
        std::memcpy(cursor + 3, &bits, sizeof bits);
        cursor += 3 + size;
        ++records;
    }

    std::memcpy(cursor, kFrameTrailer, kFrameTrailerSize);
    const std::size_t position = static_cast<std::size_t>(cursor - frame) + kFrameTrailerSize;
    PutU16(frame + 2, position);
    PutU16(frame + 5, records);
    out.resize(start + position);
    return position;
}
