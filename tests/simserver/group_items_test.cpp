// IOPCItemMgt and IEnumOPCItemAttributes of the simulation server's groups.
#include <algorithm>
#include <functional>
#include <string_view>

#include "group_test_support.h"
#include "platform/com/safearray.h"

namespace simserver::test {
namespace {

struct AddCase {
    const char16_t* itemId;
    const char16_t* accessPath;
    VARTYPE requested;
    HRESULT expected;
    VARTYPE canonical;  // when added
    DWORD rights;
};

constexpr DWORD kR = OPC_READABLE;
constexpr DWORD kRW = OPC_READABLE | OPC_WRITEABLE;
constexpr VARTYPE kBogusType = 0x0FFE;

const AddCase kAddCases[] = {
    // Every type the address space serves, in its canonical type.
    {u"Writable.I1", nullptr, VT_EMPTY, S_OK, VT_I1, kRW},
    {u"Writable.UI1", nullptr, VT_EMPTY, S_OK, VT_UI1, kRW},
    {u"Writable.I2", nullptr, VT_EMPTY, S_OK, VT_I2, kRW},
    {u"Writable.UI2", nullptr, VT_EMPTY, S_OK, VT_UI2, kRW},
    {u"Writable.I4", nullptr, VT_EMPTY, S_OK, VT_I4, kRW},
    {u"Writable.UI4", nullptr, VT_EMPTY, S_OK, VT_UI4, kRW},
    {u"Writable.I8", nullptr, VT_EMPTY, S_OK, VT_I8, kRW},
    {u"Writable.UI8", nullptr, VT_EMPTY, S_OK, VT_UI8, kRW},
    {u"Writable.R4", nullptr, VT_EMPTY, S_OK, VT_R4, kRW},
    {u"Writable.R8", nullptr, VT_EMPTY, S_OK, VT_R8, kRW},
    {u"Writable.BOOL", nullptr, VT_EMPTY, S_OK, VT_BOOL, kRW},
    {u"Writable.BSTR", nullptr, VT_EMPTY, S_OK, VT_BSTR, kRW},
    {u"Writable.DATE", nullptr, VT_EMPTY, S_OK, VT_DATE, kRW},
    {u"Writable.CY", nullptr, VT_EMPTY, S_OK, VT_CY, kRW},
    {u"Ramp.I4", nullptr, VT_EMPTY, S_OK, VT_I4, kR},
    {u"Array.R4", nullptr, VT_EMPTY, S_OK, VT_ARRAY | VT_R4, kR},
    {u"Array2D.I2", nullptr, VT_EMPTY, S_OK, VT_ARRAY | VT_I2, kR},
    {u"Writable.Array.UI2", nullptr, VT_EMPTY, S_OK, VT_ARRAY | VT_UI2, kRW},
    {u"Device1.D100.03", nullptr, VT_EMPTY, S_OK, VT_BOOL, kRW},
    {u"Device1.D100", u"Primary", VT_EMPTY, S_OK, VT_UI2, kRW},
    // Requested types, delivered through conversion.
    {u"Writable.I4", nullptr, VT_R8, S_OK, VT_I4, kRW},
    {u"Writable.R8", nullptr, VT_BSTR, S_OK, VT_R8, kRW},
    {u"Writable.Array.I2", nullptr, VT_ARRAY | VT_R8, S_OK, VT_ARRAY | VT_I2, kRW},
    // Types the values cannot take.
    {u"Text.Static", nullptr, VT_I4, OPC_E_BADTYPE, 0, 0},
    {u"Writable.Array.I4", nullptr, VT_I4, OPC_E_BADTYPE, 0, 0},
    {u"Writable.I4", nullptr, VT_ARRAY | VT_I4, OPC_E_BADTYPE, 0, 0},
    {u"Writable.I4", nullptr, VT_DISPATCH, OPC_E_BADTYPE, 0, 0},
    {u"Writable.I4", nullptr, kBogusType, OPC_E_BADTYPE, 0, 0},
    // ItemIDs and access paths the server does not know.
    {u"No.Such.Item", nullptr, VT_EMPTY, OPC_E_UNKNOWNITEMID, 0, 0},
    {u"", nullptr, VT_EMPTY, OPC_E_INVALIDITEMID, 0, 0},
    {u"Bad..Id", nullptr, VT_EMPTY, OPC_E_INVALIDITEMID, 0, 0},
    {u"Device1.D100", u"Nowhere", VT_EMPTY, OPC_E_UNKNOWNPATH, 0, 0},
    // The fault knob: an item whose add is configured to fail.
    {u"Ramp.UI2", nullptr, VT_EMPTY, OPC_E_UNKNOWNITEMID, 0, 0},
};

class GroupItemsTest : public GroupTest {
protected:
    void SetUp() override {
        GroupTest::SetUp();
        config->addErrors["Ramp.UI2"] = OPC_E_UNKNOWNITEMID;
        MakeTable();
        group = AddGroup<IOPCItemMgt>(u"items", true, 10, 5);
    }

    std::vector<OPCITEMDEF> Defs(const AddCase* cases, std::size_t n, std::vector<std::u16string>* keep) {
        keep->clear();
        keep->reserve(2 * n);
        std::vector<OPCITEMDEF> defs(n);
        for (std::size_t i = 0; i < n; ++i) {
            keep->emplace_back(cases[i].itemId);
            defs[i].szItemID = keep->back().data();
            if (cases[i].accessPath) {
                keep->emplace_back(cases[i].accessPath);
                defs[i].szAccessPath = keep->back().data();
            }
            defs[i].bActive = TRUE;
            defs[i].hClient = static_cast<OPCHANDLE>(100 + i);
            defs[i].vtRequestedDataType = cases[i].requested;
        }
        return defs;
    }

    ComPtr<IOPCItemMgt> group;
};

TEST_F(GroupItemsTest, AddItemsJudgesEveryDefinitionAndDeliversTheRequestedTypes) {
    auto sink = MakeComObject<DataCallbackSink>();
    AdviseCallback(group.get(), sink);

    constexpr std::size_t n = std::size(kAddCases);
    std::vector<std::u16string> keep;
    std::vector<OPCITEMDEF> defs = Defs(kAddCases, n, &keep);
    TaskArray<OPCITEMRESULT> results;
    TaskArray<HRESULT> errors;
    ASSERT_EQ(group->AddItems(n, defs.data(), results.put(), errors.put()), S_FALSE);

    std::vector<OPCHANDLE> serverHandles;
    for (std::size_t i = 0; i < n; ++i) {
        const AddCase& c = kAddCases[i];
        SCOPED_TRACE(testing::Message() << "item " << i);
        EXPECT_EQ(errors[i], c.expected);
        if (FAILED(c.expected)) continue;
        EXPECT_EQ(results[i].vtCanonicalDataType, c.canonical);
        EXPECT_EQ(results[i].dwAccessRights, c.rights);
        EXPECT_EQ(results[i].dwBlobSize, 0u);
        EXPECT_EQ(results[i].pBlob, nullptr);
        EXPECT_NE(results[i].hServer, 0u);
        serverHandles.push_back(results[i].hServer);
    }
    std::sort(serverHandles.begin(), serverHandles.end());
    EXPECT_EQ(std::adjacent_find(serverHandles.begin(), serverHandles.end()), serverHandles.end())
        << "server handles are unique";

    // The first update sends every added item at once, each in the type it was asked for.
    ASSERT_TRUE(sink->WaitForCalls(CallKind::DataChange, 1));
    const CallbackRecord first = std::move(sink->Calls().front());
    EXPECT_EQ(first.items.size(), serverHandles.size());
    for (const auto& item : first.items) {
        ASSERT_GE(item.clientHandle, 100u);
        ASSERT_LT(item.clientHandle - 100, n);
        const AddCase& c = kAddCases[item.clientHandle - 100];
        EXPECT_EQ(item.value->vt, c.requested == VT_EMPTY ? c.canonical : c.requested)
            << "client handle " << item.clientHandle;
        EXPECT_EQ(item.error, S_OK);
    }
}

TEST_F(GroupItemsTest, ValidateItemsJudgesLikeAddItemsButAddsNothing) {
    constexpr std::size_t n = std::size(kAddCases);
    std::vector<std::u16string> keep;
    std::vector<OPCITEMDEF> defs = Defs(kAddCases, n, &keep);
    TaskArray<OPCITEMRESULT> results;
    TaskArray<HRESULT> errors;
    ASSERT_EQ(group->ValidateItems(n, defs.data(), FALSE, results.put(), errors.put()), S_FALSE);
    for (std::size_t i = 0; i < n; ++i) {
        EXPECT_EQ(errors[i], kAddCases[i].expected) << "item " << i;
        if (SUCCEEDED(errors[i])) {
            EXPECT_EQ(results[i].vtCanonicalDataType, kAddCases[i].canonical);
        }
    }
    ComPtr<IEnumOPCItemAttributes> items;
    EXPECT_EQ(group->CreateEnumerator(IID_IEnumOPCItemAttributes, reinterpret_cast<LPUNKNOWN*>(items.put())), S_FALSE);
    ASSERT_TRUE(items);
    TaskArray<OPCITEMATTRIBUTES> attributes;
    ULONG fetched = 7;
    EXPECT_EQ(items->Next(1, attributes.put(), &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
}

TEST_F(GroupItemsTest, ArgumentsAreCheckedBeforeAnythingHappens) {
    OPCITEMDEF def;
    std::u16string id = u"Writable.I4";
    def.szItemID = id.data();
    OPCHANDLE handle = AddItems(group.get(), {u"Writable.I4"})[0];
    VARTYPE type = VT_R8;
    OPCITEMRESULT* results = reinterpret_cast<OPCITEMRESULT*>(1);
    HRESULT* errors = reinterpret_cast<HRESULT*>(1);
    IUnknown* unknown = nullptr;
    struct Case {
        const char* name;
        std::function<HRESULT()> call;
        HRESULT expected;
    };
    const Case cases[] = {
        {"AddItems count 0", [&] { return group->AddItems(0, &def, &results, &errors); }, E_INVALIDARG},
        {"AddItems no definitions", [&] { return group->AddItems(1, nullptr, &results, &errors); }, E_INVALIDARG},
        {"AddItems no result pointer", [&] { return group->AddItems(1, &def, nullptr, &errors); }, E_POINTER},
        {"AddItems no error pointer", [&] { return group->AddItems(1, &def, &results, nullptr); }, E_POINTER},
        {"ValidateItems count 0", [&] { return group->ValidateItems(0, &def, FALSE, &results, &errors); },
         E_INVALIDARG},
        {"RemoveItems count 0", [&] { return group->RemoveItems(0, &handle, &errors); }, E_INVALIDARG},
        {"RemoveItems no handles", [&] { return group->RemoveItems(1, nullptr, &errors); }, E_INVALIDARG},
        {"RemoveItems no error pointer", [&] { return group->RemoveItems(1, &handle, nullptr); }, E_POINTER},
        {"SetActiveState count 0", [&] { return group->SetActiveState(0, &handle, TRUE, &errors); }, E_INVALIDARG},
        {"SetActiveState no handles", [&] { return group->SetActiveState(1, nullptr, TRUE, &errors); }, E_INVALIDARG},
        {"SetClientHandles no client handles", [&] { return group->SetClientHandles(1, &handle, nullptr, &errors); },
         E_INVALIDARG},
        {"SetClientHandles no error pointer", [&] { return group->SetClientHandles(1, &handle, &handle, nullptr); },
         E_POINTER},
        {"SetDatatypes no types", [&] { return group->SetDatatypes(1, &handle, nullptr, &errors); }, E_INVALIDARG},
        {"SetDatatypes count 0", [&] { return group->SetDatatypes(0, &handle, &type, &errors); }, E_INVALIDARG},
        {"CreateEnumerator other interface", [&] { return group->CreateEnumerator(IID_IOPCItemMgt, &unknown); },
         E_NOINTERFACE},
        {"CreateEnumerator no out pointer",
         [&] { return group->CreateEnumerator(IID_IEnumOPCItemAttributes, nullptr); }, E_POINTER},
    };
    for (const auto& c : cases) {
        results = reinterpret_cast<OPCITEMRESULT*>(1);
        errors = reinterpret_cast<HRESULT*>(1);
        EXPECT_EQ(c.call(), c.expected) << c.name;
        // An error array pointer that was given is cleared, never left dangling.
        const std::string_view name(c.name);
        if (name.find("no error") == std::string_view::npos &&
            name.find("CreateEnumerator") == std::string_view::npos) {
            EXPECT_EQ(errors, nullptr) << c.name;
        }
    }
    EXPECT_EQ(unknown, nullptr);
}

TEST_F(GroupItemsTest, UnknownAndRepeatedHandlesFailPerItem) {
    const std::vector<OPCHANDLE> handles = AddItems(group.get(), {u"Writable.I4", u"Writable.R8"});
    auto other = AddGroup<IOPCItemMgt>(u"other");
    const OPCHANDLE foreign = AddItems(other.get(), {u"Writable.I4"})[0];

    struct Case {
        const char* name;
        std::function<HRESULT(DWORD, OPCHANDLE*, HRESULT**)> call;
    };
    OPCHANDLE clients[3] = {1, 2, 3};
    VARTYPE types[3] = {VT_R4, VT_R4, VT_R4};
    const Case cases[] = {
        {"SetActiveState", [&](DWORD n, OPCHANDLE* h, HRESULT** e) { return group->SetActiveState(n, h, FALSE, e); }},
        {"SetClientHandles",
         [&](DWORD n, OPCHANDLE* h, HRESULT** e) { return group->SetClientHandles(n, h, clients, e); }},
        {"SetDatatypes", [&](DWORD n, OPCHANDLE* h, HRESULT** e) { return group->SetDatatypes(n, h, types, e); }},
    };
    for (const auto& c : cases) {
        OPCHANDLE list[3] = {handles[0], 0xDEADBEEF, foreign};
        TaskArray<HRESULT> errors;
        EXPECT_EQ(c.call(3, list, errors.put()), S_FALSE) << c.name;
        EXPECT_EQ(errors[0], S_OK) << c.name;
        EXPECT_EQ(errors[1], OPC_E_INVALIDHANDLE) << c.name;
        EXPECT_EQ(errors[2], OPC_E_INVALIDHANDLE) << c.name;
    }

    OPCHANDLE removal[4] = {handles[0], 0, handles[0], foreign};
    TaskArray<HRESULT> errors;
    EXPECT_EQ(group->RemoveItems(4, removal, errors.put()), S_FALSE);
    EXPECT_EQ(errors[0], S_OK);
    EXPECT_EQ(errors[1], OPC_E_INVALIDHANDLE);
    EXPECT_EQ(errors[2], OPC_E_INVALIDHANDLE) << "removed already";
    EXPECT_EQ(errors[3], OPC_E_INVALIDHANDLE);

    // The removed item is gone for every later call; the other stays.
    OPCHANDLE both[2] = {handles[0], handles[1]};
    TaskArray<HRESULT> later;
    EXPECT_EQ(group->SetActiveState(2, both, TRUE, later.put()), S_FALSE);
    EXPECT_EQ(later[0], OPC_E_INVALIDHANDLE);
    EXPECT_EQ(later[1], S_OK);
}

TEST_F(GroupItemsTest, SetDatatypesRejectsTypesTheValueCannotTakeAndKeepsTheOldOne) {
    const OPCHANDLE text = AddItems(group.get(), {u"Text.Static"})[0];
    const OPCHANDLE number = AddItems(group.get(), {u"Writable.I4"})[0];
    OPCHANDLE list[3] = {text, number, number};
    VARTYPE types[3] = {VT_I4, VT_BSTR, kBogusType};
    TaskArray<HRESULT> errors;
    EXPECT_EQ(group->SetDatatypes(3, list, types, errors.put()), S_FALSE);
    EXPECT_EQ(errors[0], OPC_E_BADTYPE);
    EXPECT_EQ(errors[1], S_OK);
    EXPECT_EQ(errors[2], OPC_E_BADTYPE);

    auto io = ComPtr<IOPCItemMgt>(group).As<IOPCSyncIO>();
    TaskArray<OPCITEMSTATE> states;
    TaskArray<HRESULT> readErrors;
    ASSERT_EQ(io->Read(OPC_DS_DEVICE, 2, list, states.put(), readErrors.put()), S_OK);
    EXPECT_EQ(states[0].vDataValue.vt, VT_BSTR) << "text keeps its type";
    EXPECT_EQ(states[1].vDataValue.vt, VT_BSTR) << "the number now arrives as text";
    for (int i = 0; i < 2; ++i) VariantClear(&states[i].vDataValue);
}

TEST_F(GroupItemsTest, TheEnumeratorListsEveryItemWithItsAttributes) {
    auto items = AddGroup<IOPCItemMgt>(u"enumerated");
    std::vector<std::u16string> ids = {u"Ramp.R8", u"Writable.BSTR", u"Device1.D101"};
    std::vector<std::u16string> keep = ids;
    std::u16string path = u"Backup";
    OPCITEMDEF defs[3];
    for (int i = 0; i < 3; ++i) {
        defs[i].szItemID = keep[i].data();
        defs[i].hClient = 500 + i;
        defs[i].bActive = i != 1;
    }
    defs[1].vtRequestedDataType = VT_BSTR;
    defs[2].szAccessPath = path.data();
    defs[2].vtRequestedDataType = VT_I4;
    TaskArray<OPCITEMRESULT> results;
    TaskArray<HRESULT> errors;
    ASSERT_EQ(items->AddItems(3, defs, results.put(), errors.put()), S_OK);

    ComPtr<IEnumOPCItemAttributes> list;
    ASSERT_EQ(items->CreateEnumerator(IID_IEnumOPCItemAttributes, reinterpret_cast<LPUNKNOWN*>(list.put())), S_OK);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        OPCITEMATTRIBUTES* a = nullptr;
        ULONG fetched = 0;
        ASSERT_EQ(list->Next(1, &a, &fetched), S_OK);
        ASSERT_EQ(fetched, 1u);
        EXPECT_EQ(std::u16string(a->szItemID), ids[i]);
        EXPECT_EQ(std::u16string(a->szAccessPath), i == 2 ? u"Backup" : u"");
        EXPECT_EQ(a->bActive, defs[i].bActive);
        EXPECT_EQ(a->hClient, defs[i].hClient);
        EXPECT_EQ(a->hServer, results[i].hServer);
        EXPECT_EQ(a->dwAccessRights, results[i].dwAccessRights);
        EXPECT_EQ(a->vtRequestedDataType, defs[i].vtRequestedDataType);
        EXPECT_EQ(a->vtCanonicalDataType, results[i].vtCanonicalDataType);
        if (i == 0) {
            // An analog item carries its EU range.
            EXPECT_EQ(a->dwEUType, OPC_ANALOG);
            ASSERT_EQ(a->vEUInfo.vt, VT_ARRAY | VT_R8);
            LONG index = 0;
            double low = -1, high = -1;
            SafeArrayGetElement(a->vEUInfo.parray, &index, &low);
            index = 1;
            SafeArrayGetElement(a->vEUInfo.parray, &index, &high);
            EXPECT_EQ(low, 0.0);
            EXPECT_EQ(high, 100.0);
        } else {
            EXPECT_EQ(a->dwEUType, OPC_NOENUM);
            EXPECT_EQ(a->vEUInfo.vt, VT_EMPTY);
        }
        CoTaskMemFree(a->szItemID);
        CoTaskMemFree(a->szAccessPath);
        VariantClear(&a->vEUInfo);
        CoTaskMemFree(a);
    }
    OPCITEMATTRIBUTES* none = reinterpret_cast<OPCITEMATTRIBUTES*>(1);
    ULONG fetched = 9;
    EXPECT_EQ(list->Next(1, &none, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(none, nullptr);

    // Reset, Skip and Clone move through the same snapshot.
    ASSERT_EQ(list->Reset(), S_OK);
    ASSERT_EQ(list->Skip(2), S_OK);
    ComPtr<IEnumOPCItemAttributes> clone;
    ASSERT_EQ(list->Clone(clone.put()), S_OK);
    for (IEnumOPCItemAttributes* e : {list.get(), clone.get()}) {
        OPCITEMATTRIBUTES* block = nullptr;
        ASSERT_EQ(e->Next(4, &block, &fetched), S_FALSE);
        ASSERT_EQ(fetched, 1u);
        EXPECT_EQ(std::u16string(block[0].szItemID), ids[2]);
        CoTaskMemFree(block[0].szItemID);
        CoTaskMemFree(block[0].szAccessPath);
        VariantClear(&block[0].vEUInfo);
        CoTaskMemFree(block);
    }
    EXPECT_EQ(list->Skip(1), S_FALSE);
}

}  // namespace
}  // namespace simserver::test
