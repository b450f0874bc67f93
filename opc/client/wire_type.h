// Wire type codes of values on the forwarding links: one byte per numeric value type, with
// the size of the value bytes that follow it in a frame.
#pragma once

#include "platform/com/types.h"

#include <optional>

struct WireType {
    BYTE code;
    BYTE size;
};

inline constexpr BYTE kWireTypeCodeCount = 10;
// Value size by code 0-9.
inline constexpr BYTE kWireValueSize[kWireTypeCodeCount] = {0, 1, 1, 1, 2, 2, 4, 4, 4, 8};

// The code and size an item of data type `type` is sent with; nothing for types that are
// never sent (strings, dates, arrays, ...).
constexpr std::optional<WireType> WireTypeOf(VARTYPE type) {
    switch (type) {
    case VT_BOOL: return WireType{1, 1};
    case VT_I1: return WireType{2, 1};
    case VT_UI1: return WireType{3, 1};
    case VT_I2: return WireType{4, 2};
    case VT_UI2: return WireType{5, 2};
    case VT_I4: return WireType{6, 4};
    case VT_UI4: return WireType{7, 4};
    case VT_R4: return WireType{8, 4};
    case VT_R8:
    case VT_I8:
    case VT_UI8: return WireType{9, 8};
    default: return std::nullopt;
    }
}

// Values whose 8 bytes are a pointer (strings, arrays, interfaces, references) are never sent:
// they carry no number and would hand our memory layout to the peer.
constexpr bool HoldsPointer(VARTYPE type) {
    if (type & (VT_ARRAY | VT_BYREF)) return true;
    switch (type) {
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
    case VT_VARIANT:
    case VT_DECIMAL: return true;
    default: return false;
    }
}
