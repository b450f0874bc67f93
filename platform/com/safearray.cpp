#include "platform/com/safearray.h"

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"
#include "platform/com/variant.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// The element type is kept in a header just before the SAFEARRAY, as OLE Automation does.
constexpr std::size_t kHeader = 16;

struct Header {
    VARTYPE vt;
};

Header* HeaderOf(SAFEARRAY* psa) { return reinterpret_cast<Header*>(reinterpret_cast<char*>(psa) - kHeader); }

// Bound of dimension `dim` counted from the first (0-based); rgsabound is stored reversed.
SAFEARRAYBOUND& BoundOf(SAFEARRAY* psa, UINT dim) { return psa->rgsabound[psa->cDims - 1 - dim]; }

USHORT FeaturesFor(VARTYPE vt) {
    switch (vt) {
    case VT_BSTR: return FADF_HAVEVARTYPE | FADF_BSTR;
    case VT_VARIANT: return FADF_HAVEVARTYPE | FADF_VARIANT;
    case VT_UNKNOWN: return FADF_HAVEVARTYPE | FADF_UNKNOWN;
    case VT_DISPATCH: return FADF_HAVEVARTYPE | FADF_DISPATCH;
    default: return FADF_HAVEVARTYPE;
    }
}

// Frees what elements [0, count) own and zeroes them.
void ClearElements(VARTYPE vt, void* data, ULONG count) {
    if (vt == VT_BSTR) {
        auto* items = static_cast<BSTR*>(data);
        for (ULONG i = 0; i < count; ++i) SysFreeString(std::exchange(items[i], nullptr));
    } else if (vt == VT_VARIANT) {
        auto* items = static_cast<VARIANT*>(data);
        for (ULONG i = 0; i < count; ++i) VariantClear(&items[i]);
    } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        auto* items = static_cast<IUnknown**>(data);
        for (ULONG i = 0; i < count; ++i)
            if (IUnknown* item = std::exchange(items[i], nullptr)) item->Release();
    }
}

HRESULT CopyElement(VARTYPE vt, void* to, const void* from, ULONG size) {
    if (vt == VT_BSTR) {
        const BSTR text = *static_cast<const BSTR*>(from);
        BSTR copy = nullptr;
        if (text) {
            copy = SysAllocStringByteLen(reinterpret_cast<const char*>(text), SysStringByteLen(text));
            if (!copy) return E_OUTOFMEMORY;
        }
        *static_cast<BSTR*>(to) = copy;
        return S_OK;
    }
    if (vt == VT_VARIANT) {
        auto* target = static_cast<VARIANT*>(to);
        VariantInit(target);
        return VariantCopy(target, static_cast<const VARIANT*>(from));
    }
    if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        IUnknown* item = *static_cast<IUnknown* const*>(from);
        if (item) item->AddRef();
        *static_cast<IUnknown**>(to) = item;
        return S_OK;
    }
    std::memcpy(to, from, size);
    return S_OK;
}

std::atomic_ref<ULONG> LockCount(SAFEARRAY* psa) { return std::atomic_ref<ULONG>(psa->cLocks); }

}  // namespace

ULONG SafeArrayElementSize(VARTYPE vt) {
    if (const std::size_t plain = PlainValueSize(vt)) return static_cast<ULONG>(plain);
    switch (vt) {
    case VT_BSTR: return sizeof(BSTR);
    case VT_UNKNOWN:
    case VT_DISPATCH: return sizeof(void*);  // an interface pointer
    case VT_VARIANT: return sizeof(VARIANT);
    default: return 0;
    }
}

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    const ULONG elementSize = SafeArrayElementSize(vt);
    if (elementSize == 0 || cDims == 0 || cDims > kSafeArrayMaxDims || !rgsabound) return nullptr;

    std::size_t count = 1;
    for (UINT d = 0; d < cDims; ++d) {
        const SAFEARRAYBOUND& b = rgsabound[d];
        // The upper bound must be a LONG too.
        if (b.cElements > 0 && std::int64_t{b.lLbound} + b.cElements - 1 > std::numeric_limits<LONG>::max())
            return nullptr;
        if (b.cElements != 0 && count > std::numeric_limits<std::size_t>::max() / b.cElements) return nullptr;
        count *= b.cElements;
    }
    if (count > std::numeric_limits<std::size_t>::max() / elementSize || count > std::numeric_limits<ULONG>::max())
        return nullptr;

    const std::size_t descriptor = sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
    char* block = static_cast<char*>(std::calloc(1, kHeader + descriptor));
    if (!block) return nullptr;
    void* data = std::calloc(count == 0 ? 1 : count, elementSize);
    if (!data) {
        std::free(block);
        return nullptr;
    }
    reinterpret_cast<Header*>(block)->vt = vt;
    auto* psa = reinterpret_cast<SAFEARRAY*>(block + kHeader);
    psa->cDims = static_cast<USHORT>(cDims);
    psa->fFeatures = FeaturesFor(vt);
    psa->cbElements = elementSize;
    psa->pvData = data;
    for (UINT d = 0; d < cDims; ++d) BoundOf(psa, d) = rgsabound[d];
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND bound{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

ULONG SafeArrayElementCount(SAFEARRAY* psa) {
    if (!psa) return 0;
    ULONG count = 1;
    for (UINT d = 0; d < psa->cDims; ++d) count *= psa->rgsabound[d].cElements;
    return count;
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    if (LockCount(psa).load() > 0) return DISP_E_ARRAYISLOCKED;
    ClearElements(HeaderOf(psa)->vt, psa->pvData, SafeArrayElementCount(psa));
    std::free(psa->pvData);
    std::free(HeaderOf(psa));
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut) return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa) return S_OK;
    SAFEARRAYBOUND bounds[kSafeArrayMaxDims];
    for (UINT d = 0; d < psa->cDims; ++d) bounds[d] = BoundOf(psa, d);
    const VARTYPE vt = HeaderOf(psa)->vt;
    SafeArrayPtr copy(SafeArrayCreate(vt, psa->cDims, bounds));
    if (!copy) return E_OUTOFMEMORY;
    const ULONG count = SafeArrayElementCount(psa);
    const ULONG size = psa->cbElements;
    for (ULONG i = 0; i < count; ++i) {
        const HRESULT hr = CopyElement(vt, static_cast<char*>(copy.get()->pvData) + std::size_t{i} * size,
                                       static_cast<const char*>(psa->pvData) + std::size_t{i} * size, size);
        if (FAILED(hr)) return hr;
    }
    *ppsaOut = copy.release();
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound) return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
    *plLbound = BoundOf(psa, nDim - 1).lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound) return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = BoundOf(psa, nDim - 1);
    *plUbound = static_cast<LONG>(std::int64_t{b.lLbound} + b.cElements - 1);
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt) return E_INVALIDARG;
    if (!(psa->fFeatures & FADF_HAVEVARTYPE)) return E_INVALIDARG;
    *pvt = HeaderOf(psa)->vt;
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    LockCount(psa).fetch_add(1);
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    ULONG locks = LockCount(psa).load();
    do {
        if (locks == 0) return E_UNEXPECTED;
    } while (!LockCount(psa).compare_exchange_weak(locks, locks - 1));
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData) return E_INVALIDARG;
    SafeArrayLock(psa);
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData) {
    if (!psa || !rgIndices || !ppvData) return E_INVALIDARG;
    // The first index varies fastest.
    std::size_t offset = 0;
    std::size_t stride = 1;
    for (UINT d = 0; d < psa->cDims; ++d) {
        const SAFEARRAYBOUND& b = BoundOf(psa, d);
        const std::int64_t position = std::int64_t{rgIndices[d]} - b.lLbound;
        if (position < 0 || position >= std::int64_t{b.cElements}) return DISP_E_BADINDEX;
        offset += static_cast<std::size_t>(position) * stride;
        stride *= b.cElements;
    }
    *ppvData = static_cast<char*>(psa->pvData) + offset * psa->cbElements;
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!pv) return E_INVALIDARG;
    void* element = nullptr;
    const HRESULT hr = SafeArrayPtrOfIndex(psa, rgIndices, &element);
    if (FAILED(hr)) return hr;
    return CopyElement(HeaderOf(psa)->vt, pv, element, psa->cbElements);
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    void* element = nullptr;
    const HRESULT hr = SafeArrayPtrOfIndex(psa, rgIndices, &element);
    if (FAILED(hr)) return hr;
    const VARTYPE vt = HeaderOf(psa)->vt;
    // Strings and interfaces are passed by value, everything else by address.
    const bool byValue = vt == VT_BSTR || vt == VT_UNKNOWN || vt == VT_DISPATCH;
    if (!byValue && !pv) return E_INVALIDARG;
    const void* from = byValue ? static_cast<const void*>(&pv) : pv;

    VARIANT fresh;  // large enough for any element
    const HRESULT copied = CopyElement(vt, &fresh, from, psa->cbElements);
    if (FAILED(copied)) return copied;
    ClearElements(vt, element, 1);
    std::memcpy(element, &fresh, psa->cbElements);
    return S_OK;
}
