#include "platform/com/global_memory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

namespace {

struct Block {
    std::size_t size = 0;      // what GlobalSize reports
    std::size_t capacity = 0;  // allocated, so that growing by small writes stays cheap
    char* data = nullptr;
    unsigned locks = 0;
};

// Live handles, so that a stale or foreign handle is recognised without touching it.
struct LiveBlocks {
    std::mutex mutex;
    std::unordered_set<Block*> blocks;
};

LiveBlocks& Live() {
    static LiveBlocks live;
    return live;
}

Block* Find(HGLOBAL handle) {
    auto* block = static_cast<Block*>(handle);
    return Live().blocks.count(block) ? block : nullptr;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT, std::size_t bytes) {
    auto* block = new (std::nothrow) Block;
    if (!block) return nullptr;
    block->data = static_cast<char*>(std::calloc(bytes == 0 ? 1 : bytes, 1));
    if (!block->data) {
        delete block;
        return nullptr;
    }
    block->size = bytes;
    block->capacity = bytes == 0 ? 1 : bytes;
    std::lock_guard lock(Live().mutex);
    Live().blocks.insert(block);
    return block;
}

HGLOBAL GlobalReAlloc(HGLOBAL handle, std::size_t bytes, UINT) {
    std::lock_guard lock(Live().mutex);
    Block* block = Find(handle);
    if (!block) return nullptr;
    if (bytes > block->capacity) {
        // Grow geometrically; the reported size stays exact.
        const std::size_t capacity = std::max(bytes, block->capacity + block->capacity / 2);
        char* data = static_cast<char*>(std::realloc(block->data, capacity));
        if (!data) return nullptr;
        block->data = data;
        block->capacity = capacity;
    }
    if (bytes > block->size) std::memset(block->data + block->size, 0, bytes - block->size);
    block->size = bytes;
    return block;
}

void* GlobalLock(HGLOBAL handle) {
    std::lock_guard lock(Live().mutex);
    Block* block = Find(handle);
    if (!block) return nullptr;
    ++block->locks;
    return block->data;
}

BOOL GlobalUnlock(HGLOBAL handle) {
    std::lock_guard lock(Live().mutex);
    Block* block = Find(handle);
    if (!block || block->locks == 0) return FALSE;
    return --block->locks > 0 ? TRUE : FALSE;
}

std::size_t GlobalSize(HGLOBAL handle) {
    std::lock_guard lock(Live().mutex);
    Block* block = Find(handle);
    return block ? block->size : 0;
}

HGLOBAL GlobalFree(HGLOBAL handle) {
    Block* block = nullptr;
    {
        std::lock_guard lock(Live().mutex);
        block = Find(handle);
        if (!block) return handle;
        Live().blocks.erase(block);
    }
    std::free(block->data);
    delete block;
    return nullptr;
}
