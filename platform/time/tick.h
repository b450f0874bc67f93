// Milliseconds since an arbitrary start, from the monotonic clock; wraps after about 49.7
// days, so compare ticks by unsigned difference.
#pragma once

#include "platform/com/types.h"

DWORD GetTickCount();
