#include "platform/com/variant.h"

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"
#include "platform/com/safearray.h"

#include <cstring>

namespace {

// Types a VARIANT can hold by value here (VT_DECIMAL and VT_RECORD are not modelled): those
// conversions know, no value, and interfaces.
bool IsScalarType(VARTYPE vt) {
    return IsConvertibleType(vt) || vt == VT_NULL || vt == VT_UNKNOWN || vt == VT_DISPATCH;
}

}  // namespace

bool IsValidVariantType(VARTYPE vt) {
    if (vt & VT_ARRAY) {
        const VARTYPE element = vt & ~(VT_ARRAY | VT_BYREF);
        return SafeArrayElementSize(element) != 0;
    }
    if (vt & VT_BYREF) {
        const VARTYPE base = vt & ~VT_BYREF;
        return base == VT_VARIANT || (IsScalarType(base) && base != VT_EMPTY && base != VT_NULL);
    }
    return IsScalarType(vt);
}

namespace {

// Copies src into a fresh VARIANT; `out` must not own anything.
HRESULT CopyInto(VARIANT& out, const VARIANT& src) {
    out = VARIANT();
    const VARTYPE vt = src.vt;
    if (vt & VT_BYREF) {
        out = src;  // references are copied as references
        return S_OK;
    }
    if (vt & VT_ARRAY) {
        SAFEARRAY* copy = nullptr;
        const HRESULT hr = SafeArrayCopy(src.parray, &copy);
        if (FAILED(hr)) return hr;
        out.vt = vt;
        out.parray = copy;
        return S_OK;
    }
    if (vt == VT_BSTR) {
        BSTR copy = nullptr;
        if (src.bstrVal) {
            copy = SysAllocStringByteLen(reinterpret_cast<const char*>(src.bstrVal), SysStringByteLen(src.bstrVal));
            if (!copy) return E_OUTOFMEMORY;
        }
        out.vt = VT_BSTR;
        out.bstrVal = copy;
        return S_OK;
    }
    out = src;
    if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && out.punkVal) out.punkVal->AddRef();
    return S_OK;
}

// Copies the value a VT_BYREF variant refers to.
HRESULT CopyReferenced(VARIANT& out, const VARIANT& src) {
    const VARTYPE base = src.vt & ~VT_BYREF;
    if (!src.byref) return E_INVALIDARG;
    if (base == VT_VARIANT) {
        const auto* inner = static_cast<const VARIANT*>(src.byref);
        if (inner->vt & VT_BYREF) return E_INVALIDARG;
        return CopyInto(out, *inner);
    }
    VARIANT value;
    value.vt = base;
    if (base & VT_ARRAY)
        value.parray = *static_cast<SAFEARRAY* const*>(src.byref);
    else
        std::memcpy(&value.llVal, src.byref, SafeArrayElementSize(base));
    return CopyInto(out, value);  // deep copy of the referenced string/array/interface
}

// Clears `dest` and gives it what `copy` owns; when `dest` cannot be cleared, the copy is
// freed and `dest` is left as it was.
HRESULT ReplaceWith(VARIANT* dest, VARIANT& copy) {
    const HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *dest = copy;
    return S_OK;
}

}  // namespace

void VariantInit(VARIANT* pvarg) {
    if (pvarg) *pvarg = VARIANT();
}

HRESULT VariantClear(VARIANT* pvarg) {
    if (!pvarg) return E_INVALIDARG;
    const VARTYPE vt = pvarg->vt;
    if (!IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            const HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr)) return hr;
        } else if (vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && pvarg->punkVal) {
            pvarg->punkVal->Release();
        }
    }
    *pvarg = VARIANT();
    return S_OK;
}

HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc) {
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    if (pvargDest == pvargSrc) return S_OK;
    if (!IsValidVariantType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    VARIANT copy;
    const HRESULT hr = CopyInto(copy, *pvargSrc);
    return SUCCEEDED(hr) ? ReplaceWith(pvargDest, copy) : hr;
}

HRESULT VariantCopyInd(VARIANT* pvargDest, const VARIANT* pvargSrc) {
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    if (!(pvargSrc->vt & VT_BYREF)) return VariantCopy(pvargDest, pvargSrc);
    if (!IsValidVariantType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    VARIANT copy;
    const HRESULT hr = CopyReferenced(copy, *pvargSrc);
    return SUCCEEDED(hr) ? ReplaceWith(pvargDest, copy) : hr;
}

Variant& Variant::operator=(const Variant& other) {
    // Plain values own nothing, so one over another is a plain assignment.
    if (PlainValueSize(v_.vt) > 0 && PlainValueSize(other.v_.vt) > 0)
        v_ = other.v_;
    else if (this != &other)
        VariantCopy(&v_, &other.v_);
    return *this;
}

Variant& Variant::operator=(Variant&& other) noexcept {
    if (this != &other) {
        if (v_.vt != VT_EMPTY) VariantClear(&v_);
        v_ = other.v_;
        VariantInit(&other.v_);
    }
    return *this;
}

Variant Variant::Adopt(VARIANT& value) {
    Variant out;
    out.v_ = value;
    VariantInit(&value);
    return out;
}

Variant Variant::I4(LONG value) {
    Variant out;
    out.v_.vt = VT_I4;
    out.v_.lVal = value;
    return out;
}

Variant Variant::R8(double value) {
    Variant out;
    out.v_.vt = VT_R8;
    out.v_.dblVal = value;
    return out;
}

Variant Variant::Bool(bool value) {
    Variant out;
    out.v_.vt = VT_BOOL;
    out.v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return out;
}

Variant Variant::Str(std::string_view utf8) {
    Variant out;
    out.v_.vt = VT_BSTR;
    out.v_.bstrVal = BstrFromUtf8(utf8);
    return out;
}

VARIANT Variant::release() {
    VARIANT out = v_;
    VariantInit(&v_);
    return out;
}

VariantArray::~VariantArray() {
    for (VARIANT& value : values_) VariantClear(&value);
}

void VariantArray::Adopt(VARIANT& value) {
    try {
        values_.push_back(value);
    } catch (...) {
        VariantClear(&value);
        throw;
    }
    VariantInit(&value);
}

std::size_t PlainValueSize(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_UI1: return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR: return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE: return 8;
    default: return 0;
    }
}
