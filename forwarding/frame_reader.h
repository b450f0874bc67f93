// Reassembles the requests of one connection from what its receives deliver: a request split
// across receives waits for its remaining bytes, several requests in one receive are taken one
// after the other. Bytes that do not start a well-formed request are dropped up to the next
// "M": a frame that came whole in one receive is taken as far as its command needs (or its
// length field, for padding that came with it), whatever its trailer; one joined from several
// receives must end with the trailer, so a short frame never swallows the peer's next
// request. Between receives at most the start of one unfinished request is kept.
#pragma once

#include "forwarding/frame_codec.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class FrameReader {
public:
    void Append(const std::uint8_t* bytes, std::size_t size);
    // The next complete request, or nothing until more bytes are appended.
    std::optional<Request> Next();
    // Bytes waiting for the rest of their request.
    std::size_t Pending() const { return buffer_.size() - position_; }

private:
    std::vector<std::uint8_t> buffer_;
    std::size_t position_ = 0;
    std::size_t lastReceiveAt_ = 0;  // where the bytes of the latest receive begin
};
