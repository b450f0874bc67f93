// The reply to a read request: one record per registered address of the range whose item has
// a numeric data type and a value, each holding the low 16 bits of the address, the wire type
// code (bit 7 set when the value is good) and the value bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CItemAddressRegistry;

// Appends the reply for the `count` addresses from `first` of `registry` to `out` and returns
// its length.
// Items get their wire type on their first reply; records are copied from the items'
// snapshots, without waiting for the item locks. The reply stays within 65535 bytes: records
// that would pass it are left out. Prints the "[size=-1]" and "[vt=empty]" trace lines for
// skipped items.
std::size_t BuildDataFrame(const CItemAddressRegistry& registry, std::uint16_t first, std::uint16_t count,
                           std::vector<std::uint8_t>& out);
