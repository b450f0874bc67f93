// Frames as a peer sends and receives them, built byte by byte for the tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadRequestBytes(std::uint16_t first, std::uint16_t count, std::int16_t length = 13) {
    const auto l = static_cast<std::uint16_t>(length);
    return {0x4D,
            0x49,
            std::uint8_t(l),
            std::uint8_t(l >> 8),
            1,
            std::uint8_t(first),
            std::uint8_t(first >> 8),
            std::uint8_t(count),
            std::uint8_t(count >> 8),
            0x4E,
            0x45,
            0,
            0};
}

// `length` < 0: the true length.
inline Bytes WriteRequestBytes(std::uint16_t address, std::uint8_t code, const Bytes& value, int length = -1) {
    const auto l = static_cast<std::uint16_t>(length < 0 ? 12 + static_cast<int>(value.size()) : length);
    Bytes frame{0x4D, 0x49, std::uint8_t(l), std::uint8_t(l >> 8), 2, std::uint8_t(address), std::uint8_t(address >> 8),
                code};
    frame.insert(frame.end(), value.begin(), value.end());
    frame.insert(frame.end(), {0x4E, 0x45, 0, 0});
    return frame;
}

// The reply holding `records` records whose bytes are `body`.
inline Bytes ReplyBytes(std::uint16_t records, const Bytes& body) {
    const std::size_t length = 11 + body.size();
    Bytes frame{0x4D,
                0x49,
                std::uint8_t(length),
                std::uint8_t(length >> 8),
                1,
                std::uint8_t(records),
                std::uint8_t(records >> 8)};
    frame.insert(frame.end(), body.begin(), body.end());
    frame.insert(frame.end(), {0x4E, 0x45, 0, 0});
    return frame;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}
