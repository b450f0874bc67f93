// libFuzzer target for the OPC DA 1.0 stream reader. The first input byte picks the format,
// the rest is the block, copied to a heap buffer of exactly its size so that any read past
// the end is caught. Every decoded data stream is encoded again by the server's encoder and
// read back: the second reading must give the same items.
#include "opc/client/stream10_parser.h"
#include "opc/da/stream_layout.h"
#include "platform/com/bstr.h"
#include "platform/com/safearray.h"
#include "platform/com/variant.h"
#include "simserver/stream10.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct Decoded {
    OPCHANDLE handle;
    WORD quality;
    FILETIME timestamp;
    Variant value;
};

class Collect final : public opc::stream::DataItemVisitor {
public:
    void OnItem(const opc::stream::ItemUpdate& u) override {
        items.push_back({u.clientItem, u.quality, u.timestamp, Variant(*u.value)});
    }
    std::vector<Decoded> items;
};

class CountRecords final : public opc::stream::WriteRecordVisitor {
public:
    void OnRecord(const opc::stream::WriteRecord&) override { ++count; }
    std::size_t count = 0;
};

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

bool SameValue(const VARIANT& a, const VARIANT& b) {
    if (a.vt != b.vt) return false;
    if (a.vt == VT_BSTR) {
        const UINT n = SysStringLen(a.bstrVal);
        return n == SysStringLen(b.bstrVal) && (n == 0 || std::memcmp(a.bstrVal, b.bstrVal, 2 * n) == 0);
    }
    if (a.vt & VT_ARRAY) {
        const SAFEARRAY& x = *a.parray;
        const SAFEARRAY& y = *b.parray;
        if (x.cDims != y.cDims || x.cbElements != y.cbElements) return false;
        for (USHORT d = 0; d < x.cDims; ++d)
            if (x.rgsabound[d].cElements != y.rgsabound[d].cElements ||
                x.rgsabound[d].lLbound != y.rgsabound[d].lLbound)
                return false;
        const std::size_t bytes = std::size_t{SafeArrayElementCount(a.parray)} * x.cbElements;
        return bytes == 0 || std::memcmp(x.pvData, y.pvData, bytes) == 0;
    }
    return a.ullVal == b.ullVal;
}

std::vector<Decoded> Decode(std::span<const std::uint8_t> block, bool withTime) {
    Collect collect;
    const std::size_t delivered = opc::stream::ReadDataItems(block, withTime, collect);
    Check(delivered == collect.items.size());
    if (block.size() >= opc::stream::kGroupHeaderSize)
        Check(delivered <= (block.size() - opc::stream::kGroupHeaderSize) / opc::stream::ItemHeaderSize(withTime));
    return std::move(collect.items);
}

void RoundTrip(std::span<const std::uint8_t> block, bool withTime) {
    const std::vector<Decoded> first = Decode(block, withTime);
    opc::stream::StreamHeader header;
    if (!opc::stream::ReadDataHeader(block, header)) {
        Check(first.empty());
        return;
    }
    std::vector<simserver::Stream10Item> items;
    for (const auto& d : first) items.push_back({d.handle, d.quality, d.timestamp, d.value.get()});
    const auto format = withTime ? simserver::Stream10Format::DataTime : simserver::Stream10Format::Data;
    const std::vector<std::uint8_t> again =
        simserver::EncodeDataStream(format, header.clientGroup, header.transactionId, header.status, items);
    const std::vector<Decoded> second = Decode(again, withTime);
    Check(second.size() == first.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        Check(second[i].handle == first[i].handle && second[i].quality == first[i].quality);
        Check(!withTime || (second[i].timestamp.dwLowDateTime == first[i].timestamp.dwLowDateTime &&
                            second[i].timestamp.dwHighDateTime == first[i].timestamp.dwHighDateTime));
        Check(SameValue(*second[i].value, *first[i].value));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t selector = data[0] % 3;
    const std::size_t blockSize = size - 1;
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[blockSize == 0 ? 1 : blockSize]);
    if (blockSize) std::memcpy(exact.get(), data + 1, blockSize);
    const std::span<const std::uint8_t> block(exact.get(), blockSize);
    if (selector == 2) {
        CountRecords records;
        opc::stream::ReadWriteRecords(block, records);
        if (blockSize >= opc::stream::kWriteHeaderSize)
            Check(records.count <= (blockSize - opc::stream::kWriteHeaderSize) / opc::stream::kWriteRecordSize);
    } else {
        RoundTrip(block, selector == 1);
    }
    return 0;
}
