// SAFEARRAY: a self-describing array of 1 to 64 dimensions. Bounds are stored in reverse
// order of the dimensions (rgsabound[0] is the last one); the data is laid out with the first
// index varying fastest. Arrays of VT_BSTR, VT_VARIANT and VT_UNKNOWN own their elements.
#pragma once

#include "platform/com/types.h"

#include <utility>

// fFeatures bits.
inline constexpr USHORT FADF_AUTO = 0x0001;
inline constexpr USHORT FADF_STATIC = 0x0002;
inline constexpr USHORT FADF_EMBEDDED = 0x0004;
inline constexpr USHORT FADF_FIXEDSIZE = 0x0010;
inline constexpr USHORT FADF_RECORD = 0x0020;
inline constexpr USHORT FADF_HAVEIID = 0x0040;
inline constexpr USHORT FADF_HAVEVARTYPE = 0x0080;
inline constexpr USHORT FADF_BSTR = 0x0100;
inline constexpr USHORT FADF_UNKNOWN = 0x0200;
inline constexpr USHORT FADF_DISPATCH = 0x0400;
inline constexpr USHORT FADF_VARIANT = 0x0800;

inline constexpr UINT kSafeArrayMaxDims = 64;

// Size of one element of type vt, 0 when vt cannot be an array element.
ULONG SafeArrayElementSize(VARTYPE vt);

// rgsabound lists the dimensions first to last. Null for an unsupported element type, no
// dimensions, or a size that does not fit in memory. The elements are zeroed.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
// Frees the elements it owns, then the array. DISP_E_ARRAYISLOCKED while data is accessed.
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
// Deep copy; *ppsaOut is null for a null psa.
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);
UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
// nDim counts from 1 (the first dimension). DISP_E_BADINDEX when out of range.
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
// rgIndices holds one index per dimension, first dimension first.
HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData);
// Copies out (BSTR and VARIANT elements deeply, interfaces AddRef'ed).
HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
// Copies in, freeing the element's previous contents. For VT_BSTR pv is the BSTR itself, for
// VT_UNKNOWN the interface pointer, otherwise a pointer to the value.
HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
// Total element count; 0 for null.
ULONG SafeArrayElementCount(SAFEARRAY* psa);

// Owner of one SAFEARRAY.
class SafeArrayPtr {
public:
    SafeArrayPtr() = default;
    explicit SafeArrayPtr(SAFEARRAY* psa) : psa_(psa) {}
    SafeArrayPtr(const SafeArrayPtr&) = delete;
    SafeArrayPtr& operator=(const SafeArrayPtr&) = delete;
    SafeArrayPtr(SafeArrayPtr&& other) noexcept : psa_(std::exchange(other.psa_, nullptr)) {}
    SafeArrayPtr& operator=(SafeArrayPtr&& other) noexcept {
        if (this != &other) reset(std::exchange(other.psa_, nullptr));
        return *this;
    }
    ~SafeArrayPtr() { reset(); }

    SAFEARRAY* get() const { return psa_; }
    SAFEARRAY** put() {
        reset();
        return &psa_;
    }
    explicit operator bool() const { return psa_ != nullptr; }
    [[nodiscard]] SAFEARRAY* release() { return std::exchange(psa_, nullptr); }
    void reset(SAFEARRAY* psa = nullptr) {
        if (psa_) SafeArrayDestroy(psa_);
        psa_ = psa;
    }

private:
    SAFEARRAY* psa_ = nullptr;
};
