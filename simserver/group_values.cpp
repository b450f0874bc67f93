#include "simserver/group_values.h"

#include <cmath>
#include <cstring>

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"
#include "platform/com/safearray.h"
#include "platform/com/variant.h"

namespace simserver {

namespace {

bool BstrsEqual(BSTR a, BSTR b) {
    const UINT n = SysStringLen(a);
    if (n != SysStringLen(b)) return false;
    return n == 0 || std::memcmp(a, b, n * sizeof(OLECHAR)) == 0;
}

bool SameShape(const SAFEARRAY* a, const SAFEARRAY* b) {
    if (a->cDims != b->cDims || a->cbElements != b->cbElements) return false;
    for (USHORT d = 0; d < a->cDims; ++d)
        if (a->rgsabound[d].cElements != b->rgsabound[d].cElements ||
            a->rgsabound[d].lLbound != b->rgsabound[d].lLbound)
            return false;
    return true;
}

std::size_t ElementCount(const SAFEARRAY* sa) { return SafeArrayElementCount(const_cast<SAFEARRAY*>(sa)); }

bool ArraysEqual(const SAFEARRAY* a, const SAFEARRAY* b, VARTYPE elementType) {
    if (!a || !b) return a == b;
    if (!SameShape(a, b)) return false;
    const std::size_t count = ElementCount(a);
    if (count == 0) return true;
    if (!a->pvData || !b->pvData) return a->pvData == b->pvData;
    if (PlainValueSize(elementType) != 0) return std::memcmp(a->pvData, b->pvData, count * a->cbElements) == 0;
    if (elementType == VT_BSTR) {
        auto* x = static_cast<const BSTR*>(a->pvData);
        auto* y = static_cast<const BSTR*>(b->pvData);
        for (std::size_t i = 0; i < count; ++i)
            if (!BstrsEqual(x[i], y[i])) return false;
        return true;
    }
    if (elementType == VT_VARIANT) {
        auto* x = static_cast<const VARIANT*>(a->pvData);
        auto* y = static_cast<const VARIANT*>(b->pvData);
        for (std::size_t i = 0; i < count; ++i)
            if (!VariantsEqual(x[i], y[i])) return false;
        return true;
    }
    return false;
}

// The number stored at `p` as an element of type vt; false for non-numeric types.
bool NumberAt(const void* p, VARTYPE vt, double* out) {
    switch (vt) {
    case VT_I1: {
        std::int8_t v;
        std::memcpy(&v, p, 1);
        *out = v;
        return true;
    }
    case VT_UI1: {
        std::uint8_t v;
        std::memcpy(&v, p, 1);
        *out = v;
        return true;
    }
    case VT_I2: {
        std::int16_t v;
        std::memcpy(&v, p, 2);
        *out = v;
        return true;
    }
    case VT_UI2: {
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        *out = v;
        return true;
    }
    case VT_I4:
    case VT_INT: {
        std::int32_t v;
        std::memcpy(&v, p, 4);
        *out = v;
        return true;
    }
    case VT_UI4:
    case VT_UINT: {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        *out = v;
        return true;
    }
    case VT_I8: {
        std::int64_t v;
        std::memcpy(&v, p, 8);
        *out = static_cast<double>(v);
        return true;
    }
    case VT_UI8: {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        *out = static_cast<double>(v);
        return true;
    }
    case VT_R4: {
        float v;
        std::memcpy(&v, p, 4);
        *out = v;
        return true;
    }
    case VT_R8: {
        double v;
        std::memcpy(&v, p, 8);
        *out = v;
        return true;
    }
    case VT_CY: {
        std::int64_t v;
        std::memcpy(&v, p, 8);
        *out = static_cast<double>(v) / 10000.0;
        return true;
    }
    default: return false;
    }
}

bool Exceeds(double previous, double current, double band) {
    if (std::isnan(previous) || std::isnan(current)) return std::isnan(previous) != std::isnan(current);
    return std::fabs(current - previous) > band;
}

}  // namespace

bool VariantsEqual(const VARIANT& a, const VARIANT& b) {
    if (a.vt != b.vt) return false;
    if (a.vt & VT_ARRAY) return ArraysEqual(a.parray, b.parray, static_cast<VARTYPE>(a.vt & VT_TYPEMASK));
    if (a.vt == VT_BSTR) return BstrsEqual(a.bstrVal, b.bstrVal);
    const std::size_t size = PlainValueSize(a.vt);
    if (size == 0) return a.vt == VT_EMPTY || a.vt == VT_NULL;
    return std::memcmp(&a.llVal, &b.llVal, size) == 0;
}

bool ExceedsDeadband(const VARIANT& previous, const VARIANT& current, double band) {
    if (previous.vt != current.vt) return true;
    const VARTYPE vt = static_cast<VARTYPE>(current.vt & VT_TYPEMASK);
    if (!(current.vt & VT_ARRAY)) {
        double x = 0, y = 0;
        if (!NumberAt(&previous.llVal, vt, &x) || !NumberAt(&current.llVal, vt, &y))
            return !VariantsEqual(previous, current);
        return Exceeds(x, y, band);
    }
    const SAFEARRAY* a = previous.parray;
    const SAFEARRAY* b = current.parray;
    if (!a || !b || !SameShape(a, b) || !a->pvData || !b->pvData) return !VariantsEqual(previous, current);
    const std::size_t count = ElementCount(a);
    for (std::size_t i = 0; i < count; ++i) {
        double x = 0, y = 0;
        const auto* pa = static_cast<const std::uint8_t*>(a->pvData) + i * a->cbElements;
        const auto* pb = static_cast<const std::uint8_t*>(b->pvData) + i * b->cbElements;
        if (!NumberAt(pa, vt, &x) || !NumberAt(pb, vt, &y)) return !VariantsEqual(previous, current);
        if (Exceeds(x, y, band)) return true;
    }
    return false;
}

bool IsRequestableType(VARTYPE vt) {
    if (vt == VT_EMPTY) return true;  // the canonical type
    const VARTYPE base = static_cast<VARTYPE>(vt & ~VT_ARRAY);
    if (base == VT_VARIANT) return (vt & VT_ARRAY) != 0;
    return base != VT_EMPTY && IsConvertibleType(base);
}

HRESULT ConvertToRequested(VARIANT* value, VARTYPE requested) {
    if (requested == VT_EMPTY || value->vt == requested) return S_OK;
    const HRESULT hr = IsRequestableType(requested) ? VariantChangeType(value, value, 0, requested) : DISP_E_BADVARTYPE;
    if (SUCCEEDED(hr)) return S_OK;
    VariantClear(value);
    return hr == DISP_E_OVERFLOW ? OPC_E_RANGE : OPC_E_BADTYPE;
}

}  // namespace simserver
