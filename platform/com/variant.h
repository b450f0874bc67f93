// VARIANT functions with OLE Automation value semantics, and the Variant owner.
//
// VariantChangeType converts between VT_EMPTY, VT_NULL, VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4,
// VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BOOL, VT_BSTR and
// VT_ERROR, and between arrays of these (and of VT_VARIANT) element by element:
// - fractions are rounded half to even before they become integers; a value outside the
//   target's range is DISP_E_OVERFLOW;
// - VT_BOOL true is -1 (VARIANT_TRUE); as an unsigned integer it is all bits set;
//   anything non-zero becomes true;
// - text is parsed locale-independently: optional blanks, sign, digits, decimal point,
//   exponent, or &H / &O for hexadecimal / octal; "True" and "False" (any case) only become
//   VT_BOOL; anything else is DISP_E_TYPEMISMATCH;
// - to text, VT_BOOL gives "-1" / "0", or "True" / "False" with VARIANT_ALPHABOOL or
//   VARIANT_LOCALBOOL; VT_R4 uses 7 and VT_R8 15 significant digits; VT_DATE gives
//   "YYYY-MM-DD HH:MM:SS" (the date alone at midnight, the time alone on day 0), which is
//   also the form it parses;
// - VT_ERROR behaves as a 32-bit signed integer; VT_EMPTY as 0 or ""; VT_NULL converts only
//   to VT_NULL and VT_EMPTY; a scalar never becomes an array nor the other way round.
// The destination is left untouched on failure; it may be the source itself.
#pragma once

#include "platform/com/types.h"

#include <string_view>
#include <vector>

// VariantChangeType flags.
inline constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
inline constexpr USHORT VARIANT_ALPHABOOL = 0x02;
inline constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x04;
inline constexpr USHORT VARIANT_CALENDAR_HIJRI = 0x08;
inline constexpr USHORT VARIANT_LOCALBOOL = 0x10;

// Whether a VARIANT may carry vt: the scalar types above plus VT_UNKNOWN and VT_DISPATCH,
// arrays of any array element type, and VT_BYREF to any of these or to VT_VARIANT.
bool IsValidVariantType(VARTYPE vt);

void VariantInit(VARIANT* pvarg);
// Frees what the variant owns (BSTR, array, interface reference) and makes it VT_EMPTY.
HRESULT VariantClear(VARIANT* pvarg);
// Deep copy; clears the destination first. DISP_E_BADVARTYPE for a type it cannot copy.
HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc);
// Like VariantCopy, but a VT_BYREF source is copied as the value it refers to.
HRESULT VariantCopyInd(VARIANT* pvargDest, const VARIANT* pvargSrc);
HRESULT VariantChangeType(VARIANT* pvargDest, const VARIANT* pvargSrc, USHORT wFlags, VARTYPE vt);
// The types VariantChangeType converts between (VT_EMPTY included).
bool IsConvertibleType(VARTYPE vt);

// Bytes of the value area that a plain value of this type uses (a number, a date, a boolean,
// an error code); 0 for every other type: no value, pointers, decimals, unknown types.
std::size_t PlainValueSize(VARTYPE vt);

// Owner of one VARIANT: copies are deep, destruction clears.
class Variant {
public:
    Variant() = default;
    explicit Variant(const VARIANT& value) { VariantCopy(&v_, &value); }
    Variant(const Variant& other) { VariantCopy(&v_, &other.v_); }
    Variant(Variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
    Variant& operator=(const Variant& other);
    Variant& operator=(Variant&& other) noexcept;
    ~Variant() {
        if (v_.vt != VT_EMPTY) VariantClear(&v_);  // moved-from and empty values own nothing
    }

    // Takes over the contents of `value` and leaves it VT_EMPTY.
    static Variant Adopt(VARIANT& value);
    static Variant I4(LONG value);
    static Variant R8(double value);
    static Variant Bool(bool value);
    static Variant Str(std::string_view utf8);

    VARIANT* get() { return &v_; }
    const VARIANT* get() const { return &v_; }
    const VARIANT& operator*() const { return v_; }
    const VARIANT* operator->() const { return &v_; }
    VARTYPE vt() const { return v_.vt; }
    // Hands the contents over to the caller and leaves this VT_EMPTY.
    [[nodiscard]] VARIANT release();
    void clear() { VariantClear(&v_); }
    HRESULT ChangeType(VARTYPE vt, USHORT flags = 0) { return VariantChangeType(&v_, &v_, flags, vt); }

private:
    VARIANT v_;
};

// Owner of VARIANTs laid out as a call takes them (VARIANT*): each is cleared when the array
// goes.
class VariantArray {
public:
    VariantArray() = default;
    ~VariantArray();
    VariantArray(const VariantArray&) = delete;
    VariantArray& operator=(const VariantArray&) = delete;

    // Takes over what `value` owns and leaves it VT_EMPTY, also when the array cannot grow.
    void Adopt(VARIANT& value);
    VARIANT* data() { return values_.data(); }
    std::size_t size() const { return values_.size(); }

private:
    std::vector<VARIANT> values_;
};
