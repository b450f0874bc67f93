// Task memory: the allocator through which COM callers and callees hand each other memory.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

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

// `count` value-initialised elements in task memory, for a callee to hand out (a zero count
// still gives a block), or null when out of memory.
template <class T>
T* CoTaskMemAllocArray(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) return nullptr;
    void* block = CoTaskMemAlloc(count ? count * sizeof(T) : 1);
    if (!block) return nullptr;
    T* items = static_cast<T*>(block);
    for (std::size_t i = 0; i < count; ++i) new (&items[i]) T();
    return items;
}

// Owner of a task-memory array that a callee hands back through an out parameter, and of what
// its elements own (strings, blobs, values), freed by `cleanup` for the first elements the
// caller says hold anything:
//     TaskMemArray<HRESULT> errors;
//     io->Read(count, handles, errors.put());
//     if (errors && FAILED(errors[i])) ...
// Whatever way the caller leaves, nothing leaks.
template <class T>
class TaskMemArray {
public:
    using Cleanup = void (*)(T& element);

    TaskMemArray() = default;
    explicit TaskMemArray(Cleanup cleanup) : cleanup_(cleanup) {}
    // Owns `block`, whose first `filled` elements hold what `cleanup` frees.
    TaskMemArray(T* block, std::size_t filled, Cleanup cleanup = nullptr)
        : block_(block), filled_(block ? filled : 0), cleanup_(cleanup) {}
    ~TaskMemArray() { Reset(); }
    TaskMemArray(const TaskMemArray&) = delete;
    TaskMemArray& operator=(const TaskMemArray&) = delete;
    TaskMemArray(TaskMemArray&& other) noexcept
        : block_(std::exchange(other.block_, nullptr)),
          filled_(std::exchange(other.filled_, 0)),
          cleanup_(other.cleanup_) {}

    // Frees what is held and gives the callee the slot to fill.
    T** put() {
        Reset();
        return &block_;
    }
    T* get() const { return block_; }
    T& operator[](std::size_t index) const { return block_[index]; }
    explicit operator bool() const { return block_ != nullptr; }
    // The first `count` elements hold what `cleanup` frees (once the callee said so).
    void SetFilled(std::size_t count) { filled_ = block_ ? count : 0; }
    // Hands the block over, to a caller that takes it through an out parameter.
    [[nodiscard]] T* Release() {
        filled_ = 0;
        return std::exchange(block_, nullptr);
    }

    void Reset() {
        if (block_ && cleanup_)
            for (std::size_t i = 0; i < filled_; ++i) cleanup_(block_[i]);
        CoTaskMemFree(block_);
        block_ = nullptr;
        filled_ = 0;
    }

private:
    T* block_ = nullptr;
    std::size_t filled_ = 0;
    Cleanup cleanup_ = nullptr;
};
