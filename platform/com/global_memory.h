// Global memory blocks: handles to heap blocks whose size is known (GlobalSize is the size
// that was asked for), used to pass OPC DA 1.0 data streams.
#pragma once

#include "platform/com/types.h"

#include <cstddef>

using HGLOBAL = void*;

inline constexpr UINT GMEM_FIXED = 0x0000;
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;
inline constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
inline constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// The contents are zeroed whatever the flags. Null when out of memory.
HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
// Keeps the contents up to the smaller size; new bytes are zeroed. Null on failure (the block
// then stays as it was).
HGLOBAL GlobalReAlloc(HGLOBAL block, std::size_t bytes, UINT flags);
// The data; null for a handle that is not a live block.
void* GlobalLock(HGLOBAL block);
// TRUE while other locks remain.
BOOL GlobalUnlock(HGLOBAL block);
// 0 for a handle that is not a live block.
std::size_t GlobalSize(HGLOBAL block);
// Null on success, the handle itself when it is not a live block.
HGLOBAL GlobalFree(HGLOBAL block);
