#include "forwarding/data_frame.h"

#include "forwarding/frame_codec.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "platform/shell/trace.h"

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

// The record writers return the cursor past what they wrote (unchanged when the item is left
// out), or null when the record does not fit.
std::uint8_t* PutRecord(int address, BYTE code, bool good, std::uint64_t bits, std::size_t size, std::uint8_t* cursor,
                        const std::uint8_t* limit) {
    if (cursor + 3 + size > limit) return nullptr;
    PutU16(cursor, static_cast<std::size_t>(address));
    cursor[2] = static_cast<std::uint8_t>(code | (good ? 0x80 : 0));
    std::memcpy(cursor + 3, &bits, sizeof bits);
    return cursor + 3 + size;
}

// Any item whose snapshot cannot simply be copied: sets the wire type on its first reply,
// prints the trace lines of skipped items, leaves out values that are never sent.
[[gnu::noinline]] std::uint8_t* PutAnyRecord(int address, CVItem& item, std::uint8_t* cursor,
                                             const std::uint8_t* limit) {
    if (item.valueSize == 255) item.UpdateWireType();
    if (item.valueSize > 8 || item.wireTypeCode > 0x7F) {
        TraceLine("%s:%d:\"[size=-1]id=%d\"\r\n", "DataClient", __LINE__, address);
        return cursor;
    }
    const CVItem::WireSnapshot value = item.ReadWireSnapshot();
    if (value.size <= 8) return PutRecord(address, value.code, value.good, value.bits, value.size, cursor, limit);
    if (value.type == VT_EMPTY) TraceLine("%s:%d:\"[vt=empty]id=%d\"\r\n", "DataClient", __LINE__, address);
    return cursor;  // no value, or one that holds a pointer
}

}  // namespace

std::size_t BuildDataFrame(const CItemAddressRegistry& registry, std::uint16_t first, std::uint16_t count,
                           std::vector<std::uint8_t>& out) {
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
    // Most items take the short way: their snapshot holds the record as it is sent.
    for (const auto& [address, item] : registry.InRange(first, last)) {
        const CVItem::WireSnapshot value = item->ReadWireSnapshot();
        std::uint8_t* const next =
            value.size <= 8 ? PutRecord(address, value.code, value.good, value.bits, value.size, cursor, limit)
                            : PutAnyRecord(address, *item, cursor, limit);
        if (!next) break;  // the reply is full
        records += next != cursor;
        cursor = next;
    }

    std::memcpy(cursor, kFrameTrailer, kFrameTrailerSize);
    const std::size_t position = static_cast<std::size_t>(cursor - frame) + kFrameTrailerSize;
    PutU16(frame + 2, position);
    PutU16(frame + 5, records);
    out.resize(start + position);
    return position;
}
