// The operator's write texts turned into values: the scalar table and the array text parser.
#include "opc/client/value_text.h"
#include "opc/client/write_text.h"
#include "platform/com/bstr.h"
#include "platform/com/safearray.h"
#include "platform/com/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

// The value as the item list would show it, with its type.
std::string Shown(const VARIANT& v) {
    std::string text;
    FormatVariant(v, text);
    return std::to_string(v.vt) + ":" + text;
}

TEST(WriteText, ScalarTable) {
    struct Case {
        const char* text;
        VARTYPE type;
        std::string expected;  // "" when the mapping must fail
    };
    const Case cases[] = {
        {"42", VT_I4, "3:42"},
        {"abc", VT_I4, "3:0"},
        {"  12xyz", VT_I4, "3:12"},
        {"-7", VT_I4, "3:-7"},
        {"4294967295", VT_UI4, "19:4294967295"},
        {"4294967296", VT_UI4, "19:0"},  // low 32 bits
        {"70000", VT_I2, "2:4464"},      // low 16 bits
        {"-1", VT_UI2, "18:65535"},
        {"300", VT_UI1, "17:44"},  // low 8 bits
        {"-1", VT_UI1, "17:255"},
        {"200", VT_I1, "16:-56"},
        {"1.5", VT_R4, "4:1.5"},
        {"1e300", VT_R4, "4:INF"},  // too large for a float
        {"-2.5e-3", VT_R8, "5:-0.0025"},
        {"x", VT_R8, "5:0"},
        {"1", VT_BOOL, "11:1"},
        {"0", VT_BOOL, "11:0"},
        {"256", VT_BOOL, "11:0"},  // only the low 8 bits count
        {"257", VT_BOOL, "11:1"},
        {"yes", VT_BOOL, "11:0"},
        {"héllo wörld", VT_BSTR, "8:héllo wörld"},
        {"", VT_BSTR, "8:"},
        {"1", VT_DATE, ""},
        {"1", VT_I8, ""},
        {"1", VT_EMPTY, ""},
        {"1", VT_ARRAY | VT_I4, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " as " + std::to_string(c.type));
        VARIANT out;
        const bool mapped = ScalarFromText(c.text, c.type, out);
        ASSERT_EQ(mapped, !c.expected.empty());
        if (!mapped) continue;
        EXPECT_EQ(Shown(out), c.expected);
        if (c.type == VT_BOOL) {
            EXPECT_TRUE(out.boolVal == VARIANT_TRUE || out.boolVal == VARIANT_FALSE);
        }
        VariantClear(&out);
    }
}

// A VT_ARRAY value of `type`: one dimension when rows is 0, else rows x columns (the second
// stored bound being the row length, as the item list shows it).
Variant ArrayValue(VARTYPE type, ULONG rows, ULONG columns, std::vector<double> values) {
    SAFEARRAY* sa;
    if (rows == 0) {
        sa = SafeArrayCreateVector(type, 0, columns);
    } else {
        SAFEARRAYBOUND firstToLast[2] = {{columns, 0}, {rows, 0}};  // stored as {rows, columns}
        sa = SafeArrayCreate(type, 2, firstToLast);
    }
    auto* data = static_cast<char*>(sa->pvData);
    for (std::size_t i = 0; i < values.size(); ++i) {
        char* at = data + i * sa->cbElements;
        switch (type) {
        case VT_I2: *reinterpret_cast<SHORT*>(at) = static_cast<SHORT>(values[i]); break;
        case VT_I4: *reinterpret_cast<LONG*>(at) = static_cast<LONG>(values[i]); break;
        case VT_UI1: *reinterpret_cast<BYTE*>(at) = static_cast<BYTE>(values[i]); break;
        case VT_R4: *reinterpret_cast<float*>(at) = static_cast<float>(values[i]); break;
        case VT_R8: *reinterpret_cast<double*>(at) = values[i]; break;
        default: break;
        }
    }
    VARIANT v;
    v.vt = static_cast<VARTYPE>(VT_ARRAY | type);
    v.parray = sa;
    return Variant::Adopt(v);
}

TEST(WriteText, ArrayTextParser) {
    struct Case {
        const char* name;
        Variant current;
        std::string text;
        std::string expected;  // as shown; "" when the mapping must fail
    };
    const std::string limitText = [] {
        std::string s;
        for (int i = 0; i < 129; ++i) s += "1,";  // exactly 258 characters
        return s + "7";                           // the 259th is not used
    }();
    const std::string limitExpected = [] {
        std::string s = "[ ";
        for (int i = 0; i < 130; ++i) s += (i ? ", " : "") + std::string(i < 129 ? "1" : "0");
        return s + " ]";
    }();
    std::vector<Case> cases;
    cases.push_back({"first element only", ArrayValue(VT_I4, 0, 3, {1, 2, 3}), "[ 9 ]", "[ 9, 2, 3 ]"});
    cases.push_back({"without brackets", ArrayValue(VT_I4, 0, 3, {10, 20, 30}), "1,2", "[ 1, 2, 30 ]"});
    cases.push_back(
        {"a whole 2-D array", ArrayValue(VT_I2, 2, 3, {}), "[ 1, 2, 3 ] [ 4, 5, 6 ]", "[ 1, 2, 3 ] [ 4, 5, 6 ]"});
    cases.push_back({"first element of each row", ArrayValue(VT_I2, 2, 3, {1, 2, 3, 4, 5, 6}), "[ 7 ] [ 8 ]",
                     "[ 7, 2, 3 ] [ 8, 5, 6 ]"});
    cases.push_back({"more tokens than elements", ArrayValue(VT_I4, 0, 3, {}), "1,2,3,4,5", "[ 1, 2, 3 ]"});
    cases.push_back(
        {"more rows than the array has", ArrayValue(VT_I2, 2, 3, {}), "[1][2][3][4]", "[ 1, 0, 0 ] [ 2, 0, 0 ]"});
    cases.push_back(
        {"a row longer than the array's runs on", ArrayValue(VT_I2, 2, 2, {}), "[1,2,3] [4]", "[ 1, 2 ] [ 3, 0 ]"});
    cases.push_back({"empty tokens keep values", ArrayValue(VT_I4, 0, 3, {10, 20, 30}), ", ,5", "[ 10, 20, 5 ]"});
    cases.push_back({"empty text changes nothing", ArrayValue(VT_I4, 0, 2, {4, 5}), "", "[ 4, 5 ]"});
    cases.push_back({"blanks and brackets only", ArrayValue(VT_I4, 0, 2, {4, 5}), " [ [ ", "[ 4, 5 ]"});
    cases.push_back({"bracket inside a token is ignored", ArrayValue(VT_I4, 0, 2, {}), "1[2, 3", "[ 12, 3 ]"});
    cases.push_back({"atol stops at the first non-digit", ArrayValue(VT_I4, 0, 2, {}), "12abc, x", "[ 12, 0 ]"});
    cases.push_back({"floats", ArrayValue(VT_R4, 0, 2, {}), "1.5, -2", "[ 1.5, -2 ]"});
    cases.push_back({"doubles", ArrayValue(VT_R8, 0, 2, {}), "[ 2.25, 1e3 ]", "[ 2.25, 1000 ]"});
    cases.push_back({"bytes keep the low 8 bits", ArrayValue(VT_UI1, 0, 2, {}), "257, -1", "[ 1, 255 ]"});
    cases.push_back(
        {"only the first 258 characters are used", ArrayValue(VT_I4, 0, 130, {}), limitText, limitExpected});
    cases.push_back({"not an array", Variant::I4(5), "[ 1 ]", ""});
    cases.push_back({"no value", Variant(), "[ 1 ]", ""});
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        VARIANT out;
        const bool mapped = ArrayFromText(c.text, *c.current, out);
        ASSERT_EQ(mapped, !c.expected.empty());
        if (!mapped) continue;
        std::string shown;
        FormatVariant(out, shown);
        EXPECT_EQ(shown, c.expected);
        EXPECT_NE(out.parray, c.current->parray) << "a copy, not the item's own array";
        VariantClear(&out);
    }
}

TEST(WriteText, ArrayWithoutDataOrOfThreeDimensionsFails) {
    SAFEARRAYBOUND bounds[3] = {{1, 0}, {1, 0}, {1, 0}};
    VARIANT cube;
    cube.vt = VT_ARRAY | VT_I4;
    cube.parray = SafeArrayCreate(VT_I4, 3, bounds);
    Variant owned = Variant::Adopt(cube);
    VARIANT out;
    EXPECT_FALSE(ArrayFromText("1", *owned, out));

    VARIANT nullArray;
    nullArray.vt = VT_ARRAY | VT_I4;
    nullArray.parray = nullptr;
    EXPECT_FALSE(ArrayFromText("1", nullArray, out));
}

TEST(WriteText, TargetTypeComesFromTheValueThenTheDataType) {
    struct Case {
        const char* name;
        Variant current;
        VARTYPE dataType;
        const char* text;
        std::string expected;  // "" when the mapping must fail
    };
    std::vector<Case> cases;
    cases.push_back({"current value's type wins", Variant::I4(1), VT_R8, "2.5", "3:2"});
    cases.push_back({"data type while the value is empty", Variant(), VT_R8, "2.5", "5:2.5"});
    cases.push_back({"string value", Variant::Str("old"), VT_EMPTY, "new", "8:new"});
    cases.push_back({"array value", ArrayValue(VT_I4, 0, 2, {1, 2}), VT_EMPTY, "[ 3 ]", "8195:[ 3, 2 ]"});
    cases.push_back({"array data type without a value", Variant(), VT_ARRAY | VT_I4, "[ 3 ]", ""});
    cases.push_back({"unmappable type", Variant(), VT_DATE, "1", ""});
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        VARIANT out;
        const bool mapped = WriteValueFromText(c.text, *c.current, c.dataType, out);
        ASSERT_EQ(mapped, !c.expected.empty());
        if (!mapped) continue;
        EXPECT_EQ(Shown(out), c.expected);
        VariantClear(&out);
    }
}

}  // namespace
