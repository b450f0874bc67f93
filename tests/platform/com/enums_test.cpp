// Enumerators: Next/Skip/Reset/Clone semantics and ownership of what they hand out.
#include "platform/com/enums.h"
#include "platform/com/hresult.h"
#include "platform/com/memory.h"
#include "tests/platform/com/test_objects.h"

#include <gtest/gtest.h>

namespace {

TEST(EnumStringTest, NextReturnsWhatIsLeftAndSaysSo) {
    ComPtr<IEnumString> e = MakeEnumStringUtf8({"a", "温度", "c"});
    LPOLESTR items[4] = {};
    ULONG fetched = 99;
    ASSERT_EQ(e->Next(2, items, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(Utf8FromWide(items[1]), "温度");
    LPOLESTR rest[4] = {};
    EXPECT_EQ(e->Next(4, rest, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(Utf8FromWide(rest[0]), "c");
    EXPECT_EQ(e->Next(1, rest + 1, nullptr), S_FALSE) << "at the end";
    for (LPOLESTR s : items) CoTaskMemFree(s);
    for (LPOLESTR s : rest) CoTaskMemFree(s);
}

TEST(EnumStringTest, ArgumentsAreChecked) {
    ComPtr<IEnumString> e = MakeEnumStringUtf8({"a", "b"});
    LPOLESTR items[2] = {};
    EXPECT_EQ(e->Next(2, items, nullptr), E_INVALIDARG) << "several items need a count";
    EXPECT_EQ(items[0], nullptr);
    EXPECT_EQ(e->Next(1, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(e->Clone(nullptr), E_POINTER);
    ASSERT_EQ(e->Next(1, items, nullptr), S_OK) << "one item may go without a count";
    CoTaskMemFree(items[0]);
}

TEST(EnumStringTest, SkipResetAndCloneKeepPositions) {
    ComPtr<IEnumString> e = MakeEnumStringUtf8({"a", "b", "c"});
    EXPECT_EQ(e->Skip(1), S_OK);
    ComPtr<IEnumString> clone;
    ASSERT_EQ(e->Clone(clone.put()), S_OK);
    EXPECT_EQ(e->Skip(5), S_FALSE);

    LPOLESTR item = nullptr;
    ASSERT_EQ(clone->Next(1, &item, nullptr), S_OK);
    EXPECT_EQ(Utf8FromWide(item), "b") << "the clone starts where the original was";
    CoTaskMemFree(item);

    EXPECT_EQ(e->Next(1, &item, nullptr), S_FALSE);
    ASSERT_EQ(e->Reset(), S_OK);
    ASSERT_EQ(e->Next(1, &item, nullptr), S_OK);
    EXPECT_EQ(Utf8FromWide(item), "a");
    CoTaskMemFree(item);
}

TEST(EnumUnknownTest, EachReturnedPointerCarriesAReference) {
    std::atomic<int> destroyed{0};
    ComPtr<CountedObject> object = MakeComObject<CountedObject>(&destroyed);
    ComPtr<IEnumUnknown> e = MakeEnumUnknown({ComPtr<IUnknown>(object->Identity())});
    EXPECT_EQ(RefCount(object->Identity()), 2u);
    IUnknown* item = nullptr;
    ASSERT_EQ(e->Next(1, &item, nullptr), S_OK);
    EXPECT_EQ(RefCount(object->Identity()), 3u);
    item->Release();
    e.reset();
    object.reset();
    EXPECT_EQ(destroyed, 1);
}

TEST(EnumGuidTest, ReturnsTheGuidsInOrder) {
    ComPtr<IEnumGUID> e = MakeEnumGUID({IID_ITestA, IID_ITestB});
    GUID items[3];
    ULONG fetched = 0;
    EXPECT_EQ(e->Next(3, items, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(items[0], IID_ITestA);
    EXPECT_EQ(items[1], IID_ITestB);
}

}  // namespace
