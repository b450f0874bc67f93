// Change detection and the percent deadband on the values a group compares.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/com/hresult.h"
#include "platform/com/safearray.h"
#include "platform/com/variant.h"
#include "simserver/group_values.h"

namespace simserver {
namespace {

Variant R4Array(std::initializer_list<float> values) {
    Variant v;
    SAFEARRAY* sa = SafeArrayCreateVector(VT_R4, 0, static_cast<ULONG>(values.size()));
    float* data = nullptr;
    SafeArrayAccessData(sa, reinterpret_cast<void**>(&data));
    std::copy(values.begin(), values.end(), data);
    SafeArrayUnaccessData(sa);
    v.get()->vt = VT_ARRAY | VT_R4;
    v.get()->parray = sa;
    return v;
}

TEST(GroupValues, ChangesAreJudgedByValueAndDeadband) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        Variant previous, current;
        double band;
        bool equal, exceeds;
    };
    const Case cases[] = {
        {"same number", Variant::R8(5), Variant::R8(5), 1, true, false},
        {"inside the band", Variant::R8(5), Variant::R8(5.9), 1, false, false},
        {"on the band's edge", Variant::R8(5), Variant::R8(6), 1, false, false},
        {"beyond the band", Variant::R8(5), Variant::R8(6.01), 1, false, true},
        {"downwards beyond", Variant::R8(5), Variant::R8(3.5), 1, false, true},
        {"no band", Variant::R8(5), Variant::R8(5.0001), 0, false, true},
        {"type changed", Variant::I4(5), Variant::R8(5), 10, false, true},
        {"NaN to NaN", Variant::R8(nan), Variant::R8(nan), 1, true, false},
        {"number to NaN", Variant::R8(1), Variant::R8(nan), 1, false, true},
        {"text changed", Variant::Str("a"), Variant::Str("b"), 100, false, true},
        {"text same", Variant::Str("abc"), Variant::Str("abc"), 0, true, false},
        {"array element inside", R4Array({1, 2, 3}), R4Array({1, 2.5f, 3}), 1, false, false},
        {"array element beyond", R4Array({1, 2, 3}), R4Array({1, 2, 4.5f}), 1, false, true},
        {"array shape changed", R4Array({1, 2, 3}), R4Array({1, 2}), 100, false, true},
        {"array same", R4Array({1, 2, 3}), R4Array({1, 2, 3}), 0, true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VariantsEqual(*c.previous, *c.current), c.equal) << c.name;
        EXPECT_EQ(ExceedsDeadband(*c.previous, *c.current, c.band), c.exceeds) << c.name;
    }
}

TEST(GroupValues, ConversionFailuresBecomeOpcErrors) {
    struct Case {
        Variant value;
        VARTYPE requested;
        HRESULT expected;
    };
    const Case cases[] = {
        {Variant::I4(7), VT_EMPTY, S_OK},
        {Variant::I4(7), VT_BSTR, S_OK},
        {Variant::I4(1000), VT_I1, OPC_E_RANGE},
        {Variant::Str("x"), VT_R8, OPC_E_BADTYPE},
        {Variant::I4(1), VT_DISPATCH, OPC_E_BADTYPE},
        {Variant::I4(1), VT_ARRAY | VT_I4, OPC_E_BADTYPE},
    };
    for (const auto& c : cases) {
        Variant v = c.value;
        EXPECT_EQ(ConvertToRequested(v.get(), c.requested), c.expected) << c.requested;
        if (FAILED(c.expected)) {
            EXPECT_EQ(v.vt(), VT_EMPTY) << "a failed value is not left half-converted";
        }
    }
}

}  // namespace
}  // namespace simserver
