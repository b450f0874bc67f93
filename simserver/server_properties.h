// Item properties of the simulation server's tags (IOPCItemProperties): the standard ids 1-8
// that describe the item itself, the recommended ids 100-103 for analog tags and
// descriptions, and vendor ids from 5000. Some properties can also be read as items of their
// own (a unit tag beside a flow tag, the word of a bit).
#pragma once

#include <string>
#include <vector>

#include "simserver/address_space.h"

namespace simserver {

inline constexpr DWORD kPropSignal = OPC_PROP_FIRST_VENDOR;         // "Simulation Signal"
inline constexpr DWORD kPropStep = OPC_PROP_FIRST_VENDOR + 1;       // "Simulation Step (ms)"
inline constexpr DWORD kPropAlarmItem = OPC_PROP_FIRST_VENDOR + 2;  // "Alarm Item"
inline constexpr DWORD kPropTrendItem = OPC_PROP_FIRST_VENDOR + 3;  // "Trend Item"
inline constexpr DWORD kPropWordItem = OPC_PROP_FIRST_VENDOR + 4;   // "Word Item"

struct PropertyInfo {
    DWORD id;
    std::u16string description;
    VARTYPE type;
};

// The properties of a tag, in id order.
std::vector<PropertyInfo> AvailableProperties(const Tag& tag);

// The value of one property at `now`: S_OK, OPC_E_INVALID_PID when the tag does not have
// it, or the error of reading the item behind it (OPC_E_BADRIGHTS for a write-only value).
HRESULT PropertyValue(const AddressSpace& space, const Tag& tag, DWORD id, FILETIME now, VARIANT* out);

// The ItemID that reads a property as an item: S_OK; OPC_E_INVALID_PID when the tag does
// not have the property or it is one of the ids below 100, which describe the item itself;
// E_FAIL when the property has no item of its own.
HRESULT PropertyItemId(const Tag& tag, DWORD id, std::u16string* itemId);

}  // namespace simserver
