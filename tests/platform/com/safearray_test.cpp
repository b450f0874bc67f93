// SAFEARRAY bounds, element order, locking and element ownership.
#include "platform/com/safearray.h"
#include "platform/com/bstr.h"
#include "platform/com/hresult.h"
#include "platform/com/variant.h"
#include "tests/platform/com/test_objects.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

// First dimension 1..3, second -1..0.
SafeArrayPtr MakeGrid() {
    SAFEARRAYBOUND bounds[2] = {{3, 1}, {2, -1}};
    return SafeArrayPtr(SafeArrayCreate(VT_I4, 2, bounds));
}

TEST(SafeArrayTest, BoundsAreStoredLastDimensionFirst) {
    SafeArrayPtr grid = MakeGrid();
    ASSERT_TRUE(grid);
    EXPECT_EQ(grid.get()->rgsabound[0].cElements, 2u);
    EXPECT_EQ(grid.get()->rgsabound[0].lLbound, -1);
    EXPECT_EQ(grid.get()->rgsabound[1].cElements, 3u);
    EXPECT_EQ(grid.get()->rgsabound[1].lLbound, 1);
    EXPECT_EQ(SafeArrayGetDim(grid.get()), 2u);
    EXPECT_EQ(SafeArrayGetElemsize(grid.get()), 4u);

    struct BoundCase {
        UINT dim;
        HRESULT hr;
        LONG lower;
        LONG upper;
    };
    for (const BoundCase& c : {BoundCase{1, S_OK, 1, 3}, BoundCase{2, S_OK, -1, 0}, BoundCase{0, DISP_E_BADINDEX, 0, 0},
                               BoundCase{3, DISP_E_BADINDEX, 0, 0}}) {
        SCOPED_TRACE(c.dim);
        LONG lower = 0, upper = 0;
        EXPECT_EQ(SafeArrayGetLBound(grid.get(), c.dim, &lower), c.hr);
        EXPECT_EQ(SafeArrayGetUBound(grid.get(), c.dim, &upper), c.hr);
        if (SUCCEEDED(c.hr)) {
            EXPECT_EQ(lower, c.lower);
            EXPECT_EQ(upper, c.upper);
        }
    }
    VARTYPE vt = VT_EMPTY;
    ASSERT_EQ(SafeArrayGetVartype(grid.get(), &vt), S_OK);
    EXPECT_EQ(vt, VT_I4);
}

TEST(SafeArrayTest, FirstIndexVariesFastestInMemory) {
    SafeArrayPtr grid = MakeGrid();
    for (LONG j = -1; j <= 0; ++j)
        for (LONG i = 1; i <= 3; ++i) {
            LONG index[2] = {i, j};
            LONG value = i * 10 + j;
            ASSERT_EQ(SafeArrayPutElement(grid.get(), index, &value), S_OK);
        }
    LONG* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(grid.get(), reinterpret_cast<void**>(&data)), S_OK);
    const std::vector<LONG> memory(data, data + 6);
    SafeArrayUnaccessData(grid.get());
    EXPECT_EQ(memory, (std::vector<LONG>{9, 19, 29, 10, 20, 30}));
}

TEST(SafeArrayTest, IndicesOutsideTheBoundsAreRefused) {
    SafeArrayPtr grid = MakeGrid();
    const LONG outside[][2] = {{0, -1}, {4, -1}, {1, -2}, {1, 1}, {std::numeric_limits<LONG>::min(), 0}};
    for (const auto& index : outside) {
        LONG copy[2] = {index[0], index[1]};
        LONG value = 0;
        EXPECT_EQ(SafeArrayGetElement(grid.get(), copy, &value), DISP_E_BADINDEX) << copy[0] << "," << copy[1];
        EXPECT_EQ(SafeArrayPutElement(grid.get(), copy, &value), DISP_E_BADINDEX);
    }
}

TEST(SafeArrayTest, ImpossibleArraysAreNotCreated) {
    SAFEARRAYBOUND huge[3] = {{0xFFFFFFFF, 0}, {0xFFFFFFFF, 0}, {0xFFFFFFFF, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_R8, 3, huge), nullptr);
    SAFEARRAYBOUND beyondLong{10, std::numeric_limits<LONG>::max() - 5};
    EXPECT_EQ(SafeArrayCreate(VT_I4, 1, &beyondLong), nullptr);
    SAFEARRAYBOUND one{1, 0};
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &one), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, &one), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_NULL, 1, &one), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 1, nullptr), nullptr);
}

TEST(SafeArrayTest, EmptyVectorHasUpperBoundBelowLowerBound) {
    SafeArrayPtr empty(SafeArrayCreateVector(VT_R4, 5, 0));
    ASSERT_TRUE(empty);
    LONG lower = 0, upper = 0;
    SafeArrayGetLBound(empty.get(), 1, &lower);
    SafeArrayGetUBound(empty.get(), 1, &upper);
    EXPECT_EQ(lower, 5);
    EXPECT_EQ(upper, 4);
    EXPECT_EQ(SafeArrayElementCount(empty.get()), 0u);
}

TEST(SafeArrayTest, AccessLocksAgainstDestruction) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I2, 0, 2);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
    EXPECT_EQ(data, array->pvData);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(array), E_UNEXPECTED) << "more unaccesses than accesses";
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArrayTest, StringElementsAreOwned) {
    SafeArrayPtr array(SafeArrayCreateVector(VT_BSTR, 0, 2));
    LONG i = 0;
    BSTR mine = SysAllocString(u"first");
    ASSERT_EQ(SafeArrayPutElement(array.get(), &i, mine), S_OK);
    EXPECT_NE(static_cast<BSTR*>(array.get()->pvData)[0], mine) << "the array keeps its own copy";
    SysFreeString(mine);
    BSTR second = SysAllocString(u"replaced");
    ASSERT_EQ(SafeArrayPutElement(array.get(), &i, second), S_OK);  // frees "first" (ASan)
    SysFreeString(second);

    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(array.get(), &i, &out), S_OK);
    EXPECT_EQ(Utf8FromBstr(out), "replaced");
    EXPECT_NE(out, static_cast<BSTR*>(array.get()->pvData)[0]);
    SysFreeString(out);

    i = 1;
    ASSERT_EQ(SafeArrayGetElement(array.get(), &i, &out), S_OK);
    EXPECT_EQ(out, nullptr) << "an unset string element is null";
}

TEST(SafeArrayTest, VariantAndInterfaceElementsAreOwned) {
    std::atomic<int> destroyed{0};
    ComPtr<CountedObject> object = MakeComObject<CountedObject>(&destroyed);
    {
        SafeArrayPtr interfaces(SafeArrayCreateVector(VT_UNKNOWN, 0, 1));
        LONG i = 0;
        ASSERT_EQ(SafeArrayPutElement(interfaces.get(), &i, object->Identity()), S_OK);
        EXPECT_EQ(RefCount(object->Identity()), 2u);

        SafeArrayPtr variants(SafeArrayCreateVector(VT_VARIANT, 0, 1));
        Variant holder;
        holder.get()->vt = VT_UNKNOWN;
        holder.get()->punkVal = object->Identity();
        object->AddRef();
        ASSERT_EQ(SafeArrayPutElement(variants.get(), &i, holder.get()), S_OK);
        EXPECT_EQ(RefCount(object->Identity()), 4u);

        SafeArrayPtr copy;
        ASSERT_EQ(SafeArrayCopy(variants.get(), copy.put()), S_OK);
        EXPECT_EQ(RefCount(object->Identity()), 5u);
    }
    EXPECT_EQ(RefCount(object->Identity()), 1u) << "destroying the arrays released their references";
    object.reset();
    EXPECT_EQ(destroyed, 1);
}

TEST(SafeArrayTest, CopyIsDeepAndKeepsTheShape) {
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 10}};
    SafeArrayPtr original(SafeArrayCreate(VT_BSTR, 2, bounds));
    LONG index[2] = {1, 11};
    BSTR text = SysAllocString(u"corner");
    ASSERT_EQ(SafeArrayPutElement(original.get(), index, text), S_OK);
    SysFreeString(text);

    SafeArrayPtr copy;
    ASSERT_EQ(SafeArrayCopy(original.get(), copy.put()), S_OK);
    LONG lower = 0;
    SafeArrayGetLBound(copy.get(), 2, &lower);
    EXPECT_EQ(lower, 10);
    original.reset();  // the copy must not depend on it
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(copy.get(), index, &out), S_OK);
    EXPECT_EQ(Utf8FromBstr(out), "corner");
    SysFreeString(out);

    SAFEARRAY* none = reinterpret_cast<SAFEARRAY*>(1);
    EXPECT_EQ(SafeArrayCopy(nullptr, &none), S_OK);
    EXPECT_EQ(none, nullptr);
}

}  // namespace
