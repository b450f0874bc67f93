// Value helpers of the group: change detection, percent deadband, the requested data type,
// and arrays handed to clients in task memory.
#pragma once

#include <cstddef>
#include <new>

#include "platform/com/memory.h"
#include "platform/com/types.h"
#include "platform/com/variant.h"

namespace simserver {

// Same type and same contents (strings and arrays compared element by element).
bool VariantsEqual(const VARIANT& a, const VARIANT& b);

// True when `current` differs from `previous` by more than `band` (absolute EU units) in
// the value or, for arrays, in any element. Values that are not numbers, or whose shapes
// differ, count as exceeding.
bool ExceedsDeadband(const VARIANT& previous, const VARIANT& current, double band);

// A type a client may request: VT_EMPTY (canonical), a convertible scalar, or an array of one.
bool IsRequestableType(VARTYPE vt);

// Converts in place to `requested` (VT_EMPTY leaves it). OPC_E_BADTYPE when the value cannot
// take that type, OPC_E_RANGE when it overflows it; the value is then VT_EMPTY.
HRESULT ConvertToRequested(VARIANT* value, VARTYPE requested);

}  // namespace simserver
