// What one connection does with its peer's bytes: reassembles the requests, answers read
// requests with data frames and hands write requests to the item's group. A write is never
// answered; malformed bytes are dropped without a word.
#pragma once

#include "forwarding/frame_reader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CItemAddressRegistry;
class CVItem;

// Writes `text` to one item. The default hands it to the item's group as an asynchronous
// OPC DA 1.0 write, which converts it to the item's data type and logs a failure.
using ItemWriter = std::function<void(CVItem& item, const std::string& text)>;
void WriteThroughGroup(CVItem& item, const std::string& text);

class FrameHandler {
public:
    // Requests name the items of `registry`.
    explicit FrameHandler(const CItemAddressRegistry& registry, ItemWriter writer = WriteThroughGroup)
        : registry_(registry), writer_(std::move(writer)) {}

    void Receive(const std::uint8_t* bytes, std::size_t size) { reader_.Append(bytes, size); }
    // Handles the next complete request, appending a reply to `out` for a read; false when no
    // complete request is left.
    bool HandleNext(std::vector<std::uint8_t>& out);

private:
    void Write(const WriteRequest& request);

    const CItemAddressRegistry& registry_;
    FrameReader reader_;
    ItemWriter writer_;
};
