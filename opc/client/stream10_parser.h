// Reader of the OPC DA 1.0 streams that a server hands to the group's advise sink. The
// block comes from the server, so nothing in it is trusted: every header, offset, count and
// length is checked against the block's real size before it is used, nothing is read
// outside the block, and no memory is allocated for a string or array until its bytes are
// known to be there. An item that cannot be decoded is skipped; the others are delivered.
#pragma once

#include "opc/da/opc_types.h"
#include "platform/com/types.h"

#include <cstdint>
#include <span>

namespace opc::stream {

// The header of a data stream, or of a write-complete stream (which has no size field).
struct StreamHeader {
    DWORD itemCount = 0;  // as the server claims it
    OPCHANDLE clientGroup = 0;
    DWORD transactionId = 0;
    HRESULT status = 0;
};

// One decoded item of a data stream. `value` is valid only during the callback; it may own
// a string or an array, which the reader frees afterwards, so a receiver copies it.
struct ItemUpdate {
    OPCHANDLE clientItem = 0;
    WORD quality = 0;
    FILETIME timestamp;  // zero in the format without timestamps
    const VARIANT* value = nullptr;
};

// One record of a write-complete stream.
struct WriteRecord {
    OPCHANDLE clientItem = 0;
    HRESULT error = 0;
};

class DataItemVisitor {
public:
    virtual void OnItem(const ItemUpdate& item) = 0;

protected:
    ~DataItemVisitor() = default;
};

class WriteRecordVisitor {
public:
    virtual void OnRecord(const WriteRecord& record) = 0;

protected:
    ~WriteRecordVisitor() = default;
};

// False (header untouched) when the block is too short for the header.
[[nodiscard]] bool ReadDataHeader(std::span<const std::uint8_t> block, StreamHeader& header);
[[nodiscard]] bool ReadWriteHeader(std::span<const std::uint8_t> block, StreamHeader& header);

// Calls the visitor for every item of a data stream that can be decoded, in stream order.
// `withTime` selects the 20-byte item headers of "OPCSTMFORMATDATATIME". Returns the number
// of items delivered.
std::size_t ReadDataItems(std::span<const std::uint8_t> block, bool withTime, DataItemVisitor& visitor);

// Calls the visitor for every record of a write-complete stream that is in the block.
std::size_t ReadWriteRecords(std::span<const std::uint8_t> block, WriteRecordVisitor& visitor);

// Decodes the value at `offset`: a 16-byte VARIANT and, for strings and the eight numeric
// array types, the data after it. On success `out` owns what it holds (free it with
// VariantClear). False for a value that is cut short, of a type that carries a pointer the
// stream cannot supply, or whose array descriptor does not describe its own bytes.
[[nodiscard]] bool DecodeValue(std::span<const std::uint8_t> block, std::size_t offset, VARIANT& out);

}  // namespace opc::stream
