// VariantChangeType: scalar conversions as a table of cases, then arrays.
#include "platform/com/bstr.h"
#include "platform/com/hresult.h"
#include "platform/com/safearray.h"
#include "platform/com/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

// Builders for the scalar values of the tables.
Variant Int(VARTYPE vt, long long value) {
    Variant v;
    VARIANT& r = *v.get();
    r.vt = vt;
    switch (vt) {
    case VT_I1: r.cVal = static_cast<CHAR>(value); break;
    case VT_UI1: r.bVal = static_cast<BYTE>(value); break;
    case VT_I2: r.iVal = static_cast<SHORT>(value); break;
    case VT_UI2: r.uiVal = static_cast<USHORT>(value); break;
    case VT_I4:
    case VT_INT:
    case VT_ERROR: r.lVal = static_cast<LONG>(value); break;
    case VT_UI4:
    case VT_UINT: r.ulVal = static_cast<ULONG>(value); break;
    case VT_BOOL: r.boolVal = static_cast<VARIANT_BOOL>(value); break;
    case VT_CY: r.cyVal.int64 = value; break;
    default: r.llVal = value; break;  // VT_I8
    }
    return v;
}
Variant U64(unsigned long long value) {
    Variant v;
    v.get()->vt = VT_UI8;
    v.get()->ullVal = value;
    return v;
}
Variant Real(VARTYPE vt, double value) {
    Variant v;
    v.get()->vt = vt;
    if (vt == VT_R4)
        v.get()->fltVal = static_cast<float>(value);
    else
        v.get()->dblVal = value;  // VT_R8 and VT_DATE share the storage
    return v;
}
Variant Text(const char* utf8) { return Variant::Str(utf8); }
Variant Bool(bool value) { return Variant::Bool(value); }
Variant Of(VARTYPE vt) {
    Variant v;
    v.get()->vt = vt;
    return v;
}

std::string Describe(const VARIANT& v) {
    switch (v.vt) {
    case VT_EMPTY: return "EMPTY";
    case VT_NULL: return "NULL";
    case VT_BSTR: return "BSTR \"" + Utf8FromBstr(v.bstrVal) + "\"";
    case VT_R4: return "R4 " + std::to_string(v.fltVal);
    case VT_R8: return "R8 " + std::to_string(v.dblVal);
    case VT_DATE: return "DATE " + std::to_string(v.date);
    case VT_UI8: return "UI8 " + std::to_string(v.ullVal);
    default: return "vt " + std::to_string(v.vt) + " bits " + std::to_string(v.llVal);
    }
}

// Same type and value; integers are compared in their own width only.
bool SameValue(const VARIANT& a, const VARIANT& b) {
    if (a.vt != b.vt) return false;
    switch (a.vt) {
    case VT_EMPTY:
    case VT_NULL: return true;
    case VT_BSTR: return Utf8FromBstr(a.bstrVal) == Utf8FromBstr(b.bstrVal);
    case VT_R4: return a.fltVal == b.fltVal;
    case VT_R8:
    case VT_DATE: return a.dblVal == b.dblVal;
    case VT_I1:
    case VT_UI1: return a.bVal == b.bVal;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: return a.uiVal == b.uiVal;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR: return a.ulVal == b.ulVal;
    default: return a.ullVal == b.ullVal;
    }
}

struct ConversionCase {
    const char* name;
    Variant source;
    VARTYPE target;
    USHORT flags;
    HRESULT expectedHr;
    Variant expected;  // checked when expectedHr succeeds
};

std::vector<ConversionCase> ConversionCases() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const long long i64max = std::numeric_limits<long long>::max();
    const unsigned long long u64max = std::numeric_limits<unsigned long long>::max();
    return {
        // Integer ranges.
        {"I4 255 fits UI1", Int(VT_I4, 255), VT_UI1, 0, S_OK, Int(VT_UI1, 255)},
        {"I4 256 overflows UI1", Int(VT_I4, 256), VT_UI1, 0, DISP_E_OVERFLOW, {}},
        {"I4 -1 overflows UI1", Int(VT_I4, -1), VT_UI1, 0, DISP_E_OVERFLOW, {}},
        {"I4 -128 fits I1", Int(VT_I4, -128), VT_I1, 0, S_OK, Int(VT_I1, -128)},
        {"I4 -129 overflows I1", Int(VT_I4, -129), VT_I1, 0, DISP_E_OVERFLOW, {}},
        {"UI1 200 is positive in I2", Int(VT_UI1, 200), VT_I2, 0, S_OK, Int(VT_I2, 200)},
        {"I1 -5 keeps its sign in I4", Int(VT_I1, -5), VT_I4, 0, S_OK, Int(VT_I4, -5)},
        {"UI4 max overflows I4", Int(VT_UI4, 0xFFFFFFFF), VT_I4, 0, DISP_E_OVERFLOW, {}},
        {"UI4 max fits UINT", Int(VT_UI4, 0xFFFFFFFF), VT_UINT, 0, S_OK, Int(VT_UINT, 0xFFFFFFFF)},
        {"I8 max overflows I4", Int(VT_I8, i64max), VT_I4, 0, DISP_E_OVERFLOW, {}},
        {"I8 max fits UI8", Int(VT_I8, i64max), VT_UI8, 0, S_OK, U64(static_cast<unsigned long long>(i64max))},
        {"UI8 max overflows I8", U64(u64max), VT_I8, 0, DISP_E_OVERFLOW, {}},
        {"I2 -1 overflows UI8", Int(VT_I2, -1), VT_UI8, 0, DISP_E_OVERFLOW, {}},
        // Fractions round half to even, then the range is checked.
        {"R8 2.5 rounds down to even", Real(VT_R8, 2.5), VT_I4, 0, S_OK, Int(VT_I4, 2)},
        {"R8 3.5 rounds up to even", Real(VT_R8, 3.5), VT_I4, 0, S_OK, Int(VT_I4, 4)},
        {"R8 -2.5 rounds to -2", Real(VT_R8, -2.5), VT_I4, 0, S_OK, Int(VT_I4, -2)},
        {"R8 2.51 rounds up", Real(VT_R8, 2.51), VT_I4, 0, S_OK, Int(VT_I4, 3)},
        {"R8 32767.4 fits I2", Real(VT_R8, 32767.4), VT_I2, 0, S_OK, Int(VT_I2, 32767)},
        {"R8 32767.5 rounds out of I2", Real(VT_R8, 32767.5), VT_I2, 0, DISP_E_OVERFLOW, {}},
        {"R8 -0.4 fits UI1 as 0", Real(VT_R8, -0.4), VT_UI1, 0, S_OK, Int(VT_UI1, 0)},
        {"R8 NaN overflows I4", Real(VT_R8, nan), VT_I4, 0, DISP_E_OVERFLOW, {}},
        {"R8 1e19 fits UI8", Real(VT_R8, 1e19), VT_UI8, 0, S_OK, U64(10000000000000000000ULL)},
        {"R8 2e19 overflows UI8", Real(VT_R8, 2e19), VT_UI8, 0, DISP_E_OVERFLOW, {}},
        {"R8 1e300 overflows R4", Real(VT_R8, 1e300), VT_R4, 0, DISP_E_OVERFLOW, {}},
        {"R4 0.5 to R8", Real(VT_R4, 0.5), VT_R8, 0, S_OK, Real(VT_R8, 0.5)},
        {"UI8 max to R8", U64(u64max), VT_R8, 0, S_OK, Real(VT_R8, 18446744073709551615.0)},
        // Currency: value * 10000.
        {"CY 1.2345 to I4", Int(VT_CY, 12345), VT_I4, 0, S_OK, Int(VT_I4, 1)},
        {"CY 2.5 to I4 rounds to even", Int(VT_CY, 25000), VT_I4, 0, S_OK, Int(VT_I4, 2)},
        {"CY -3.5 to I4 rounds to even", Int(VT_CY, -35000), VT_I4, 0, S_OK, Int(VT_I4, -4)},
        {"CY to R8", Int(VT_CY, 12345), VT_R8, 0, S_OK, Real(VT_R8, 1.2345)},
        {"R8 to CY rounds the fifth decimal", Real(VT_R8, 1.23456), VT_CY, 0, S_OK, Int(VT_CY, 12346)},
        {"I4 to CY scales", Int(VT_I4, -7), VT_CY, 0, S_OK, Int(VT_CY, -70000)},
        {"I8 max overflows CY", Int(VT_I8, i64max), VT_CY, 0, DISP_E_OVERFLOW, {}},
        {"CY to text", Int(VT_CY, -25000), VT_BSTR, 0, S_OK, Text("-2.5")},
        {"text to CY", Text("12.3456"), VT_CY, 0, S_OK, Int(VT_CY, 123456)},
        // DATE: days since 1899-12-30, fraction = time of day.
        {"DATE to I4 rounds", Real(VT_DATE, 45000.5), VT_I4, 0, S_OK, Int(VT_I4, 45000)},
        {"R8 within the date range", Real(VT_R8, 45000.25), VT_DATE, 0, S_OK, Real(VT_DATE, 45000.25)},
        {"R8 beyond year 9999", Real(VT_R8, 3e6), VT_DATE, 0, DISP_E_OVERFLOW, {}},
        {"R8 before year 100", Real(VT_R8, -700000), VT_DATE, 0, DISP_E_OVERFLOW, {}},
        {"DATE with time to text", Real(VT_DATE, 45000.25), VT_BSTR, 0, S_OK, Text("2023-03-15 06:00:00")},
        {"DATE at midnight to text", Real(VT_DATE, 45000), VT_BSTR, 0, S_OK, Text("2023-03-15")},
        {"DATE on day 0 to text", Real(VT_DATE, 0.5), VT_BSTR, 0, S_OK, Text("12:00:00")},
        {"DATE before 1899-12-30", Real(VT_DATE, -1.25), VT_BSTR, 0, S_OK, Text("1899-12-29 06:00:00")},
        {"DATE 29 February", Real(VT_DATE, 36585), VT_BSTR, 0, S_OK, Text("2000-02-29")},
        {"text to DATE", Text("2023-03-15 06:00:00"), VT_DATE, 0, S_OK, Real(VT_DATE, 45000.25)},
        {"time text to DATE", Text("18:00"), VT_DATE, 0, S_OK, Real(VT_DATE, 0.75)},
        {"impossible date text", Text("2023-02-30"), VT_DATE, 0, DISP_E_TYPEMISMATCH, {}},
        // VT_BOOL: true is -1.
        {"true to I2", Bool(true), VT_I2, 0, S_OK, Int(VT_I2, -1)},
        {"true to UI2 sets all bits", Bool(true), VT_UI2, 0, S_OK, Int(VT_UI2, 0xFFFF)},
        {"true to UI8 sets all bits", Bool(true), VT_UI8, 0, S_OK, U64(u64max)},
        {"true to R8", Bool(true), VT_R8, 0, S_OK, Real(VT_R8, -1)},
        {"true to CY", Bool(true), VT_CY, 0, S_OK, Int(VT_CY, -10000)},
        {"false to I4", Bool(false), VT_I4, 0, S_OK, Int(VT_I4, 0)},
        {"I4 2 to BOOL", Int(VT_I4, 2), VT_BOOL, 0, S_OK, Bool(true)},
        {"R8 0.1 to BOOL", Real(VT_R8, 0.1), VT_BOOL, 0, S_OK, Bool(true)},
        {"R8 0 to BOOL", Real(VT_R8, 0), VT_BOOL, 0, S_OK, Bool(false)},
        {"true to text", Bool(true), VT_BSTR, 0, S_OK, Text("-1")},
        {"false to text", Bool(false), VT_BSTR, 0, S_OK, Text("0")},
        {"true to text, alpha", Bool(true), VT_BSTR, VARIANT_ALPHABOOL, S_OK, Text("True")},
        {"false to text, local", Bool(false), VT_BSTR, VARIANT_LOCALBOOL, S_OK, Text("False")},
        {"text true to BOOL", Text("true"), VT_BOOL, 0, S_OK, Bool(true)},
        {"text FALSE to BOOL", Text(" FALSE "), VT_BOOL, 0, S_OK, Bool(false)},
        {"text 0 to BOOL", Text("0"), VT_BOOL, 0, S_OK, Bool(false)},
        {"text 2.5 to BOOL", Text("2.5"), VT_BOOL, 0, S_OK, Bool(true)},
        {"text yes to BOOL", Text("yes"), VT_BOOL, 0, DISP_E_TYPEMISMATCH, {}},
        {"text True is not a number", Text("True"), VT_I4, 0, DISP_E_TYPEMISMATCH, {}},
        // Text parsing.
        {"blanks around", Text(" 42 "), VT_I4, 0, S_OK, Int(VT_I4, 42)},
        {"negative", Text("-17"), VT_I2, 0, S_OK, Int(VT_I2, -17)},
        {"plus sign", Text("+5"), VT_UI1, 0, S_OK, Int(VT_UI1, 5)},
        {"fraction rounds to even", Text("2.5"), VT_I4, 0, S_OK, Int(VT_I4, 2)},
        {"fraction rounds up to even", Text("3.5"), VT_I4, 0, S_OK, Int(VT_I4, 4)},
        {"exponent", Text("1e3"), VT_I2, 0, S_OK, Int(VT_I2, 1000)},
        {"exponent to R8", Text("1.5E2"), VT_R8, 0, S_OK, Real(VT_R8, 150)},
        {"leading point", Text(".25"), VT_R8, 0, S_OK, Real(VT_R8, 0.25)},
        {"hexadecimal", Text("&H7FFF"), VT_I2, 0, S_OK, Int(VT_I2, 32767)},
        {"hexadecimal beyond I2", Text("&HFFFF"), VT_I2, 0, DISP_E_OVERFLOW, {}},
        {"octal", Text("&O17"), VT_I4, 0, S_OK, Int(VT_I4, 15)},
        {"text overflows I2", Text("70000"), VT_I2, 0, DISP_E_OVERFLOW, {}},
        {"minus one overflows UI4", Text("-1"), VT_UI4, 0, DISP_E_OVERFLOW, {}},
        {"UI8 max exactly", Text("18446744073709551615"), VT_UI8, 0, S_OK, U64(u64max)},
        {"I8 max exactly", Text("9223372036854775807"), VT_I8, 0, S_OK, Int(VT_I8, i64max)},
        {"one beyond I8 max", Text("9223372036854775808"), VT_I8, 0, DISP_E_OVERFLOW, {}},
        {"many digits overflow", Text("123456789012345678901234567890123456789012"), VT_UI8, 0, DISP_E_OVERFLOW, {}},
        {"huge exponent overflows R8", Text("1e999"), VT_R8, 0, DISP_E_OVERFLOW, {}},
        {"huge exponent overflows I4", Text("1e999"), VT_I4, 0, DISP_E_OVERFLOW, {}},
        {"empty text", Text(""), VT_I4, 0, DISP_E_TYPEMISMATCH, {}},
        {"blank text", Text("   "), VT_R8, 0, DISP_E_TYPEMISMATCH, {}},
        {"trailing letters", Text("12abc"), VT_I4, 0, DISP_E_TYPEMISMATCH, {}},
        {"inner blank", Text("1 2"), VT_I4, 0, DISP_E_TYPEMISMATCH, {}},
        {"point alone", Text("."), VT_R8, 0, DISP_E_TYPEMISMATCH, {}},
        {"exponent without digits", Text("1e"), VT_R8, 0, DISP_E_TYPEMISMATCH, {}},
        {"hex prefix without digits", Text("&H"), VT_I4, 0, DISP_E_TYPEMISMATCH, {}},
        {"full-width digits", Text("\xEF\xBC\x91\xEF\xBC\x92"), VT_I4, 0, DISP_E_TYPEMISMATCH, {}},
        // Numbers to text.
        {"I4 to text", Int(VT_I4, -42), VT_BSTR, 0, S_OK, Text("-42")},
        {"UI8 max to text", U64(u64max), VT_BSTR, 0, S_OK, Text("18446744073709551615")},
        {"R8 0.1 to text", Real(VT_R8, 0.1), VT_BSTR, 0, S_OK, Text("0.1")},
        {"R4 0.1 to text has 7 digits", Real(VT_R4, 0.1), VT_BSTR, 0, S_OK, Text("0.1")},
        {"R4 pi to text", Real(VT_R4, 3.14159265), VT_BSTR, 0, S_OK, Text("3.141593")},
        {"R8 third to text has 15 digits", Real(VT_R8, 1.0 / 3), VT_BSTR, 0, S_OK, Text("0.333333333333333")},
        {"R8 1e20 to text", Real(VT_R8, 1e20), VT_BSTR, 0, S_OK, Text("1E+20")},
        {"negative zero to text", Real(VT_R8, -0.0), VT_BSTR, 0, S_OK, Text("0")},
        // VT_ERROR, VT_EMPTY, VT_NULL and types without value conversions.
        {"ERROR to I4", Int(VT_ERROR, static_cast<LONG>(0x80004005)), VT_I4, 0, S_OK,
         Int(VT_I4, static_cast<LONG>(0x80004005))},
        {"ERROR to text", Int(VT_ERROR, static_cast<LONG>(0x80004005)), VT_BSTR, 0, S_OK, Text("-2147467259")},
        {"I4 to ERROR", Int(VT_I4, 5), VT_ERROR, 0, S_OK, Int(VT_ERROR, 5)},
        {"EMPTY to I4", Of(VT_EMPTY), VT_I4, 0, S_OK, Int(VT_I4, 0)},
        {"EMPTY to text", Of(VT_EMPTY), VT_BSTR, 0, S_OK, Text("")},
        {"I4 to EMPTY", Int(VT_I4, 9), VT_EMPTY, 0, S_OK, Of(VT_EMPTY)},
        {"EMPTY to NULL", Of(VT_EMPTY), VT_NULL, 0, S_OK, Of(VT_NULL)},
        {"NULL to I4", Of(VT_NULL), VT_I4, 0, DISP_E_TYPEMISMATCH, {}},
        {"I4 to NULL", Int(VT_I4, 1), VT_NULL, 0, DISP_E_TYPEMISMATCH, {}},
        {"UNKNOWN to I4", Of(VT_UNKNOWN), VT_I4, 0, DISP_E_TYPEMISMATCH, {}},
        {"invalid target type", Int(VT_I4, 1), 0x7F, 0, DISP_E_BADVARTYPE, {}},
    };
}

TEST(VariantChangeTypeTest, ScalarConversionsFollowTheTable) {
    for (const ConversionCase& c : ConversionCases()) {
        SCOPED_TRACE(c.name);
        Variant result;
        const HRESULT hr = VariantChangeType(result.get(), c.source.get(), c.flags, c.target);
        EXPECT_EQ(hr, c.expectedHr) << HResultName(hr);
        if (SUCCEEDED(c.expectedHr) && SUCCEEDED(hr)) {
            EXPECT_TRUE(SameValue(*result, *c.expected)) << Describe(*result) << " expected " << Describe(*c.expected);
        }
        if (FAILED(hr)) {
            EXPECT_EQ(result.vt(), VT_EMPTY) << "failure must leave the destination";
        }
    }
}

TEST(VariantChangeTypeTest, InvalidSourceTypeIsRefused) {
    VARIANT bad;  // raw: a Variant would refuse to copy it
    bad.vt = 0x7F;
    Variant result;
    EXPECT_EQ(VariantChangeType(result.get(), &bad, 0, VT_I4), DISP_E_BADVARTYPE);
    bad.vt = VT_ARRAY | VT_EMPTY;
    EXPECT_EQ(VariantChangeType(result.get(), &bad, 0, VT_ARRAY | VT_I4), DISP_E_BADVARTYPE);
}

TEST(VariantChangeTypeTest, InPlaceConversionReplacesTheString) {
    Variant v = Text("123");
    ASSERT_EQ(VariantChangeType(v.get(), v.get(), 0, VT_I4), S_OK);
    EXPECT_EQ(v.vt(), VT_I4);
    EXPECT_EQ(v->lVal, 123);  // the BSTR was freed (a leak fails under ASan)
}

TEST(VariantChangeTypeTest, FailureLeavesTheDestinationUntouched) {
    Variant destination = Text("keep me");
    const Variant source = Text("not a number");
    EXPECT_EQ(VariantChangeType(destination.get(), source.get(), 0, VT_I4), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(destination.vt(), VT_BSTR);
    EXPECT_EQ(Utf8FromBstr(destination->bstrVal), "keep me");

    Variant inPlace = Text("300");
    EXPECT_EQ(inPlace.ChangeType(VT_UI1), DISP_E_OVERFLOW);
    ASSERT_EQ(inPlace.vt(), VT_BSTR);
    EXPECT_EQ(Utf8FromBstr(inPlace->bstrVal), "300");
}

TEST(VariantChangeTypeTest, ByReferenceSourceIsConvertedByValue) {
    LONG target = 77;
    VARIANT reference;
    reference.vt = VT_I4 | VT_BYREF;
    reference.byref = &target;
    Variant result;
    ASSERT_EQ(VariantChangeType(result.get(), &reference, 0, VT_BSTR), S_OK);
    EXPECT_EQ(Utf8FromBstr(result->bstrVal), "77");
}

// Arrays ------------------------------------------------------------------------------------

Variant ArrayOf(VARTYPE vt, const std::vector<Variant>& elements) {
    SAFEARRAY* array = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(elements.size()));
    for (LONG i = 0; i < static_cast<LONG>(elements.size()); ++i) {
        Variant element = elements[i];
        if (vt != VT_VARIANT) {
            EXPECT_EQ(element.ChangeType(vt), S_OK);
        }
        void* value = vt == VT_VARIANT ? static_cast<void*>(element.get())
                      : vt == VT_BSTR  ? static_cast<void*>(element->bstrVal)
                                       : static_cast<void*>(&element.get()->llVal);
        EXPECT_EQ(SafeArrayPutElement(array, &i, value), S_OK);
    }
    Variant v;
    v.get()->vt = VT_ARRAY | vt;
    v.get()->parray = array;
    return v;
}

// Element i of a one-dimensional array, as a VARIANT of the array's type.
Variant ElementOf(const VARIANT& array, LONG i) {
    const VARTYPE vt = array.vt & VT_TYPEMASK;
    Variant out;
    if (vt == VT_VARIANT) {
        EXPECT_EQ(SafeArrayGetElement(array.parray, &i, out.get()), S_OK);
    } else {
        out.get()->vt = vt;
        EXPECT_EQ(SafeArrayGetElement(array.parray, &i, &out.get()->llVal), S_OK);
    }
    return out;
}

struct ArrayCase {
    const char* name;
    Variant source;
    VARTYPE target;  // element type
    HRESULT expectedHr;
    std::vector<Variant> expected;
};

std::vector<ArrayCase> ArrayCases() {
    return {
        {"R8 to I4 rounds each element",
         ArrayOf(VT_R8, {Real(VT_R8, 1.5), Real(VT_R8, 2.5), Real(VT_R8, 300)}),
         VT_I4,
         S_OK,
         {Int(VT_I4, 2), Int(VT_I4, 2), Int(VT_I4, 300)}},
        {"one element overflows UI1", ArrayOf(VT_R8, {Real(VT_R8, 1), Real(VT_R8, 300)}), VT_UI1, DISP_E_OVERFLOW, {}},
        {"R8 to BSTR", ArrayOf(VT_R8, {Real(VT_R8, 1.5), Real(VT_R8, -2)}), VT_BSTR, S_OK, {Text("1.5"), Text("-2")}},
        {"BSTR to I2", ArrayOf(VT_BSTR, {Text("7"), Text(" -8 ")}), VT_I2, S_OK, {Int(VT_I2, 7), Int(VT_I2, -8)}},
        {"BSTR with a word to I4", ArrayOf(VT_BSTR, {Text("1"), Text("x")}), VT_I4, DISP_E_TYPEMISMATCH, {}},
        {"BOOL to UI1", ArrayOf(VT_BOOL, {Bool(true), Bool(false)}), VT_UI1, S_OK, {Int(VT_UI1, 255), Int(VT_UI1, 0)}},
        {"I4 to VARIANT",
         ArrayOf(VT_I4, {Int(VT_I4, 4), Int(VT_I4, 5)}),
         VT_VARIANT,
         S_OK,
         {Int(VT_I4, 4), Int(VT_I4, 5)}},
        {"VARIANT of mixed types to R8",
         ArrayOf(VT_VARIANT, {Int(VT_I2, 1), Text("2.5"), Bool(true)}),
         VT_R8,
         S_OK,
         {Real(VT_R8, 1), Real(VT_R8, 2.5), Real(VT_R8, -1)}},
        {"VARIANT holding an array to I4",
         ArrayOf(VT_VARIANT, {ArrayOf(VT_I4, {Int(VT_I4, 1)})}),
         VT_I4,
         DISP_E_TYPEMISMATCH,
         {}},
        {"empty array keeps its bounds", ArrayOf(VT_I4, {}), VT_R4, S_OK, {}},
    };
}

TEST(VariantChangeTypeTest, ArraysConvertElementByElement) {
    for (const ArrayCase& c : ArrayCases()) {
        SCOPED_TRACE(c.name);
        Variant result;
        const HRESULT hr = VariantChangeType(result.get(), c.source.get(), 0, VT_ARRAY | c.target);
        ASSERT_EQ(hr, c.expectedHr) << HResultName(hr);
        if (FAILED(hr)) {
            EXPECT_EQ(result.vt(), VT_EMPTY);
            continue;
        }
        ASSERT_EQ(result.vt(), VT_ARRAY | c.target);
        ASSERT_EQ(SafeArrayElementCount(result->parray), c.expected.size());
        for (LONG i = 0; i < static_cast<LONG>(c.expected.size()); ++i) {
            const Variant element = ElementOf(*result, i);
            EXPECT_TRUE(SameValue(*element, *c.expected[i])) << i << ": " << Describe(*element);
        }
    }
}

TEST(VariantChangeTypeTest, ArrayConversionKeepsBoundsAndElementOrder) {
    SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, -1}};  // first dimension 1..2, second -1..1
    SAFEARRAY* array = SafeArrayCreate(VT_I2, 2, bounds);
    for (LONG i = 1; i <= 2; ++i)
        for (LONG j = -1; j <= 1; ++j) {
            LONG index[2] = {i, j};
            SHORT value = static_cast<SHORT>(i * 10 + j);
            ASSERT_EQ(SafeArrayPutElement(array, index, &value), S_OK);
        }
    Variant source;
    source.get()->vt = VT_ARRAY | VT_I2;
    source.get()->parray = array;

    Variant result;
    ASSERT_EQ(VariantChangeType(result.get(), source.get(), 0, VT_ARRAY | VT_R8), S_OK);
    SAFEARRAY* converted = result->parray;
    ASSERT_EQ(SafeArrayGetDim(converted), 2u);
    LONG lower = 0, upper = 0;
    SafeArrayGetLBound(converted, 1, &lower);
    SafeArrayGetUBound(converted, 1, &upper);
    EXPECT_EQ(lower, 1);
    EXPECT_EQ(upper, 2);
    SafeArrayGetLBound(converted, 2, &lower);
    SafeArrayGetUBound(converted, 2, &upper);
    EXPECT_EQ(lower, -1);
    EXPECT_EQ(upper, 1);
    for (LONG i = 1; i <= 2; ++i)
        for (LONG j = -1; j <= 1; ++j) {
            LONG index[2] = {i, j};
            double value = 0;
            ASSERT_EQ(SafeArrayGetElement(converted, index, &value), S_OK);
            EXPECT_EQ(value, i * 10 + j);
        }
}

TEST(VariantChangeTypeTest, ScalarsAndArraysDoNotMix) {
    const Variant scalar = Int(VT_I4, 1);
    const Variant array = ArrayOf(VT_I4, {Int(VT_I4, 1)});
    Variant result;
    EXPECT_EQ(VariantChangeType(result.get(), scalar.get(), 0, VT_ARRAY | VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(result.get(), array.get(), 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(result.get(), array.get(), 0, VT_BSTR), DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeTypeTest, SameArrayTypeIsADeepCopy) {
    const Variant source = ArrayOf(VT_BSTR, {Text("a"), Text("b")});
    Variant result;
    ASSERT_EQ(VariantChangeType(result.get(), source.get(), 0, VT_ARRAY | VT_BSTR), S_OK);
    EXPECT_NE(result->parray, source->parray);
    LONG first = 0;
    BSTR replacement = SysAllocString(u"changed");
    ASSERT_EQ(SafeArrayPutElement(source->parray, &first, replacement), S_OK);
    SysFreeString(replacement);
    EXPECT_EQ(Utf8FromBstr(ElementOf(*result, 0)->bstrVal), "a");
}

}  // namespace
