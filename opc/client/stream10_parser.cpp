#include "opc/client/stream10_parser.h"

#include "opc/client/value_text.h"
#include "opc/da/stream_layout.h"
#include "platform/com/bstr.h"
#include "platform/com/safearray.h"
#include "platform/com/variant.h"

#include <bit>
#include <cstring>

namespace opc::stream {

static_assert(std::endian::native == std::endian::little,
              "numbers are copied into VARIANT and SAFEARRAY storage in stream byte order");

namespace {

using Block = std::span<const std::uint8_t>;

// Bytes of the value area that a scalar of this type uses; -1 for types the stream cannot
// carry in its 8 value bytes (pointers, decimals, unknown types).
int ScalarSize(VARTYPE vt) {
    if (vt == VT_EMPTY || vt == VT_NULL) return 0;
    const std::size_t size = PlainValueSize(vt);
    return size ? static_cast<int>(size) : -1;
}

bool DecodeString(Block block, std::size_t at, VARIANT& out) {
    std::uint32_t count = 0;
    if (!ReadLE(block, at, count)) return false;
    out.vt = VT_BSTR;
    out.bstrVal = nullptr;
    if (count == 0) return true;  // a null string
    const std::size_t start = at + kBstrCountSize;
    // The characters and the terminating zero must be there before the string is made.
    if (!Fits(block.size(), start, 2 * (std::size_t{count} + 1))) return false;
    BSTR text = SysAllocStringLen(nullptr, count);
    if (!text) return false;
    for (std::uint32_t i = 0; i < count; ++i)
        text[i] = static_cast<OLECHAR>(GetLE<std::uint16_t>(block.data() + start + 2 * std::size_t{i}));
    out.bstrVal = text;
    return true;
}

bool DecodeArray(Block block, std::size_t at, VARTYPE element, VARIANT& out) {
    if (!Fits(block.size(), at, kArrayDescriptorSize)) return false;
    const std::uint8_t* d = block.data() + at;
    const auto dims = GetLE<std::uint16_t>(d + kArrayDimsOffset);
    const auto elementSize = GetLE<std::uint32_t>(d + kArrayElementSizeOffset);
    // One or two dimensions; a descriptor that names more than two cannot be read, since
    // only one extra bound follows it.
    if (dims != 1 && dims != 2) return false;
    if (elementSize != SafeArrayElementSize(element)) return false;

    SAFEARRAYBOUND bounds[2];
    bounds[0] = {GetLE<std::uint32_t>(d + kArrayFirstBoundOffset), GetLE<std::int32_t>(d + kArrayFirstBoundOffset + 4)};
    std::size_t dataAt = at + kArrayDescriptorSize;
    if (dims == 2) {
        if (!Fits(block.size(), dataAt, kArrayBoundSize)) return false;
        bounds[1] = {GetLE<std::uint32_t>(block.data() + dataAt), GetLE<std::int32_t>(block.data() + dataAt + 4)};
        dataAt += kArrayBoundSize;
    }
    if (dataAt > block.size()) return false;

    // The element bytes must all be in the block before anything is allocated; the product
    // of two 32-bit counts fits in 64 bits, the byte count is checked by division.
    std::uint64_t elements = bounds[0].cElements;
    if (dims == 2) elements *= bounds[1].cElements;
    if (elements > (block.size() - dataAt) / elementSize) return false;

    // The stream lists the bounds in stored order (rgsabound[0] first); SafeArrayCreate takes
    // them first dimension first and stores them reversed.
    SAFEARRAYBOUND firstToLast[2];
    for (UINT i = 0; i < dims; ++i) firstToLast[i] = bounds[dims - 1 - i];
    SAFEARRAY* array = SafeArrayCreate(element, dims, firstToLast);
    if (!array) return false;
    if (elements != 0)
        std::memcpy(array->pvData, block.data() + dataAt, static_cast<std::size_t>(elements) * elementSize);
    out.vt = static_cast<VARTYPE>(VT_ARRAY | element);
    out.parray = array;
    return true;
}

// Frees what a decoded value owns; scalars own nothing.
void ClearDecoded(VARIANT& value) {
    if (value.vt == VT_BSTR || (value.vt & VT_ARRAY)) VariantClear(&value);
}

}  // namespace

bool ReadDataHeader(Block block, StreamHeader& header) {
    if (!Fits(block.size(), 0, kGroupHeaderSize)) return false;
    const std::uint8_t* p = block.data();
    header.itemCount = GetLE<std::uint32_t>(p + kGroupItemCountOffset);
    header.clientGroup = GetLE<std::uint32_t>(p + kGroupClientHandleOffset);
    header.transactionId = GetLE<std::uint32_t>(p + kGroupTransactionOffset);
    header.status = GetLE<std::int32_t>(p + kGroupStatusOffset);
    return true;
}

bool ReadWriteHeader(Block block, StreamHeader& header) {
    if (!Fits(block.size(), 0, kWriteHeaderSize)) return false;
    const std::uint8_t* p = block.data();
    header.itemCount = GetLE<std::uint32_t>(p + kWriteItemCountOffset);
    header.clientGroup = GetLE<std::uint32_t>(p + kWriteClientHandleOffset);
    header.transactionId = GetLE<std::uint32_t>(p + kWriteTransactionOffset);
    header.status = GetLE<std::int32_t>(p + kWriteStatusOffset);
    return true;
}

bool DecodeValue(Block block, std::size_t offset, VARIANT& out) {
    if (!Fits(block.size(), offset, kVariantSize)) return false;
    const std::uint8_t* v = block.data() + offset;
    const auto vt = GetLE<std::uint16_t>(v + kVariantTypeOffset);
    VARIANT value;
    if (vt & VT_ARRAY) {
        const auto element = static_cast<VARTYPE>(vt & ~VT_ARRAY);
        if (!IsNumericArrayElement(element)) return false;
        if (!DecodeArray(block, offset + kVariantSize, element, value)) return false;
    } else if (vt == VT_BSTR) {
        if (!DecodeString(block, offset + kVariantSize, value)) return false;
    } else {
        const int size = ScalarSize(vt);
        if (size < 0) return false;
        std::uint64_t raw = GetLE<std::uint64_t>(v + kVariantValueOffset);
        if (size < 8) raw &= (std::uint64_t{1} << (8 * size)) - 1;
        value.vt = vt;
        value.ullVal = raw;
    }
    out = value;
    return true;
}

std::size_t ReadDataItems(Block block, bool withTime, DataItemVisitor& visitor) {
    StreamHeader header;
    if (!ReadDataHeader(block, header)) return 0;
    const std::size_t headerSize = ItemHeaderSize(withTime);
    std::size_t delivered = 0;
    for (std::size_t i = 0; i < header.itemCount; ++i) {
        const std::size_t at = ItemHeaderOffset(i, withTime);
        // Item headers are consecutive: once one is past the end, so are all that follow,
        // however many the header claims.
        if (!Fits(block.size(), at, headerSize)) break;
        const std::uint8_t* h = block.data() + at;
        ItemUpdate item;
        item.clientItem = GetLE<std::uint32_t>(h + kItemClientHandleOffset);
        item.quality = GetLE<std::uint16_t>(h + kItemQualityOffset);
        if (withTime) {
            item.timestamp.dwLowDateTime = GetLE<std::uint32_t>(h + kItemTimestampOffset);
            item.timestamp.dwHighDateTime = GetLE<std::uint32_t>(h + kItemTimestampOffset + 4);
        }
        VARIANT value;
        if (!DecodeValue(block, GetLE<std::uint32_t>(h + kItemValueOffsetOffset), value)) continue;
        item.value = &value;
        // A failure while one item is handled ends that item only.
        try {
            visitor.OnItem(item);
            ++delivered;
        } catch (...) {}
        ClearDecoded(value);
    }
    return delivered;
}

std::size_t ReadWriteRecords(Block block, WriteRecordVisitor& visitor) {
    StreamHeader header;
    if (!ReadWriteHeader(block, header)) return 0;
    std::size_t delivered = 0;
    for (std::size_t i = 0; i < header.itemCount; ++i) {
        const std::size_t at = WriteRecordOffset(i);
        if (!Fits(block.size(), at, kWriteRecordSize)) break;
        const std::uint8_t* r = block.data() + at;
        try {
            visitor.OnRecord(
                {GetLE<std::uint32_t>(r + kWriteRecordClientOffset), GetLE<std::int32_t>(r + kWriteRecordErrorOffset)});
            ++delivered;
        } catch (...) {}
    }
    return delivered;
}

}  // namespace opc::stream
