// Reference-counted interface ownership: ComPtr for holders of interface pointers and
// ComObject for classes that implement interfaces.
//
// Every interface used with ComObject or the IID-less ComPtr::As needs its IID made known once:
//     COM_INTERFACE_IID(IOPCServer, IID_IOPCServer);
//     COM_INTERFACE_IID_BASE(IStream, IID_IStream, ISequentialStream);  // answers both IIDs
// (at global namespace, after the interface and its IID constant are declared).
#pragma once

#include "platform/com/hresult.h"
#include "platform/com/types.h"

#include <atomic>
#include <cstddef>
#include <type_traits>
#include <utility>

using LPUNKNOWN = IUnknown*;

// Filled in per interface by the macros below: Iid() and the interface's own base.
template <class Itf>
struct InterfaceTraits;

template <>
struct InterfaceTraits<IUnknown> {
    static constexpr const IID& Iid() { return IID_IUnknown; }
    using Base = IUnknown;
};

#define COM_INTERFACE_IID_BASE(Itf, iid, BaseItf)         \
    template <>                                           \
    struct InterfaceTraits<Itf> {                         \
        static constexpr const IID& Iid() { return iid; } \
        using Base = BaseItf;                             \
    }
#define COM_INTERFACE_IID(Itf, iid) COM_INTERFACE_IID_BASE(Itf, iid, IUnknown)

template <class Itf>
constexpr const IID& IidOf() {
    return InterfaceTraits<Itf>::Iid();
}

// Owns one reference to an interface. Copies AddRef, destruction Releases.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference of its own (AddRef); use attach() to adopt one.
    ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    ComPtr(const ComPtr<U>& other) : ComPtr(static_cast<T*>(other.get())) {}
    ~ComPtr() { reset(); }

    ComPtr& operator=(const ComPtr& other) {
        if (this != &other) ComPtr(other).swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        ComPtr(std::move(other)).swap(*this);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) {
        reset();
        return *this;
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // Releases the current pointer and hands out the slot for an out parameter.
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    // Adopts a reference that the caller already owns.
    void attach(T* p) {
        reset();
        p_ = p;
    }
    // Gives up ownership without Release.
    [[nodiscard]] T* detach() { return std::exchange(p_, nullptr); }
    // A new reference for an out parameter.
    [[nodiscard]] T* copy() const {
        if (p_) p_->AddRef();
        return p_;
    }
    void reset(T* p = nullptr) {
        if (p) p->AddRef();
        T* old = std::exchange(p_, p);
        if (old) old->Release();
    }
    void swap(ComPtr& other) noexcept { std::swap(p_, other.p_); }

    // QueryInterface; empty when the object lacks the interface.
    template <class U>
    ComPtr<U> As(REFIID iid) const {
        ComPtr<U> out;
        if (p_) p_->QueryInterface(iid, out.putVoid());
        return out;
    }
    template <class U>
    ComPtr<U> As() const {
        return As<U>(IidOf<U>());
    }
    template <class U>
    HRESULT As(REFIID iid, ComPtr<U>* out) const {
        if (!out) return E_POINTER;
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, out->putVoid());
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

private:
    T* p_ = nullptr;
};

// Adopts the reference of a freshly made object: MakeComObject<T>(args...) has count 1.
template <class T, class... Args>
ComPtr<T> MakeComObject(Args&&... args) {
    return ComPtr<T>(new T(std::forward<Args>(args)...));
}

namespace com_detail {
// The interface pointer of `self` for `iid` if Itf or one of its bases has that IID.
template <class Itf, class Self>
void* MatchInterface(Self* self, REFIID iid) {
    Itf* itf = static_cast<Itf*>(self);
    if (iid == InterfaceTraits<Itf>::Iid()) return itf;
    using Base = typename InterfaceTraits<Itf>::Base;
    if constexpr (!std::is_same_v<Base, IUnknown>) return MatchInterface<Base>(itf, iid);
    return nullptr;
}

template <class First, class...>
struct FirstOf {
    using type = First;
};
}  // namespace com_detail

// Base for a class implementing Itfs...: atomic reference count starting at 0, deleted at 0,
// QueryInterface answering IUnknown and every IID of Itfs and their bases. Override
// FindInterface to answer more (or fewer) interfaces.
template <class... Itfs>
class ComObject : public Itfs... {
public:
    ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;
    virtual ~ComObject() = default;

    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = FindInterface(iid);
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

    // The IUnknown of this object (the first interface's), without AddRef.
    IUnknown* Identity() {
        using First = typename com_detail::FirstOf<Itfs...>::type;
        return static_cast<First*>(this);
    }

protected:
    // The interface pointer for iid, or nullptr. No AddRef.
    virtual void* FindInterface(REFIID iid) {
        if (iid == IID_IUnknown) return Identity();
        void* found = nullptr;
        ((found = found ? found : com_detail::MatchInterface<Itfs>(this, iid)), ...);
        return found;
    }

private:
    std::atomic<ULONG> refs_{0};
};
