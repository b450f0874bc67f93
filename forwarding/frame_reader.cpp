#include "forwarding/frame_reader.h"

#include <cstring>

void FrameReader::Append(const std::uint8_t* bytes, std::size_t size) {
    if (position_ > 0) {  // drop what has been taken before growing
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(position_));
        position_ = 0;
    }
    lastReceiveAt_ = buffer_.size();
    buffer_.insert(buffer_.end(), bytes, bytes + size);
}

std::optional<Request> FrameReader::Next() {
    while (position_ < buffer_.size()) {
        const std::uint8_t* start = buffer_.data() + position_;
        const std::size_t available = buffer_.size() - position_;
        const FrameScan scan = ScanFrame(start, available, position_ < lastReceiveAt_);
        if (scan.result == ScanResult::kRequest) {
            position_ += scan.size;
            return scan.request;
        }
        if (scan.result == ScanResult::kNeedMore) return std::nullopt;
        // Resynchronise: the next frame can only begin at a later "M".
        const void* magic = std::memchr(start + 1, kFrameMagic1, available - 1);
        position_ =
            magic ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(magic) - buffer_.data()) : buffer_.size();
    }
    buffer_.clear();
    position_ = 0;
    lastReceiveAt_ = 0;
    return std::nullopt;
}
