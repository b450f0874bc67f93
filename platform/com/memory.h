// Task memory: the allocator through which COM callers and callees hand each other memory.
#pragma once

#include <cstddef>
#include <memory>

// Never returns nullptr for a zero size unless memory is exhausted.
void* CoTaskMemAlloc(std::size_t size);
// realloc semantics; a null block allocates, a zero size keeps a minimal block.
void* CoTaskMemRealloc(void* block, std::size_t size);
// Null is ignored.
void CoTaskMemFree(void* block);

struct CoTaskMemDeleter {
    void operator()(void* block) const { CoTaskMemFree(block); }
};
// Owner of one task-memory block, e.g. CoTaskMemPtr<OPCITEMRESULT> results(raw).
template <class T>
using CoTaskMemPtr = std::unique_ptr<T, CoTaskMemDeleter>;
