// What the host keeps of a sink's callback while it waits to be sent, and how a subscription's
// newer data change takes an older waiting one's place.
#pragma once

#include "opc/da/opcda.h"
#include "platform/com/variant.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace rpc {

// One item of a callback. Empty and plain values are kept as their bits; only the others (text,
// arrays) need a Variant of their own.
struct ItemCallback {
    OPCHANDLE handle = 0;
    WORD quality = 0;
    VARTYPE vt = VT_EMPTY;
    HRESULT error = S_OK;
    std::uint64_t time = 0;
    std::uint64_t bits = 0;
    std::unique_ptr<Variant> other;
};

struct Callback {
    enum class Kind { kShutdown, kDataChange, kReadComplete, kWriteComplete, kCancelComplete, kAdviseData };
    Kind kind = Kind::kShutdown;
    DWORD transaction = 0;
    OPCHANDLE group = 0;
    HRESULT masterQuality = S_OK;
    HRESULT masterError = S_OK;
    std::vector<ItemCallback> items;
    std::string text;  // the shutdown reason, or the advise data's format name
    DWORD tymed = 0;
    std::vector<BYTE> data;
    // Where each item's value sits in `items`, built at the first merge into this callback.
    std::unordered_map<OPCHANDLE, std::size_t> index;

    // A subscription's data change: a newer one carries everything an older one would.
    bool Mergeable() const { return kind == Kind::kDataChange && transaction == 0; }
};

// Roughly the memory a waiting callback holds: what the host bounds a client's waiting
// callbacks by.
std::size_t CallbackBytes(const Callback& callback);

// Puts a newer data change of the same subscription into an older one that still waits: the
// newer values take the older ones' place, items only in the older stay, and the master quality
// and error are those of the items the merged callback holds.
void MergeDataChanges(Callback& older, Callback&& newer);

}  // namespace rpc
