// VariantChangeType: the value conversions described in variant.h.
#include "platform/com/variant.h"

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"
#include "platform/com/safearray.h"
#include "platform/com/variant_text.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

using variant_text::Int128;

// A scalar source value in the form the conversions work on.
struct Value {
    enum class Kind { Empty, Integer, Real, Currency, Bool, Text } kind = Kind::Empty;
    Int128 integer = 0;
    double real = 0;
    int realDigits = 15;  // significant digits of its text form (7 for VT_R4)
    bool isDate = false;
    LONGLONG currency = 0;  // value * 10000
    bool boolean = false;
    std::u16string_view text;
};
using Kind = Value::Kind;


Value ReadScalar(const VARIANT& v) {
    Value out;
    auto integer = [&out](Int128 i) {
        out.kind = Kind::Integer;
        out.integer = i;
    };
    switch (v.vt) {
    case VT_I1: integer(static_cast<std::int8_t>(v.cVal)); break;
    case VT_UI1: integer(v.bVal); break;
    case VT_I2: integer(v.iVal); break;
    case VT_UI2: integer(v.uiVal); break;
    case VT_I4:
    case VT_INT:
    case VT_ERROR: integer(v.lVal); break;
    case VT_UI4:
    case VT_UINT: integer(v.ulVal); break;
    case VT_I8: integer(v.llVal); break;
    case VT_UI8: integer(v.ullVal); break;
    case VT_R4:
        out.kind = Kind::Real;
        out.real = v.fltVal;
        out.realDigits = 7;
        break;
    case VT_R8:
    case VT_DATE:
        out.kind = Kind::Real;
        out.real = v.vt == VT_R8 ? v.dblVal : v.date;
        out.isDate = v.vt == VT_DATE;
        break;
    case VT_CY:
        out.kind = Kind::Currency;
        out.currency = v.cyVal.int64;
        break;
    case VT_BOOL:
        out.kind = Kind::Bool;
        out.boolean = v.boolVal != 0;
        break;
    case VT_BSTR:
        out.kind = Kind::Text;
        if (v.bstrVal) out.text = std::u16string_view(v.bstrVal, SysStringLen(v.bstrVal));
        break;
    default: break;  // VT_EMPTY
    }
    return out;
}

// Text parsed as a number; DISP_E_TYPEMISMATCH when it is not one.
HRESULT NumberFromText(const Value& v, Value& out) {
    const auto parsed = variant_text::ParseNumber(v.text);
    if (!parsed) return DISP_E_TYPEMISMATCH;
    out = Value();
    if (parsed->isInteger) {
        out.kind = Kind::Integer;
        out.integer = parsed->integer;
    } else {
        out.kind = Kind::Real;
        out.real = parsed->real;
    }
    return S_OK;
}

Int128 RoundHalfEven(double x) {
    double r = std::floor(x);
    const double diff = x - r;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0)) r += 1;
    return static_cast<Int128>(r);
}

// Currency / 10000, rounded half to even.
Int128 CurrencyToInteger(LONGLONG scaled) {
    Int128 quotient = scaled / 10000;
    const LONGLONG remainder = scaled % 10000;
    const LONGLONG magnitude = remainder < 0 ? -remainder : remainder;
    if (magnitude > 5000 || (magnitude == 5000 && quotient % 2 != 0)) quotient += remainder < 0 ? -1 : 1;
    return quotient;
}

// Beyond every integer target; keeps the conversion to Int128 defined.
bool RealFitsIntegers(double x) { return std::isfinite(x) && std::fabs(x) < 1e30; }

HRESULT ToInteger(const Value& v, Int128 min, Int128 max, Int128& out) {
    switch (v.kind) {
    case Kind::Empty: out = 0; break;
    case Kind::Integer: out = v.integer; break;
    case Kind::Real:
        if (!RealFitsIntegers(v.real)) return DISP_E_OVERFLOW;
        out = RoundHalfEven(v.real);
        break;
    case Kind::Currency: out = CurrencyToInteger(v.currency); break;
    case Kind::Bool: out = !v.boolean ? 0 : min < 0 ? -1 : max; break;  // unsigned: all bits set
    case Kind::Text: {
        Value number;
        const HRESULT hr = NumberFromText(v, number);
        if (FAILED(hr)) return hr;
        return ToInteger(number, min, max, out);
    }
    }
    return out < min || out > max ? DISP_E_OVERFLOW : S_OK;
}

HRESULT ToReal(const Value& v, double& out) {
    switch (v.kind) {
    case Kind::Empty: out = 0; return S_OK;
    case Kind::Integer: out = static_cast<double>(v.integer); return S_OK;
    case Kind::Real: out = v.real; return S_OK;
    case Kind::Currency: out = static_cast<double>(v.currency) / 10000.0; return S_OK;
    case Kind::Bool: out = v.boolean ? -1.0 : 0.0; return S_OK;
    case Kind::Text: {
        Value number;
        const HRESULT hr = NumberFromText(v, number);
        if (FAILED(hr)) return hr;
        ToReal(number, out);
        return std::isfinite(out) ? S_OK : DISP_E_OVERFLOW;
    }
    }
    return DISP_E_TYPEMISMATCH;
}

HRESULT ToCurrency(const Value& v, LONGLONG& out) {
    const Int128 min = std::numeric_limits<LONGLONG>::min();
    const Int128 max = std::numeric_limits<LONGLONG>::max();
    Int128 scaled = 0;
    switch (v.kind) {
    case Kind::Empty: break;
    case Kind::Integer: scaled = v.integer * 10000; break;
    case Kind::Currency: scaled = v.currency; break;
    case Kind::Bool: scaled = v.boolean ? -10000 : 0; break;
    case Kind::Real:
        if (!RealFitsIntegers(v.real * 10000.0)) return DISP_E_OVERFLOW;
        scaled = RoundHalfEven(v.real * 10000.0);
        break;
    case Kind::Text: {
        Value number;
        const HRESULT hr = NumberFromText(v, number);
        if (FAILED(hr)) return hr;
        return ToCurrency(number, out);
    }
    }
    if (scaled < min || scaled > max) return DISP_E_OVERFLOW;
    out = static_cast<LONGLONG>(scaled);
    return S_OK;
}

HRESULT ToBool(const Value& v, bool& out) {
    switch (v.kind) {
    case Kind::Empty: out = false; return S_OK;
    case Kind::Integer: out = v.integer != 0; return S_OK;
    case Kind::Real: out = v.real != 0; return S_OK;
    case Kind::Currency: out = v.currency != 0; return S_OK;
    case Kind::Bool: out = v.boolean; return S_OK;
    case Kind::Text: {
        if (const auto word = variant_text::ParseBoolWord(v.text)) {
            out = *word;
            return S_OK;
        }
        Value number;
        const HRESULT hr = NumberFromText(v, number);
        if (FAILED(hr)) return hr;
        return ToBool(number, out);
    }
    }
    return DISP_E_TYPEMISMATCH;
}

HRESULT ToDate(const Value& v, DATE& out) {
    if (v.kind == Kind::Text) {
        if (const auto date = variant_text::ParseDate(v.text)) {
            out = *date;
            return S_OK;
        }
    }
    double value = 0;
    const HRESULT hr = ToReal(v, value);
    if (FAILED(hr)) return hr;
    if (!(value >= variant_text::kMinDate && value < variant_text::kMaxDateExclusive)) return DISP_E_OVERFLOW;
    out = value;
    return S_OK;
}

std::string IntegerText(Int128 value) {
    const bool negative = value < 0;
    std::string digits;
    do {
        const int digit = static_cast<int>(value % 10);
        digits.insert(digits.begin(), static_cast<char>('0' + (digit < 0 ? -digit : digit)));
        value /= 10;
    } while (value != 0);
    return negative ? "-" + digits : digits;
}

HRESULT ToText(const Value& v, USHORT flags, BSTR& out) {
    std::string text;
    switch (v.kind) {
    case Kind::Empty: break;
    case Kind::Integer: text = IntegerText(v.integer); break;
    case Kind::Real:
        if (v.isDate) {
            text = variant_text::FormatDate(v.real);
            if (text.empty()) return DISP_E_OVERFLOW;
        } else {
            text = variant_text::FormatReal(v.real, v.realDigits);
        }
        break;
    case Kind::Currency: text = variant_text::FormatCurrency(v.currency); break;
    case Kind::Bool:
        if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
            text = v.boolean ? "True" : "False";
        else
            text = v.boolean ? "-1" : "0";
        break;
    case Kind::Text: out = BstrFromWide(v.text); return out ? S_OK : E_OUTOFMEMORY;
    }
    out = BstrFromUtf8(text);
    return out ? S_OK : E_OUTOFMEMORY;
}

struct IntegerTarget {
    VARTYPE vt;
    Int128 min;
    Int128 max;
};

constexpr IntegerTarget kIntegerTargets[] = {
    {VT_I1, INT8_MIN, INT8_MAX},      {VT_UI1, 0, UINT8_MAX},        {VT_I2, INT16_MIN, INT16_MAX},
    {VT_UI2, 0, UINT16_MAX},          {VT_I4, INT32_MIN, INT32_MAX}, {VT_INT, INT32_MIN, INT32_MAX},
    {VT_ERROR, INT32_MIN, INT32_MAX}, {VT_UI4, 0, UINT32_MAX},       {VT_UINT, 0, UINT32_MAX},
    {VT_I8, INT64_MIN, INT64_MAX},    {VT_UI8, 0, UINT64_MAX},
};

void StoreInteger(VARIANT& out, VARTYPE vt, Int128 value) {
    switch (vt) {
    case VT_I1: out.cVal = static_cast<CHAR>(static_cast<std::int8_t>(value)); break;
    case VT_UI1: out.bVal = static_cast<BYTE>(value); break;
    case VT_I2: out.iVal = static_cast<SHORT>(value); break;
    case VT_UI2: out.uiVal = static_cast<USHORT>(value); break;
    case VT_I4:
    case VT_INT:
    case VT_ERROR: out.lVal = static_cast<LONG>(value); break;
    case VT_UI4:
    case VT_UINT: out.ulVal = static_cast<ULONG>(value); break;
    case VT_I8: out.llVal = static_cast<LONGLONG>(value); break;
    default: out.ullVal = static_cast<ULONGLONG>(value); break;
    }
}

// Writes `v` converted to the scalar type vt into `out` (which owns nothing yet).
HRESULT WriteScalar(const Value& v, VARTYPE vt, USHORT flags, VARIANT& out) {
    HRESULT hr = DISP_E_TYPEMISMATCH;
    for (const IntegerTarget& target : kIntegerTargets) {
        if (target.vt != vt) continue;
        Int128 value = 0;
        hr = ToInteger(v, target.min, target.max, value);
        if (SUCCEEDED(hr)) StoreInteger(out, vt, value);
        break;
    }
    switch (vt) {
    case VT_R4: {
        double value = 0;
        hr = ToReal(v, value);
        if (SUCCEEDED(hr) && std::isfinite(value) && std::fabs(value) > FLT_MAX) hr = DISP_E_OVERFLOW;
        if (SUCCEEDED(hr)) out.fltVal = static_cast<float>(value);
        break;
    }
    case VT_R8: hr = ToReal(v, out.dblVal); break;
    case VT_DATE: hr = ToDate(v, out.date); break;
    case VT_CY: hr = ToCurrency(v, out.cyVal.int64); break;
    case VT_BOOL: {
        bool value = false;
        hr = ToBool(v, value);
        if (SUCCEEDED(hr)) out.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    }
    case VT_BSTR: hr = ToText(v, flags, out.bstrVal); break;
    default: break;
    }
    if (SUCCEEDED(hr)) out.vt = vt;
    return hr;
}

HRESULT ChangeTypeInto(VARIANT& out, const VARIANT& src, USHORT flags, VARTYPE vt);

// Element by element into a new array of the same bounds.
HRESULT ConvertArray(VARIANT& out, SAFEARRAY* source, VARTYPE from, VARTYPE to, USHORT flags) {
    const bool convertible = (IsConvertibleType(from) || from == VT_VARIANT) && (IsConvertibleType(to) || to == VT_VARIANT) &&
                             to != VT_EMPTY && from != VT_EMPTY;
    if (!convertible) return DISP_E_TYPEMISMATCH;
    if (!source) {
        out.vt = VT_ARRAY | to;
        out.parray = nullptr;
        return S_OK;
    }
    SAFEARRAYBOUND bounds[kSafeArrayMaxDims];
    for (UINT d = 0; d < source->cDims; ++d) bounds[d] = source->rgsabound[source->cDims - 1 - d];
    SafeArrayPtr result(SafeArrayCreate(to, source->cDims, bounds));
    if (!result) return E_OUTOFMEMORY;

    const ULONG count = SafeArrayElementCount(source);
    const ULONG toSize = result.get()->cbElements;
    for (ULONG i = 0; i < count; ++i) {
        const char* from_element = static_cast<const char*>(source->pvData) + std::size_t{i} * source->cbElements;
        VARIANT element;  // a view of the source element; never cleared
        if (from == VT_VARIANT) {
            std::memcpy(static_cast<void*>(&element), from_element, sizeof(VARIANT));
        } else {
            element.vt = from;
            std::memcpy(&element.llVal, from_element, source->cbElements);
        }
        VARIANT converted;
        const HRESULT hr =
            to == VT_VARIANT ? VariantCopy(&converted, &element) : ChangeTypeInto(converted, element, flags, to);
        if (FAILED(hr)) return hr;
        char* to_element = static_cast<char*>(result.get()->pvData) + std::size_t{i} * toSize;
        if (to == VT_VARIANT)
            std::memcpy(static_cast<void*>(to_element), &converted, sizeof(VARIANT));
        else
            std::memcpy(to_element, &converted.llVal, toSize);
    }
    out.vt = VT_ARRAY | to;
    out.parray = result.release();
    return S_OK;
}

HRESULT ChangeTypeInto(VARIANT& out, const VARIANT& src, USHORT flags, VARTYPE vt) {
    out = VARIANT();
    if (src.vt & VT_BYREF) {
        Variant value;
        HRESULT hr = VariantCopyInd(value.get(), &src);
        if (FAILED(hr)) return hr;
        return ChangeTypeInto(out, *value.get(), flags, vt);
    }
    if (!IsValidVariantType(src.vt) || !IsValidVariantType(vt) || (vt & VT_BYREF)) return DISP_E_BADVARTYPE;
    if (vt == VT_EMPTY) return S_OK;
    if (src.vt == vt) return VariantCopy(&out, &src);
    if ((src.vt & VT_ARRAY) || (vt & VT_ARRAY)) {
        if (!(src.vt & VT_ARRAY) || !(vt & VT_ARRAY)) return DISP_E_TYPEMISMATCH;
        return ConvertArray(out, src.parray, src.vt & VT_TYPEMASK, vt & VT_TYPEMASK, flags);
    }
    if (vt == VT_NULL) {
        if (src.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
        out.vt = VT_NULL;
        return S_OK;
    }
    if (!IsConvertibleType(src.vt) || !IsConvertibleType(vt)) return DISP_E_TYPEMISMATCH;
    return WriteScalar(ReadScalar(src), vt, flags, out);
}

}  // namespace

bool IsConvertibleType(VARTYPE vt) {
    switch (vt) {
    case VT_EMPTY:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BOOL:
    case VT_BSTR:
    case VT_ERROR: return true;
    default: return false;
    }
}

HRESULT VariantChangeType(VARIANT* pvargDest, const VARIANT* pvargSrc, USHORT wFlags, VARTYPE vt) {
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    VARIANT result;
    HRESULT hr = ChangeTypeInto(result, *pvargSrc, wFlags, vt);
    if (FAILED(hr)) return hr;
    hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *pvargDest = result;
    return S_OK;
}
