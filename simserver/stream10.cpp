#include "simserver/stream10.h"

#include <cstring>

#include "opc/da/stream_layout.h"
#include "platform/com/bstr.h"
#include "simserver/group_values.h"

namespace simserver {

namespace {

namespace layout = opc::stream;
using layout::StreamWriter;

// Appends `size` bytes of a native little-endian number stored at `p`.
void AppendNumber(StreamWriter& w, const void* p, std::size_t size) {
    switch (size) {
    case 1: {
        std::uint8_t v;
        std::memcpy(&v, p, 1);
        w.Append(v);
        break;
    }
    case 2: {
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        w.Append(v);
        break;
    }
    case 4: {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        w.Append(v);
        break;
    }
    case 8: {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        w.Append(v);
        break;
    }
    default: w.AppendZeros(size); break;
    }
}

// Count, then the characters and a terminating zero; an empty string is a count of 0 alone.
void AppendBstrData(StreamWriter& w, BSTR s) {
    const UINT n = SysStringLen(s);
    w.Append<std::uint32_t>(n);
    if (n == 0) return;
    for (UINT i = 0; i < n; ++i) w.Append<std::uint16_t>(s[i]);
    w.Append<std::uint16_t>(0);
}

void AppendVariant(StreamWriter& w, const VARIANT* value);

// The array header as the descriptor has it (the data pointer field is written as 0), the
// bounds in stored order (a first bound always, a second when there are not exactly one),
// then the elements in storage order.
void AppendArrayData(StreamWriter& w, const SAFEARRAY* sa, VARTYPE elementType) {
    if (!sa) {
        w.AppendZeros(layout::kArrayDescriptorSize + layout::kArrayBoundSize);
        return;
    }
    w.Append<std::uint16_t>(sa->cDims);
    w.Append<std::uint16_t>(sa->fFeatures);
    w.Append<std::uint32_t>(sa->cbElements);
    w.Append<std::uint32_t>(sa->cLocks);
    w.Append<std::uint32_t>(0);
    std::size_t count = sa->cDims ? 1 : 0;
    for (USHORT d = 0; d < sa->cDims; ++d) {
        w.Append<std::uint32_t>(sa->rgsabound[d].cElements);
        w.Append<std::int32_t>(sa->rgsabound[d].lLbound);
        count *= sa->rgsabound[d].cElements;
    }
    if (sa->cDims == 0) w.AppendZeros(2 * layout::kArrayBoundSize);
    if (!sa->pvData || count == 0) return;

    const auto* data = static_cast<const std::uint8_t*>(sa->pvData);
    if (const std::size_t size = PlainValueSize(elementType); size != 0 && size == sa->cbElements) {
        for (std::size_t i = 0; i < count; ++i) AppendNumber(w, data + i * size, size);
    } else if (elementType == VT_BSTR) {
        const auto* strings = reinterpret_cast<const BSTR*>(data);
        for (std::size_t i = 0; i < count; ++i) AppendBstrData(w, strings[i]);
    } else if (elementType == VT_VARIANT) {
        const auto* values = reinterpret_cast<const VARIANT*>(data);
        for (std::size_t i = 0; i < count; ++i) AppendVariant(w, &values[i]);
    }
}

// 16-byte record: type, three reserved words, the 8-byte value area; string and array data
// follow the record.
void AppendVariant(StreamWriter& w, const VARIANT* value) {
    const VARIANT empty;
    const VARIANT& v = value ? *value : empty;
    w.Append<std::uint16_t>(v.vt);
    w.AppendZeros(layout::kVariantValueOffset - 2);
    if (v.vt & VT_ARRAY) {
        w.AppendZeros(8);
        AppendArrayData(w, v.parray, static_cast<VARTYPE>(v.vt & VT_TYPEMASK));
    } else if (v.vt == VT_BSTR) {
        w.AppendZeros(8);
        AppendBstrData(w, v.bstrVal);
    } else {
        const std::size_t size = PlainValueSize(v.vt);
        AppendNumber(w, &v.llVal, size);
        w.AppendZeros(8 - size);
    }
}

}  // namespace

std::vector<std::uint8_t> EncodeDataStream(Stream10Format format, DWORD clientGroup, DWORD transactionId,
                                           HRESULT status, std::span<const Stream10Item> items) {
    const bool withTime = format == Stream10Format::DataTime;
    StreamWriter w;
    w.Reserve(layout::kGroupHeaderSize + items.size() * (layout::ItemHeaderSize(withTime) + layout::kVariantSize));

    w.Append<std::uint32_t>(0);  // total size, patched at the end
    w.Append<std::uint32_t>(static_cast<std::uint32_t>(items.size()));
    w.Append<std::uint32_t>(clientGroup);
    w.Append<std::uint32_t>(transactionId);
    w.Append<std::int32_t>(status);

    // All item headers first; their value offsets are patched as the values are placed.
    for (const auto& item : items) {
        w.Append<std::uint32_t>(item.clientHandle);
        w.Append<std::uint32_t>(0);
        w.Append<std::uint16_t>(item.quality);
        w.Append<std::uint16_t>(0);
        if (withTime) {
            w.Append<std::uint32_t>(item.timestamp.dwLowDateTime);
            w.Append<std::uint32_t>(item.timestamp.dwHighDateTime);
        }
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        w.PatchAt<std::uint32_t>(layout::ItemHeaderOffset(i, withTime) + layout::kItemValueOffsetOffset,
                                 static_cast<std::uint32_t>(w.size()));
        AppendVariant(w, items[i].value);
    }
    w.PatchAt<std::uint32_t>(layout::kGroupSizeOffset, static_cast<std::uint32_t>(w.size()));
    return std::move(w.bytes());
}

std::vector<std::uint8_t> EncodeWriteCompleteStream(DWORD clientGroup, DWORD transactionId, HRESULT status,
                                                    std::span<const Stream10WriteResult> results) {
    StreamWriter w;
    w.Reserve(layout::WriteRecordOffset(results.size()));
    w.Append<std::uint32_t>(static_cast<std::uint32_t>(results.size()));
    w.Append<std::uint32_t>(clientGroup);
    w.Append<std::uint32_t>(transactionId);
    w.Append<std::int32_t>(status);
    for (const auto& r : results) {
        w.Append<std::uint32_t>(r.clientHandle);
        w.Append<std::int32_t>(r.error);
    }
    return std::move(w.bytes());
}

}  // namespace simserver
