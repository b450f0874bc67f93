// What one connection does with its peer's bytes: reassembles the requests, answers read
// requests with data frames and hands write requests on. A write is never answered; malformed
// bytes are dropped without a word.
#pragma once

#include "forwarding/frame_reader.h"
#include "platform/com/types.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CItemAddressRegistry;
class CVItem;

// Writes `text` to one item and returns the result of the server call. The default hands it
// to the item's group as an asynchronous OPC DA 1.0 write, which converts it to the item's
// data type and logs a failure.
using ItemWriter = std::function<HRESULT(CVItem& item, const std::string& text)>;
HRESULT WriteThroughGroup(CVItem& item, const std::string& text);

// A peer's write request: the address it names, the item there (null when none) and the text
// its value became.
struct LinkWrite {
    std::uint16_t address;
    CVItem* item;
    std::string text;
};
using WriteHandler = std::function<void(const LinkWrite& write)>;

class FrameHandler {
public:
    // Requests name the items of `registry`; writes go to `onWrite`.
    FrameHandler(const CItemAddressRegistry& registry, WriteHandler onWrite)
        : registry_(registry), onWrite_(std::move(onWrite)) {}

    void Receive(const std::uint8_t* bytes, std::size_t size) { reader_.Append(bytes, size); }
    // Handles the next complete request, appending a reply to `out` for a read; false when no
    // complete request is left.
    bool HandleNext(std::vector<std::uint8_t>& out);

private:
    void Write(const WriteRequest& request);

    const CItemAddressRegistry& registry_;
    FrameReader reader_;
    WriteHandler onWrite_;
};
