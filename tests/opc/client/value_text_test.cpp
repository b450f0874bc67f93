#include "opc/client/value_text.h"
#include "platform/com/bstr.h"
#include "platform/com/safearray.h"
#include "platform/com/variant.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

TEST(ValueText, QualityTextUsesTheStatusBitsOnly) {
    const struct {
        WORD quality;
        const char* text;
    } cases[] = {
        {0xC0, "好"},
        {0xC3, "好"},
        {0x01C0, "好"},
        {0xC4, "无值"},
        {0x1C, "坏 (不在服务内)"},
        {0x1D, "坏 (不在服务内)"},
        {0xD8, "好 (Local Override)"},
        {0x44, "不确定 (最近一次可用值)"},
        {0x00, "坏"},
        {0x20, "无值"},
        {0xFF, "无值"},
    };
    for (const auto& c : cases) EXPECT_EQ(QualityText(c.quality), c.text) << std::hex << c.quality;
}

TEST(ValueText, VarTypeNamesBothWays) {
    const struct {
        const char* name;
        VARTYPE type;
    } toType[] = {
        {"Boolean", VT_BOOL},
        {"float array", VT_ARRAY | VT_R4},
        {"DWORD", VT_UI4},
        {"Char Array", VT_ARRAY | VT_I1},
        {"String", VT_BSTR},
        {"String Array", VT_EMPTY},
        {"Boolean Array", VT_EMPTY},
        {"Native", VT_EMPTY},
        {"", VT_EMPTY},
        {"Doubles", VT_EMPTY},
    };
    for (const auto& c : toType) EXPECT_EQ(VarTypeFromName(c.name), c.type) << c.name;

    const struct {
        VARTYPE type;
        const char* name;
    } toName[] = {
        {VT_EMPTY, "Native"},
        {VT_I2, "Short"},
        {VT_ARRAY | VT_UI2, "Word Array"},
        {VT_ARRAY | VT_BSTR, "String Array"},
        {VT_ARRAY | VT_VARIANT, "Native Array"},
        {VT_DATE, "Native"},
        {VT_I8, "Native"},
    };
    for (const auto& c : toName) EXPECT_EQ(VarTypeName(c.type), c.name) << c.type;
}

namespace {

std::string Format(VARIANT v) {
    std::string text;
    FormatVariant(v, text);
    VariantClear(&v);
    return text;
}

template <typename T>
VARIANT ArrayOf(VARTYPE element, const std::vector<T>& values, ULONG rows = 0) {
    SAFEARRAY* array;
    if (rows == 0) {
        array = SafeArrayCreateVector(element, 0, static_cast<ULONG>(values.size()));
    } else {
        // Stored bounds: rgsabound[0] = row count, rgsabound[1] = row length.
        SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(values.size()) / rows, 0}, {rows, 0}};
        array = SafeArrayCreate(element, 2, bounds);
        EXPECT_EQ(array->rgsabound[0].cElements, rows);
    }
    if (!values.empty()) std::memcpy(array->pvData, values.data(), values.size() * sizeof(T));
    VARIANT v;
    v.vt = VT_ARRAY | element;
    v.parray = array;
    return v;
}

}  // namespace

TEST(ValueText, ScalarFormatting) {
    VARIANT v;
    v.vt = VT_I2;
    v.iVal = -5;
    EXPECT_EQ(Format(v), "-5");
    v.vt = VT_UI2;
    v.uiVal = 65535;
    EXPECT_EQ(Format(v), "65535");
    v.vt = VT_I1;
    v.cVal = static_cast<char>(-3);
    EXPECT_EQ(Format(v), "-3");
    v.vt = VT_UI4;
    v.ulVal = 4000000000u;
    EXPECT_EQ(Format(v), "4000000000");
    v.vt = VT_R4;
    v.fltVal = 1.5f;
    EXPECT_EQ(Format(v), "1.5");
    v.vt = VT_R8;
    v.dblVal = 1e20;
    EXPECT_EQ(Format(v), "1E+20");
    v.vt = VT_BOOL;
    v.boolVal = VARIANT_TRUE;
    EXPECT_EQ(Format(v), "1");
    v.vt = VT_BOOL;
    v.boolVal = VARIANT_FALSE;
    EXPECT_EQ(Format(v), "0");
    v.vt = VT_DATE;
    v.date = 1.0;
    EXPECT_EQ(Format(v), "未知");
    v.vt = VT_I8;
    v.llVal = 5;
    EXPECT_EQ(Format(v), "未知");
    v.vt = VT_BSTR;
    v.bstrVal = BstrFromUtf8("泵 1");
    EXPECT_EQ(Format(v), "泵 1");
    v.vt = VT_BSTR;
    v.bstrVal = nullptr;
    EXPECT_EQ(Format(v), "");
}

TEST(ValueText, ArrayFormatting) {
    EXPECT_EQ(Format(ArrayOf<std::int32_t>(VT_I4, {1, 2, 3})), "[ 1, 2, 3 ]");
    EXPECT_EQ(Format(ArrayOf<std::int16_t>(VT_I2, {1, 2, 3, 4, 5, 6}, 2)), "[ 1, 2, 3 ] [ 4, 5, 6 ]");
    EXPECT_EQ(Format(ArrayOf<std::int32_t>(VT_I4, {})), "[  ]");
    EXPECT_EQ(Format(ArrayOf<float>(VT_R4, {0.5f, -2.0f})), "[ 0.5, -2 ]");
    EXPECT_EQ(Format(ArrayOf<std::uint8_t>(VT_UI1, {255, 0})), "[ 255, 0 ]");
    EXPECT_EQ(Format(ArrayOf<std::int8_t>(VT_I1, {-1})), "[ -1 ]");
    EXPECT_EQ(Format(ArrayOf<std::uint16_t>(VT_UI2, {65535})), "[ 65535 ]");
    EXPECT_EQ(Format(ArrayOf<std::uint32_t>(VT_UI4, {4000000000u})), "[ 4000000000 ]");
    EXPECT_EQ(Format(ArrayOf<double>(VT_R8, {1e-7})), "[ 1E-07 ]");

    VARIANT strings;
    strings.vt = VT_ARRAY | VT_BSTR;
    strings.parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
    EXPECT_EQ(Format(strings), "未知");

    VARIANT nullArray;
    nullArray.vt = VT_ARRAY | VT_R8;
    nullArray.parray = nullptr;
    std::string text;
    EXPECT_FALSE(FormatVariant(nullArray, text));
    EXPECT_EQ(text, "???");
}

TEST(ValueText, PropertyValues) {
    // Local time is UTC for the date's time of day.
    const std::string savedZone = std::getenv("TZ") ? std::getenv("TZ") : "";
    const bool hadZone = std::getenv("TZ") != nullptr;
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    VARIANT value;
    const auto text = [&value](VARTYPE vt, auto assign) {
        value.vt = vt;
        assign(value);
        return PropertyValueText(value);
    };
    EXPECT_EQ(text(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; }), "-1");
    EXPECT_EQ(text(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_FALSE; }), "0");
    EXPECT_EQ(text(VT_I2, [](VARIANT& v) { v.iVal = -7; }), "-7");
    EXPECT_EQ(text(VT_UI4, [](VARIANT& v) { v.ulVal = 4000000000u; }), "4000000000");
    EXPECT_EQ(text(VT_R8, [](VARIANT& v) { v.dblVal = 0.25; }), "0.25");
    EXPECT_EQ(text(VT_DATE, [](VARIANT& v) { v.date = 45000.75; }), "18:00:00") << "the time of day only";
    EXPECT_EQ(text(VT_DATE, [](VARIANT& v) { v.date = 1e300; }), "???");
    EXPECT_EQ(text(VT_CY, [](VARIANT& v) { v.llVal = 1; }), "<Bad VARTYPE>");
    EXPECT_EQ(text(VT_EMPTY, [](VARIANT&) {}), "<Bad VARTYPE>");
    VARIANT rows = ArrayOf<std::int16_t>(VT_I2, {1, 2, 3, 4}, 2);
    const Variant array = Variant::Adopt(rows);
    EXPECT_EQ(PropertyValueText(*array), "[ 1, 2 ] [ 3, 4 ]");

    Variant longText;
    longText.get()->vt = VT_BSTR;
    longText.get()->bstrVal = BstrFromUtf8(std::string(300, 'x'));
    EXPECT_EQ(PropertyValueText(*longText).size(), 259u);
    if (hadZone)
        ::setenv("TZ", savedZone.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}
