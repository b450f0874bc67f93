// Clipboard formats registered by name: the same name (without regard to case, as Windows
// atoms) always gives the same number, from 0xC000 up.
#pragma once

#include "platform/com/types.h"

#include <string>
#include <string_view>

// 0 for an empty name or when the format numbers are exhausted. Thread-safe.
UINT RegisterClipboardFormat(std::string_view name);
// The number of a registered name (without regard to case); 0 when nobody registered it.
UINT FindClipboardFormat(std::string_view name);
// The name as first registered; empty for an unregistered number.
std::string GetClipboardFormatName(UINT format);
