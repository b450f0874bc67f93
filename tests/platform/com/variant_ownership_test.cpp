// What VARIANTs own: clearing frees strings and arrays and releases interfaces, copies are
// deep. Leaks and double frees show under AddressSanitizer.
#include "platform/com/bstr.h"
#include "platform/com/hresult.h"
#include "platform/com/memory.h"
#include "platform/com/safearray.h"
#include "platform/com/variant.h"
#include "tests/platform/com/test_objects.h"

#include <gtest/gtest.h>

namespace {

Variant HoldingObject(IUnknown* object) {
    Variant v;
    v.get()->vt = VT_UNKNOWN;
    v.get()->punkVal = object;
    object->AddRef();
    return v;
}

Variant HoldingStrings(std::initializer_list<const char16_t*> texts) {
    Variant v;
    v.get()->vt = VT_ARRAY | VT_BSTR;
    v.get()->parray = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    LONG i = 0;
    for (const char16_t* text : texts) {
        BSTR s = SysAllocString(text);
        EXPECT_EQ(SafeArrayPutElement(v->parray, &i, s), S_OK);
        SysFreeString(s);
        ++i;
    }
    return v;
}

TEST(VariantOwnershipTest, ClearReleasesTheInterfaceAndEmpties) {
    std::atomic<int> destroyed{0};
    ComPtr<CountedObject> object = MakeComObject<CountedObject>(&destroyed);
    Variant v = HoldingObject(object->Identity());
    EXPECT_EQ(RefCount(object->Identity()), 2u);
    EXPECT_EQ(VariantClear(v.get()), S_OK);
    EXPECT_EQ(v.vt(), VT_EMPTY);
    EXPECT_EQ(RefCount(object->Identity()), 1u);
    object.reset();
    EXPECT_EQ(destroyed, 1);
}

TEST(VariantOwnershipTest, CopyIsDeep) {
    const Variant text = Variant::Str("温度 value");
    Variant copy;
    ASSERT_EQ(VariantCopy(copy.get(), text.get()), S_OK);
    EXPECT_NE(copy->bstrVal, text->bstrVal);
    EXPECT_EQ(Utf8FromBstr(copy->bstrVal), "温度 value");

    const Variant strings = HoldingStrings({u"a", u"b"});
    Variant arrayCopy(strings);
    ASSERT_EQ(arrayCopy.vt(), VT_ARRAY | VT_BSTR);
    EXPECT_NE(arrayCopy->parray, strings->parray);
    BSTR* original = static_cast<BSTR*>(strings->parray->pvData);
    BSTR* copied = static_cast<BSTR*>(arrayCopy->parray->pvData);
    EXPECT_NE(original[0], copied[0]) << "elements must be copied, not shared";
    EXPECT_EQ(Utf8FromBstr(copied[1]), "b");

    std::atomic<int> destroyed{0};
    ComPtr<CountedObject> object = MakeComObject<CountedObject>(&destroyed);
    {
        const Variant holder = HoldingObject(object->Identity());
        const Variant second(holder);
        EXPECT_EQ(RefCount(object->Identity()), 3u);
    }
    EXPECT_EQ(RefCount(object->Identity()), 1u);
}

TEST(VariantOwnershipTest, CopyKeepsBinaryStringLength) {
    Variant v;
    v.get()->vt = VT_BSTR;
    v.get()->bstrVal = SysAllocStringLen(u"a\0b", 3);
    const Variant copy(*v.get());
    EXPECT_EQ(SysStringLen(copy->bstrVal), 3u);
    EXPECT_EQ(copy->bstrVal[2], u'b');
}

TEST(VariantOwnershipTest, CopyIntoAnOccupiedDestinationFreesWhatItHeld) {
    Variant destination = HoldingStrings({u"old"});
    const Variant source = Variant::I4(5);
    ASSERT_EQ(VariantCopy(destination.get(), source.get()), S_OK);  // old array freed (ASan)
    EXPECT_EQ(destination.vt(), VT_I4);
    EXPECT_EQ(destination->lVal, 5);
    EXPECT_EQ(VariantCopy(destination.get(), destination.get()), S_OK);
    EXPECT_EQ(destination->lVal, 5);
}

TEST(VariantOwnershipTest, LockedArrayIsNotCleared) {
    Variant v = HoldingStrings({u"x"});
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(v->parray, &data), S_OK);
    EXPECT_EQ(VariantClear(v.get()), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(v.vt(), VT_ARRAY | VT_BSTR);
    ASSERT_EQ(SafeArrayUnaccessData(v->parray), S_OK);
    EXPECT_EQ(VariantClear(v.get()), S_OK);
}

TEST(VariantOwnershipTest, InvalidTypesAreRefused) {
    VARIANT bad;
    bad.vt = 0x7F;
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
    Variant destination;
    EXPECT_EQ(VariantCopy(destination.get(), &bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(VariantOwnershipTest, ByReferenceIsNotOwned) {
    BSTR text = SysAllocString(u"referenced");
    VARIANT reference;
    reference.vt = VT_BSTR | VT_BYREF;
    reference.byref = &text;
    Variant copy;
    ASSERT_EQ(VariantCopy(copy.get(), &reference), S_OK);
    EXPECT_EQ(copy->byref, &text) << "a reference copies as the reference";
    copy.clear();  // must not free the referenced string

    Variant value;
    ASSERT_EQ(VariantCopyInd(value.get(), &reference), S_OK);
    ASSERT_EQ(value.vt(), VT_BSTR);
    EXPECT_NE(value->bstrVal, text);
    EXPECT_EQ(Utf8FromBstr(value->bstrVal), "referenced");
    SysFreeString(text);
}

TEST(VariantOwnershipTest, OwnerMovesAndReleases) {
    Variant a = Variant::Str("moved");
    BSTR held = a->bstrVal;
    Variant b(std::move(a));
    EXPECT_EQ(a.vt(), VT_EMPTY);
    EXPECT_EQ(b->bstrVal, held);

    Variant c;
    c = std::move(b);
    EXPECT_EQ(c->bstrVal, held);

    VARIANT raw = c.release();
    EXPECT_EQ(c.vt(), VT_EMPTY);
    EXPECT_EQ(raw.bstrVal, held);
    Variant adopted = Variant::Adopt(raw);
    EXPECT_EQ(raw.vt, VT_EMPTY);
    EXPECT_EQ(adopted->bstrVal, held);
}

}  // namespace

// The owners of what callees hand back: nothing they hold outlives them, whichever way the
// caller leaves (LeakSanitizer shows a leak), and a handed-over block is no longer theirs.
TEST(VariantOwnershipTest, TaskMemArrayFreesItsBlockAndWhatItsFilledElementsOwn) {
    static int cleared = 0;
    cleared = 0;
    const auto clearValue = [](VARIANT& value) {
        ++cleared;
        VariantClear(&value);
    };
    {
        TaskMemArray<VARIANT> values(clearValue);
        *values.put() = CoTaskMemAllocArray<VARIANT>(3);  // as a callee fills the slot
        values.put();                                     // a second call's slot: the first block is freed first
        EXPECT_EQ(cleared, 0) << "no element was said to be filled";
        *values.put() = CoTaskMemAllocArray<VARIANT>(2);
        values.SetFilled(2);
        values[1] = Variant::Str("freed with the array").release();
    }
    EXPECT_EQ(cleared, 2);

    TaskMemArray<HRESULT> errors(CoTaskMemAllocArray<HRESULT>(1), 1);
    HRESULT* handedOver = errors.Release();
    EXPECT_FALSE(errors);
    CoTaskMemFree(handedOver);

    VariantArray batch;
    VARIANT text = Variant::Str("adopted").release();
    batch.Adopt(text);
    EXPECT_EQ(text.vt, VT_EMPTY);
    EXPECT_EQ(batch.size(), 1u);
    EXPECT_EQ(batch.data()[0].vt, VT_BSTR);
}
