// Enumerator interfaces (IEnumString, IEnumUnknown, IEnumGUID) and VectorEnum, a thread-safe
// enumerator over a snapshot vector that any IEnumXxx of the same shape can reuse.
#pragma once

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"
#include "platform/com/unknown.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The shape shared by the standard enumerators.
template <class Elem, class Self>
struct IEnumOf : IUnknown {
    // Fills up to celt elements (owned by the caller); S_FALSE when fewer were left.
    // pceltFetched may be null only when celt is 1.
    virtual HRESULT Next(ULONG celt, Elem* rgelt, ULONG* pceltFetched) = 0;
    // S_FALSE when fewer than celt were left.
    virtual HRESULT Skip(ULONG celt) = 0;
    virtual HRESULT Reset() = 0;
    // A new enumerator at the same position.
    virtual HRESULT Clone(Self** ppenum) = 0;

protected:
    ~IEnumOf() = default;
};

// Strings are CoTaskMemAlloc'ed; the caller frees each with CoTaskMemFree.
struct IEnumString : IEnumOf<LPOLESTR, IEnumString> {
protected:
    ~IEnumString() = default;
};
// Each returned pointer carries a reference for the caller.
struct IEnumUnknown : IEnumOf<IUnknown*, IEnumUnknown> {
protected:
    ~IEnumUnknown() = default;
};
struct IEnumGUID : IEnumOf<GUID, IEnumGUID> {
protected:
    ~IEnumGUID() = default;
};
using IEnumCLSID = IEnumGUID;
using IEnumCATID = IEnumGUID;
using LPENUMSTRING = IEnumString*;
using LPENUMUNKNOWN = IEnumUnknown*;

// {00000101-0000-0000-C000-000000000046}
inline constexpr IID IID_IEnumString{0x00000101, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00000100-0000-0000-C000-000000000046}
inline constexpr IID IID_IEnumUnknown{0x00000100, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {0002E000-0000-0000-C000-000000000046}
inline constexpr IID IID_IEnumGUID{0x0002E000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IEnumCLSID = IID_IEnumGUID;
inline constexpr IID IID_IEnumCATID = IID_IEnumGUID;

COM_INTERFACE_IID(IEnumString, IID_IEnumString);
COM_INTERFACE_IID(IEnumUnknown, IID_IEnumUnknown);
COM_INTERFACE_IID(IEnumGUID, IID_IEnumGUID);

// How a stored item becomes an element handed to the caller, and how a handed-out element is
// taken back when Next fails half-way.
template <class T>
struct PlainEnumPolicy {
    using Stored = T;
    static HRESULT Copy(const T& item, T* out) {
        *out = item;
        return S_OK;
    }
    static void Free(T&) {}
};

struct StringEnumPolicy {
    using Stored = std::u16string;
    static HRESULT Copy(const std::u16string& item, LPOLESTR* out) {
        *out = CoTaskWideFromWide(item);
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    static void Free(LPOLESTR& element);
};

template <class Itf>
struct InterfaceEnumPolicy {
    using Stored = ComPtr<Itf>;
    static HRESULT Copy(const ComPtr<Itf>& item, Itf** out) {
        *out = item.copy();
        return S_OK;
    }
    static void Free(Itf*& element) {
        if (element) element->Release();
        element = nullptr;
    }
};

// IEnum*::Skip over `size` elements from `position`: S_FALSE, at the end, when fewer than
// `celt` were left.
inline HRESULT SkipWithin(std::size_t& position, std::size_t size, ULONG celt) {
    const std::size_t left = size - position;
    if (celt > left) {
        position = size;
        return S_FALSE;
    }
    position += celt;
    return S_OK;
}

// Enumerates a fixed vector. Clones share the vector and start at the clone's position.
template <class Itf, class Elem, class Policy>
class VectorEnum final : public ComObject<Itf> {
public:
    using Stored = typename Policy::Stored;

    explicit VectorEnum(std::vector<Stored> items, std::size_t position = 0)
        : VectorEnum(std::make_shared<const std::vector<Stored>>(std::move(items)), position) {}
    VectorEnum(std::shared_ptr<const std::vector<Stored>> items, std::size_t position)
        : items_(std::move(items)), position_(position) {}

    HRESULT Next(ULONG celt, Elem* rgelt, ULONG* pceltFetched) override {
        if (pceltFetched) *pceltFetched = 0;
        if (!rgelt) return E_POINTER;
        if (celt > 1 && !pceltFetched) return E_INVALIDARG;
        std::lock_guard lock(mutex_);
        ULONG fetched = 0;
        while (fetched < celt && position_ + fetched < items_->size()) {
            const HRESULT hr = Policy::Copy((*items_)[position_ + fetched], &rgelt[fetched]);
            if (FAILED(hr)) {
                for (ULONG i = 0; i < fetched; ++i) Policy::Free(rgelt[i]);
                return hr;
            }
            ++fetched;
        }
        position_ += fetched;
        if (pceltFetched) *pceltFetched = fetched;
        return fetched == celt ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG celt) override {
        std::lock_guard lock(mutex_);
        return SkipWithin(position_, items_->size(), celt);
    }
    HRESULT Reset() override {
        std::lock_guard lock(mutex_);
        position_ = 0;
        return S_OK;
    }
    HRESULT Clone(Itf** ppenum) override {
        if (!ppenum) return E_POINTER;
        std::lock_guard lock(mutex_);
        *ppenum = MakeComObject<VectorEnum>(items_, position_).detach();
        return S_OK;
    }

private:
    std::shared_ptr<const std::vector<Stored>> items_;
    std::mutex mutex_;
    std::size_t position_ = 0;
};

using StringEnum = VectorEnum<IEnumString, LPOLESTR, StringEnumPolicy>;
using UnknownEnum = VectorEnum<IEnumUnknown, IUnknown*, InterfaceEnumPolicy<IUnknown>>;
using GuidEnum = VectorEnum<IEnumGUID, GUID, PlainEnumPolicy<GUID>>;

ComPtr<IEnumString> MakeEnumString(std::vector<std::u16string> items);
ComPtr<IEnumString> MakeEnumStringUtf8(const std::vector<std::string>& items);
ComPtr<IEnumUnknown> MakeEnumUnknown(std::vector<ComPtr<IUnknown>> items);
ComPtr<IEnumGUID> MakeEnumGUID(std::vector<GUID> items);
