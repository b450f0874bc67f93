// The lists of the project tree (the document's servers, a server's groups, a group's items):
// doubly linked through the elements' own `prev` and `next` members, newest at the head. A
// list owns what is in it; what it still holds when it goes is deleted, from the head.
#pragma once

#include <utility>

template <class T>
class IntrusiveList {
public:
    IntrusiveList() = default;
    ~IntrusiveList() { DeleteAll(); }
    IntrusiveList(const IntrusiveList&) = delete;
    IntrusiveList& operator=(const IntrusiveList&) = delete;

    T* First() const { return first_; }
    int Count() const { return count_; }

    // Takes `node` in at the head.
    void PushFront(T* node) {
        node->prev = nullptr;
        node->next = first_;
        if (first_) first_->prev = node;
        first_ = node;
        ++count_;
    }
    // Takes `node` out of the list; the caller owns it again.
    void Unlink(T* node) {
        if (node->prev) node->prev->next = node->next;
        if (node->next) node->next->prev = node->prev;
        if (first_ == node) first_ = node->next;
        node->prev = node->next = nullptr;
        --count_;
    }
    // Takes the head out and hands it over; null when the list is empty.
    T* PopFront() {
        T* node = first_;
        if (node) Unlink(node);
        return node;
    }
    void DeleteAll() {
        while (T* node = PopFront()) delete node;
    }
    // Exchanges the contents, e.g. to delete them outside a lock.
    void Swap(IntrusiveList& other) noexcept {
        std::swap(first_, other.first_);
        std::swap(count_, other.count_);
    }

private:
    T* first_ = nullptr;
    int count_ = 0;
};
