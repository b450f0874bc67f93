#include "rpc/sink_callback.h"

#include "platform/com/bstr.h"
#include "platform/com/safearray.h"

namespace rpc {

namespace {

// What a value holds beyond its VARIANT: text, and an array's elements with their own texts
// and values.
std::size_t VariantBytes(const VARIANT& value) {
    if (value.vt == VT_BSTR) return value.bstrVal ? SysStringByteLen(value.bstrVal) : 0;
    if ((value.vt & VT_ARRAY) == 0 || (value.vt & VT_BYREF) != 0 || !value.parray) return 0;
    SAFEARRAY* array = value.parray;
    const std::size_t count = SafeArrayElementCount(array);
    std::size_t bytes = count * array->cbElements;
    const VARTYPE element = value.vt & VT_TYPEMASK;
    if ((element == VT_BSTR || element == VT_VARIANT) && array->pvData) {
        for (std::size_t i = 0; i < count; ++i) {
            if (element == VT_BSTR) {
                const BSTR text = static_cast<const BSTR*>(array->pvData)[i];
                bytes += text ? SysStringByteLen(text) : 0;
            } else {
                bytes += VariantBytes(static_cast<const VARIANT*>(array->pvData)[i]);
            }
        }
    }
    return bytes;
}

constexpr WORD kQualityMask = 0xC0;
constexpr WORD kQualityGood = 0xC0;

bool SameItems(const Callback& a, const Callback& b) {
    if (a.items.size() != b.items.size()) return false;
    for (std::size_t i = 0; i < a.items.size(); ++i)
        if (a.items[i].handle != b.items[i].handle) return false;
    return true;
}

}  // namespace

std::size_t CallbackBytes(const Callback& callback) {
    std::size_t bytes = sizeof callback + callback.items.capacity() * sizeof(ItemCallback) + callback.text.size() +
                        callback.data.size() + callback.index.size() * 2 * sizeof(std::size_t);
    for (const ItemCallback& item : callback.items)
        if (item.other) bytes += sizeof(Variant) + VariantBytes(**item.other);
    return bytes;
}

void MergeDataChanges(Callback& older, Callback&& newer) {
    // Usually every item changed again: the newer callback replaces the older one whole.
    if (SameItems(older, newer)) {
        older.masterQuality = newer.masterQuality;
        older.masterError = newer.masterError;
        older.items = std::move(newer.items);
        return;
    }
    auto& index = older.index;
    if (index.empty())
        for (std::size_t i = 0; i < older.items.size(); ++i) index.emplace(older.items[i].handle, i);
    for (ItemCallback& item : newer.items) {
        auto [found, added] = index.emplace(item.handle, older.items.size());
        if (added)
            older.items.push_back(std::move(item));
        else
            older.items[found->second] = std::move(item);
    }
    // S_OK only when every item held is of good quality, and without an error.
    bool allGood = true;
    bool noErrors = true;
    for (const ItemCallback& item : older.items) {
        allGood = allGood && (item.quality & kQualityMask) == kQualityGood;
        noErrors = noErrors && item.error == S_OK;
    }
    older.masterQuality = allGood ? S_OK : S_FALSE;
    older.masterError = noErrors ? S_OK : S_FALSE;
}

}  // namespace rpc
