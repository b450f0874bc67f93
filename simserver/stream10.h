// Encoders of the OPC DA 1.0 data and write-complete streams that a group hands to its
// IAdviseSink advices. Every field is written little-endian at its documented offset; no
// native struct is ever copied into a stream.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/com/types.h"

namespace simserver {

enum class Stream10Format {
    Data,      // "OPCSTMFORMATDATA": item headers without timestamps
    DataTime,  // "OPCSTMFORMATDATATIME": item headers with timestamps
};

struct Stream10Item {
    DWORD clientHandle = 0;
    WORD quality = 0;
    FILETIME timestamp;
    const VARIANT* value = nullptr;  // null is sent as VT_EMPTY
};

struct Stream10WriteResult {
    DWORD clientHandle = 0;
    HRESULT error = 0;
};

// Data stream: group header, one item header per item, then each value as a 16-byte VARIANT
// record followed by its string or array data.
std::vector<std::uint8_t> EncodeDataStream(Stream10Format format, DWORD clientGroup, DWORD transactionId,
                                           HRESULT status, std::span<const Stream10Item> items);

// Write-complete stream: 16-byte header and one 8-byte record per item.
std::vector<std::uint8_t> EncodeWriteCompleteStream(DWORD clientGroup, DWORD transactionId, HRESULT status,
                                                    std::span<const Stream10WriteResult> results);

}  // namespace simserver
