// libFuzzer target for the forwarding frame handling: the input is what a peer sends on one
// connection. It is handled twice, in one receive and cut into receives of varying sizes (the
// first byte picks them): both must give the same requests, replies and writes, unless some
// frame asks for padding or lacks its trailer (whether the padding came with it, and whether
// the trailer is looked at, depend on the cuts). Every reply
// is parsed back and checked against the frame format, and every decoded request is encoded
// again and must scan to itself. The items sit at a small fixed set of addresses with every
// kind of value the replies meet.
#include "forwarding/data_frame.h"
#include "forwarding/frame_codec.h"
#include "forwarding/frame_handler.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/wire_type.h"
#include "platform/com/bstr.h"
#include "platform/com/variant.h"

#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

struct Fixture {
    struct ItemSetup {
        int address;
        VARTYPE dataType;
        VARTYPE valueType;
        std::uint64_t bits;
        WORD quality;
    };

    Fixture() {
        std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);  // the skip traces are many
        const ItemSetup setups[] = {
            {0, VT_BOOL, VT_BOOL, 0xFFFF, 0xC0},
            {1, VT_I1, VT_I1, 0x80, 0x40},
            {2, VT_UI1, VT_UI1, 0xFF, 0xC3},
            {3, VT_I2, VT_I2, 0x8000, 0x00},
            {4, VT_UI2, VT_I4, 0x12345678, 0xC0},
            {5, VT_I4, VT_I4, 0xFFFFFFFF, 0xC0},
            {6, VT_UI4, VT_EMPTY, 0, 0xC0},
            {7, VT_R4, VT_R4, 0x40200000, 0xD8},
            {8, VT_R8, VT_R8, 0x4029000000000000, 0xC0},
            {9, VT_I8, VT_I8, 0x8000000000000000, 0xC0},
            {10, VT_UI8, VT_BOOL, 0, 0xC0},
            {11, VT_BSTR, VT_BSTR, 0, 0xC0},
            {12, VT_I4, VT_BSTR, 0, 0xC0},
            {13, VT_DATE, VT_R8, 0, 0xC0},
            {300, VT_R8, VT_R8, 1, 0xC0},
            {65535, VT_I2, VT_I2, 7, 0xC0},
            {65536, VT_UI1, VT_UI1, 9, 0xC0},
            {131069, VT_I4, VT_I4, 11, 0xC0},
        };
        for (const ItemSetup& setup : setups) {
            auto item = std::make_unique<CVItem>(nullptr);
            item->itemId = "Fuzz" + std::to_string(setup.address);
            item->SetDataType(setup.dataType);
            item->added = setup.address % 4 != 3;
            VARIANT value;
            value.vt = setup.valueType;
            value.ullVal = setup.bits;
            if (setup.valueType == VT_BSTR) value.bstrVal = BstrFromUtf8("text");
            if (setup.valueType != VT_EMPTY) item->SetValue(value, setup.quality);
            VariantClear(&value);
            CItemAddressRegistry::Instance().RegisterAt(item.get(), setup.address);
            items.push_back(std::move(item));
        }
    }
    std::vector<std::unique_ptr<CVItem>> items;
};

struct Outcome {
    std::vector<std::uint8_t> replies;
    std::vector<std::string> writes;
};

Outcome Handle(const std::uint8_t* data, std::size_t size, std::size_t firstCut) {
    Outcome outcome;
    FrameHandler handler(CItemAddressRegistry::Instance(), [&](const LinkWrite& write) {
        if (write.item) outcome.writes.push_back(write.item->itemId + "=" + write.text);
    });
    std::size_t position = 0;
    std::size_t cut = firstCut;
    while (position < size) {
        const std::size_t n = std::min(cut, size - position);
        handler.Receive(data + position, n);
        while (handler.HandleNext(outcome.replies)) {}
        position += n;
        cut = cut % 23 + 1;
    }
    return outcome;
}

// Walks the replies one frame at a time and checks each against the format.
void CheckReplies(const std::vector<std::uint8_t>& replies) {
    std::size_t at = 0;
    while (at < replies.size()) {
        Check(replies.size() - at >= kReplyBaseSize);
        const std::uint8_t* frame = replies.data() + at;
        const std::size_t length = frame[2] | frame[3] << 8;
        const std::size_t records = frame[5] | frame[6] << 8;
        Check(frame[0] == kFrameMagic1 && frame[1] == kFrameMagic2 && frame[4] == kReadCommand);
        Check(length >= kReplyBaseSize && length <= replies.size() - at);
        std::size_t position = 7;
        for (std::size_t r = 0; r < records; ++r) {
            Check(position + 3 <= length - kFrameTrailerSize);
            const std::uint8_t code = frame[position + 2] & 0x7F;
            Check(code > 0 && code < kWireTypeCodeCount);
            position += 3 + kWireValueSize[code];
            Check(position <= length - kFrameTrailerSize);
        }
        Check(position == length - kFrameTrailerSize);
        Check(std::memcmp(frame + position, kFrameTrailer, kFrameTrailerSize) == 0);
        at += length;
    }
}

std::vector<std::uint8_t> Encode(const Request& request) {
    std::vector<std::uint8_t> frame = {kFrameMagic1, kFrameMagic2, 0, 0, 0};
    if (const auto* read = std::get_if<ReadRequest>(&request)) {
        frame[4] = kReadCommand;
        frame.insert(frame.end(), {std::uint8_t(read->first), std::uint8_t(read->first >> 8), std::uint8_t(read->count),
                                   std::uint8_t(read->count >> 8)});
    } else {
        const auto& write = std::get<WriteRequest>(request);
        frame[4] = kWriteCommand;
        frame.insert(frame.end(), {std::uint8_t(write.address), std::uint8_t(write.address >> 8), write.code});
        frame.insert(frame.end(), write.value.begin(), write.value.begin() + kWireValueSize[write.code]);
    }
    frame.insert(frame.end(), kFrameTrailer, kFrameTrailer + kFrameTrailerSize);
    frame.resize(std::max(frame.size(), kShortestFrameSize));  // a code-0 write is padded to 13
    frame[2] = std::uint8_t(frame.size());
    return frame;
}

// True when some "M","I" starts a request whose length field asks for padding or whose
// trailer is not where its command puts it.
bool CutsMayMatter(const std::uint8_t* data, std::size_t size) {
    for (std::size_t at = 0; at + kFrameHeaderSize <= size; ++at) {
        if (data[at] != kFrameMagic1 || data[at + 1] != kFrameMagic2) continue;
        std::size_t needed = kReadRequestSize;
        if (data[at + 4] == kWriteCommand) {
            if (at + 8 > size || data[at + 7] >= kWireTypeCodeCount) continue;
            needed = std::max(kWriteRequestBaseSize + kWireValueSize[data[at + 7]], kShortestFrameSize);
        } else if (data[at + 4] != kReadCommand) {
            continue;
        }
        const auto length = static_cast<std::int16_t>(data[at + 2] | data[at + 3] << 8);
        if (length > static_cast<int>(needed)) return true;
        if (at + needed <= size &&
            std::memcmp(data + at + needed - kFrameTrailerSize, kFrameTrailer, kFrameTrailerSize) != 0)
            return true;
    }
    return false;
}

void CheckRoundTrip(const std::uint8_t* data, std::size_t size) {
    FrameReader reader;
    reader.Append(data, size);
    while (auto request = reader.Next()) {
        const std::vector<std::uint8_t> frame = Encode(*request);
        const FrameScan scan = ScanFrame(frame.data(), frame.size());
        Check(scan.result == ScanResult::kRequest && scan.size == frame.size());
        Check(Encode(scan.request) == frame);
    }
    Check(reader.Pending() < kLongestRequestSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fixture;
    if (size == 0) return 0;
    const std::size_t firstCut = data[0] % 29 + 1;
    const Outcome whole = Handle(data, size, size);
    const Outcome pieces = Handle(data, size, firstCut);
    if (!CutsMayMatter(data, size)) {
        Check(whole.replies == pieces.replies);
        Check(whole.writes == pieces.writes);
    }
    CheckReplies(whole.replies);
    CheckRoundTrip(data, size);
    return 0;
}
