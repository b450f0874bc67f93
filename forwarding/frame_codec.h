// The forwarding frame: "M","I", a 16-bit length, a command, the command's fields, and the
// trailer "N","E",0,0. Numbers are little-endian. A read request (command 1) names a first
// address and a count; a write request (command 2) names one address, a wire type code and a
// value of the code's size. Decoding is a pure function over the bytes at hand: every field
// is read only after checking that it has arrived.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

inline constexpr std::uint8_t kFrameMagic1 = 0x4D;                          // "M"
inline constexpr std::uint8_t kFrameMagic2 = 0x49;                          // "I"
inline constexpr std::uint8_t kFrameTrailer[4] = {0x4E, 0x45, 0x00, 0x00};  // "N","E",0,0
inline constexpr std::uint8_t kReadCommand = 1;
inline constexpr std::uint8_t kWriteCommand = 2;

inline constexpr std::size_t kFrameHeaderSize = 5;  // magic, length, command
inline constexpr std::size_t kFrameTrailerSize = 4;
inline constexpr std::size_t kReadRequestSize = 13;
inline constexpr std::size_t kWriteRequestBaseSize = 12;  // plus the value size of the code
inline constexpr std::size_t kLongestRequestSize = kWriteRequestBaseSize + 8;
inline constexpr std::size_t kShortestFrameSize = 13;  // fewer bytes are never a request
// A peer's frame may be padded beyond its request up to what one receive of 64 bytes takes.
inline constexpr std::size_t kLongestPaddedFrameSize = 64;
inline constexpr std::size_t kReplyBaseSize = 11;    // header, record count, trailer
inline constexpr std::size_t kMaxReplySize = 65535;  // the length field is 16 bits

struct ReadRequest {
    std::uint16_t first;
    std::uint16_t count;
};

struct WriteRequest {
    std::uint16_t address;
    std::uint8_t code;                  // 0-9
    std::array<std::uint8_t, 8> value;  // the code's value size of bytes, zeros after them
};

using Request = std::variant<ReadRequest, WriteRequest>;

enum class ScanResult {
    kRequest,    // a whole well-formed request of `size` bytes
    kNeedMore,   // a plausible start; more bytes must arrive
    kMalformed,  // not a request at this position
};

struct FrameScan {
    ScanResult result;
    std::size_t size;  // bytes of the request when kRequest
    Request request;
};

// Looks at the bytes of a frame that should begin at `data[0]`. A request is complete when
// the bytes its command needs are there (13 for a read, 12 plus the value size for a write, but
// never fewer than 13).
// It is malformed when the magic, the command or the code is wrong, or when its length field
// claims more than those bytes and more than `available` (or more than 64). A length field
// within `available` makes the frame that long: its padding goes with it. The trailer is
// checked only in a frame `joined` from several receives, where it tells a frame split in
// transit from a short one followed by the next.
FrameScan ScanFrame(const std::uint8_t* data, std::size_t available, bool joined = false);

// The text a written value becomes, by the printf format of its code ("%d", "%lu", "%f" ...);
// code 0 gives the empty text. `value` holds at least the code's value size of bytes.
std::string WriteValueText(std::uint8_t code, const std::uint8_t* value);
