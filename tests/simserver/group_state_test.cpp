// Group state, names, clones, public groups and the server's group table.
#include <cmath>
#include <functional>
#include <limits>

#include "group_test_support.h"
#include "platform/com/enums.h"

namespace simserver::test {
namespace {

struct State {
    DWORD rate = 0;
    BOOL active = FALSE;
    std::u16string name;
    LONG bias = 0;
    FLOAT deadband = 0;
    DWORD lcid = 0;
    OPCHANDLE client = 0, server = 0;
};

State GetState(IOPCGroupStateMgt* group) {
    State s;
    LPWSTR name = nullptr;
    EXPECT_EQ(group->GetState(&s.rate, &s.active, &name, &s.bias, &s.deadband, &s.lcid, &s.client, &s.server), S_OK);
    if (name) s.name = name;
    CoTaskMemFree(name);
    return s;
}

std::vector<std::u16string> Names(GroupTable& table, OPCENUMSCOPE scope, HRESULT* hr = nullptr) {
    ComPtr<IEnumString> names;
    const HRESULT result =
        table.CreateGroupEnumerator(scope, IID_IEnumString, reinterpret_cast<LPUNKNOWN*>(names.put()));
    if (hr) *hr = result;
    std::vector<std::u16string> out;
    if (!names) return out;
    LPOLESTR name = nullptr;
    while (names->Next(1, &name, nullptr) == S_OK) {
        out.emplace_back(name);
        CoTaskMemFree(name);
    }
    return out;
}

using GroupStateTest = GroupTest;

TEST_F(GroupStateTest, AddGroupRevisesRatesBelowTheFastestAndReportsIt) {
    struct Case {
        DWORD requested, revised;
        HRESULT hr;
    };
    const Case cases[] = {{0, 10, OPC_S_UNSUPPORTEDRATE},
                          {5, 10, OPC_S_UNSUPPORTEDRATE},
                          {10, 10, S_OK},
                          {1000, 1000, S_OK},
                          {0xFFFFFFFF, 0xFFFFFFFF, S_OK}};
    for (const auto& c : cases) {
        OPCHANDLE handle = 0;
        DWORD revised = 0;
        LONG bias = -60;
        FLOAT deadband = 12.5f;
        ComPtr<IOPCGroupStateMgt> group;
        EXPECT_EQ(table->AddGroup(nullptr, TRUE, c.requested, 4242, &bias, &deadband, 2052, &handle, &revised,
                                  IID_IOPCGroupStateMgt, reinterpret_cast<LPUNKNOWN*>(group.put())),
                  c.hr);
        EXPECT_EQ(revised, c.revised);
        ASSERT_TRUE(group);
        const State s = GetState(group.get());
        EXPECT_EQ(s.rate, c.revised);
        EXPECT_EQ(s.active, TRUE);
        EXPECT_FALSE(s.name.empty()) << "the server names unnamed groups";
        EXPECT_EQ(s.bias, -60);
        EXPECT_EQ(s.deadband, 12.5f);
        EXPECT_EQ(s.lcid, 2052u);
        EXPECT_EQ(s.client, 4242u);
        EXPECT_EQ(s.server, handle);
    }
    // Five unnamed groups, five different names.
    auto names = Names(*table, OPC_ENUM_ALL);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
    EXPECT_EQ(names.size(), 5u);
}

TEST_F(GroupStateTest, AddGroupRefusesBadArgumentsWithoutMakingAGroup) {
    auto existing = AddGroup<IUnknown>(u"taken");
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    IUnknown* unknown = nullptr;
    FLOAT tooBig = 100.5f, negative = -1.0f, nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        std::function<HRESULT()> call;
        HRESULT expected;
    };
    const Case cases[] = {
        {"duplicate name",
         [&] {
             return table->AddGroup(u"taken", TRUE, 10, 0, nullptr, nullptr, 0, &handle, &revised, IID_IUnknown,
                                    &unknown);
         },
         OPC_E_DUPLICATENAME},
        {"deadband above 100",
         [&] {
             return table->AddGroup(u"a", TRUE, 10, 0, nullptr, &tooBig, 0, &handle, &revised, IID_IUnknown, &unknown);
         },
         E_INVALIDARG},
        {"negative deadband",
         [&] {
             return table->AddGroup(u"b", TRUE, 10, 0, nullptr, &negative, 0, &handle, &revised, IID_IUnknown,
                                    &unknown);
         },
         E_INVALIDARG},
        {"NaN deadband",
         [&] {
             return table->AddGroup(u"c", TRUE, 10, 0, nullptr, &nan, 0, &handle, &revised, IID_IUnknown, &unknown);
         },
         E_INVALIDARG},
        {"unknown interface",
         [&] {
             return table->AddGroup(u"d", TRUE, 10, 0, nullptr, nullptr, 0, &handle, &revised, IID_IOPCServer,
                                    &unknown);
         },
         E_NOINTERFACE},
        {"no handle pointer",
         [&] {
             return table->AddGroup(u"e", TRUE, 10, 0, nullptr, nullptr, 0, nullptr, &revised, IID_IUnknown, &unknown);
         },
         E_POINTER},
        {"no rate pointer",
         [&] {
             return table->AddGroup(u"f", TRUE, 10, 0, nullptr, nullptr, 0, &handle, nullptr, IID_IUnknown, &unknown);
         },
         E_POINTER},
        {"no object pointer",
         [&] {
             return table->AddGroup(u"g", TRUE, 10, 0, nullptr, nullptr, 0, &handle, &revised, IID_IUnknown, nullptr);
         },
         E_POINTER},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.call(), c.expected) << c.name;
        EXPECT_EQ(unknown, nullptr) << c.name;
    }
    EXPECT_EQ(table->GroupCount(), 1u);
}

TEST_F(GroupStateTest, SetStateChangesOnlyWhatIsGiven) {
    auto group = AddGroup<IOPCGroupStateMgt>(u"state", true, 1000, 1);
    const State before = GetState(group.get());

    OPCHANDLE client = 99;
    DWORD revised = 0;
    EXPECT_EQ(group->SetState(nullptr, &revised, nullptr, nullptr, nullptr, nullptr, &client), S_OK);
    EXPECT_EQ(revised, 1000u);
    State s = GetState(group.get());
    EXPECT_EQ(s.client, 99u);
    EXPECT_EQ(s.rate, before.rate);
    EXPECT_EQ(s.active, before.active);
    EXPECT_EQ(s.lcid, before.lcid);

    DWORD rate = 3;
    BOOL active = FALSE;
    LONG bias = 120;
    FLOAT deadband = 50;
    DWORD lcid = 1031;
    EXPECT_EQ(group->SetState(&rate, &revised, &active, &bias, &deadband, &lcid, nullptr), OPC_S_UNSUPPORTEDRATE);
    EXPECT_EQ(revised, 10u);
    s = GetState(group.get());
    EXPECT_EQ(s.rate, 10u);
    EXPECT_EQ(s.active, FALSE);
    EXPECT_EQ(s.bias, 120);
    EXPECT_EQ(s.deadband, 50.0f);
    EXPECT_EQ(s.lcid, 1031u);
    EXPECT_EQ(s.client, 99u);

    // A refused change changes nothing at all.
    FLOAT bad = 101;
    active = TRUE;
    EXPECT_EQ(group->SetState(nullptr, &revised, &active, nullptr, &bad, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(GetState(group.get()).active, FALSE);

    DWORD d;
    BOOL b;
    LPWSTR n = reinterpret_cast<LPWSTR>(1);
    LONG l;
    FLOAT f;
    OPCHANDLE h;
    EXPECT_EQ(group->GetState(&d, &b, &n, &l, &f, &d, &h, nullptr), E_POINTER);
    EXPECT_EQ(n, nullptr);
}

TEST_F(GroupStateTest, SetNameKeepsNamesUnique) {
    auto first = AddGroup<IOPCGroupStateMgt>(u"first");
    auto second = AddGroup<IOPCGroupStateMgt>(u"second");
    EXPECT_EQ(second->SetName(u"first"), OPC_E_DUPLICATENAME);
    EXPECT_EQ(second->SetName(u""), E_INVALIDARG);
    EXPECT_EQ(second->SetName(nullptr), E_INVALIDARG);
    EXPECT_EQ(second->SetName(u"second"), S_OK) << "its own name again";
    EXPECT_EQ(second->SetName(u"renamed"), S_OK);
    EXPECT_EQ(GetState(second.get()).name, u"renamed");

    IUnknown* found = nullptr;
    EXPECT_EQ(table->GetGroupByName(u"second", IID_IUnknown, &found), E_INVALIDARG);
    ASSERT_EQ(table->GetGroupByName(u"renamed", IID_IOPCGroupStateMgt, &found), S_OK);
    EXPECT_EQ(found, static_cast<IUnknown*>(second.get()));
    found->Release();
    EXPECT_EQ(table->GetGroupByName(nullptr, IID_IUnknown, &found), E_INVALIDARG);
    EXPECT_EQ(table->GetGroupByName(u"renamed", IID_IUnknown, nullptr), E_POINTER);
    // The old name is free again.
    EXPECT_TRUE(AddGroup<IUnknown>(u"second"));
}

TEST_F(GroupStateTest, CloneCopiesStateAndItemsIntoAnInactiveGroupWithoutConnections) {
    OPCHANDLE sourceHandle = 0;
    auto source = AddGroup<IOPCGroupStateMgt>(u"source", true, 250, 31, &sourceHandle);
    std::vector<HRESULT> errors;
    auto handles =
        AddItems(source.get(), {u"Writable.I4", u"Writable.R8", u"Text.Static"}, &errors, VT_EMPTY, true, 600);
    auto sourceItems = source.As<IOPCItemMgt>();
    VARTYPE text = VT_BSTR;
    TaskArray<HRESULT> typeErrors, activeErrors;
    ASSERT_EQ(sourceItems->SetDatatypes(1, &handles[1], &text, typeErrors.put()), S_OK);
    ASSERT_EQ(sourceItems->SetActiveState(1, &handles[2], FALSE, activeErrors.put()), S_OK);
    AdviseCallback(source.get(), MakeComObject<DataCallbackSink>());

    ComPtr<IOPCGroupStateMgt> clone;
    ASSERT_EQ(source->CloneGroup(nullptr, IID_IOPCGroupStateMgt, reinterpret_cast<LPUNKNOWN*>(clone.put())), S_OK);
    const State s = GetState(clone.get());
    EXPECT_FALSE(s.name.empty());
    EXPECT_NE(s.name, u"source");
    EXPECT_EQ(s.active, FALSE);
    EXPECT_EQ(s.rate, 250u);
    EXPECT_EQ(s.client, 31u);
    EXPECT_NE(s.server, sourceHandle);

    ComPtr<IEnumOPCItemAttributes> items;
    ASSERT_EQ(clone.As<IOPCItemMgt>()->CreateEnumerator(IID_IEnumOPCItemAttributes,
                                                        reinterpret_cast<LPUNKNOWN*>(items.put())),
              S_OK);
    OPCITEMATTRIBUTES* a = nullptr;
    ULONG fetched = 0;
    ASSERT_EQ(items->Next(3, &a, &fetched), S_OK);
    const char16_t* ids[] = {u"Writable.I4", u"Writable.R8", u"Text.Static"};
    const VARTYPE requested[] = {VT_EMPTY, VT_BSTR, VT_EMPTY};
    for (ULONG i = 0; i < fetched; ++i) {
        EXPECT_EQ(std::u16string(a[i].szItemID), ids[i]);
        EXPECT_EQ(a[i].hClient, 600 + i);
        EXPECT_EQ(a[i].bActive, i == 2 ? FALSE : TRUE);
        EXPECT_EQ(a[i].vtRequestedDataType, requested[i]);
        EXPECT_EQ(std::count(handles.begin(), handles.end(), a[i].hServer), 0) << "new server handles";
        CoTaskMemFree(a[i].szItemID);
        CoTaskMemFree(a[i].szAccessPath);
        VariantClear(&a[i].vEUInfo);
    }
    CoTaskMemFree(a);

    // Named clones, duplicates and unknown interfaces.
    IUnknown* other = nullptr;
    EXPECT_EQ(source->CloneGroup(u"source", IID_IUnknown, &other), OPC_E_DUPLICATENAME);
    EXPECT_EQ(source->CloneGroup(u"never", IID_IOPCServer, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    IUnknown* found = nullptr;
    EXPECT_EQ(table->GetGroupByName(u"never", IID_IUnknown, &found), E_INVALIDARG) << "no group is left behind";
    ASSERT_EQ(source->CloneGroup(u"named", IID_IUnknown, &other), S_OK);
    other->Release();
    EXPECT_EQ(source->CloneGroup(u"x", IID_IUnknown, nullptr), E_POINTER);

    // The clone has no connections; once active and advised it delivers its own items.
    auto cloneSink = MakeComObject<DataCallbackSink>();
    AdviseCallback(clone.get(), cloneSink);
    BOOL on = TRUE;
    DWORD revised;
    ASSERT_EQ(clone->SetState(nullptr, &revised, &on, nullptr, nullptr, nullptr, nullptr), S_OK);
    ASSERT_TRUE(cloneSink->WaitForCalls(CallKind::DataChange, 1));
    const auto first = cloneSink->Calls().front();
    EXPECT_EQ(first.group, 31u);
    EXPECT_EQ(first.items.size(), 2u) << "the inactive item stays out";
    for (const auto& item : first.items)
        EXPECT_EQ(item.value->vt, item.clientHandle == 601 ? VT_BSTR : VT_I4) << "requested types carried over";
}

TEST_F(GroupStateTest, PublicGroupsLiveInTheirOwnNamespace) {
    OPCHANDLE handle = 0;
    auto group = AddGroup<IOPCPublicGroupStateMgt>(u"shared", true, 10, 1, &handle);
    const OPCHANDLE item = AddItems(group.get(), {u"Writable.I4"})[0];
    BOOL isPublic = TRUE;
    ASSERT_EQ(group->GetState(&isPublic), S_OK);
    EXPECT_EQ(isPublic, FALSE);
    EXPECT_EQ(group->GetState(nullptr), E_POINTER);

    ASSERT_EQ(group->MoveToPublic(), S_OK);
    ASSERT_EQ(group->GetState(&isPublic), S_OK);
    EXPECT_EQ(isPublic, TRUE);
    EXPECT_EQ(group->MoveToPublic(), OPC_E_PUBLIC);

    // A public group's items and name are fixed.
    auto mgt = group.As<IOPCItemMgt>();
    std::u16string id = u"Writable.R8";
    OPCITEMDEF def;
    def.szItemID = id.data();
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    EXPECT_EQ(mgt->AddItems(1, &def, &results, &errors), OPC_E_PUBLIC);
    OPCHANDLE items[1] = {item};
    EXPECT_EQ(mgt->RemoveItems(1, items, &errors), OPC_E_PUBLIC);
    EXPECT_EQ(group.As<IOPCGroupStateMgt>()->SetName(u"other"), OPC_E_PUBLIC);

    EXPECT_EQ(Names(*table, OPC_ENUM_PRIVATE), std::vector<std::u16string>{});
    EXPECT_EQ(Names(*table, OPC_ENUM_PUBLIC), std::vector<std::u16string>{u"shared"});
    IUnknown* found = nullptr;
    EXPECT_EQ(table->GetGroupByName(u"shared", IID_IUnknown, &found), E_INVALIDARG);
    ASSERT_EQ(table->GetPublicGroupByName(u"shared", IID_IUnknown, &found), S_OK);
    found->Release();

    // A private group may take the name; it cannot follow into the public groups.
    auto twin = AddGroup<IOPCPublicGroupStateMgt>(u"shared");
    ASSERT_TRUE(twin);
    EXPECT_EQ(twin->MoveToPublic(), OPC_E_DUPLICATENAME);

    EXPECT_EQ(table->RemoveGroup(handle, TRUE), OPC_E_PUBLIC);
    group = nullptr;
    mgt = nullptr;
    EXPECT_EQ(table->RemovePublicGroup(handle, FALSE), S_OK);
    EXPECT_EQ(table->RemovePublicGroup(handle, FALSE), E_INVALIDARG);
    EXPECT_EQ(Names(*table, OPC_ENUM_PUBLIC), std::vector<std::u16string>{});
}

TEST_F(GroupStateTest, EnumeratorsCoverEachScopeAndSayWhenEmpty) {
    auto a = AddGroup<IOPCPublicGroupStateMgt>(u"a");
    auto b = AddGroup<IOPCPublicGroupStateMgt>(u"b");
    HRESULT hr = S_OK;
    EXPECT_EQ(Names(*table, OPC_ENUM_PUBLIC, &hr), std::vector<std::u16string>{});
    EXPECT_EQ(hr, S_FALSE);
    ASSERT_EQ(b->MoveToPublic(), S_OK);
    struct Case {
        OPCENUMSCOPE scope;
        std::vector<std::u16string> names;
    };
    const Case cases[] = {
        {OPC_ENUM_PRIVATE_CONNECTIONS, {u"a"}},   {OPC_ENUM_PRIVATE, {u"a"}},
        {OPC_ENUM_PUBLIC_CONNECTIONS, {u"b"}},    {OPC_ENUM_PUBLIC, {u"b"}},
        {OPC_ENUM_ALL_CONNECTIONS, {u"a", u"b"}}, {OPC_ENUM_ALL, {u"a", u"b"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Names(*table, c.scope, &hr), c.names) << c.scope;
        EXPECT_EQ(hr, S_OK);
    }

    ComPtr<IEnumUnknown> groups;
    ASSERT_EQ(table->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IEnumUnknown, reinterpret_cast<LPUNKNOWN*>(groups.put())),
              S_OK);
    IUnknown* fetched[3] = {};
    ULONG count = 0;
    EXPECT_EQ(groups->Next(3, fetched, &count), S_FALSE);
    ASSERT_EQ(count, 2u);
    for (ULONG i = 0; i < count; ++i) {
        ComPtr<IOPCGroupStateMgt> state;
        EXPECT_EQ(fetched[i]->QueryInterface(IID_IOPCGroupStateMgt, state.putVoid()), S_OK);
        fetched[i]->Release();
    }

    IUnknown* unknown = nullptr;
    EXPECT_EQ(table->CreateGroupEnumerator(static_cast<OPCENUMSCOPE>(7), IID_IEnumString, &unknown), E_INVALIDARG);
    EXPECT_EQ(table->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IOPCServer, &unknown), E_NOINTERFACE);
    EXPECT_EQ(table->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IEnumString, nullptr), E_POINTER);
    EXPECT_EQ(unknown, nullptr);
}

TEST_F(GroupStateTest, RemoveGroupRespectsReferencesUnlessForced) {
    OPCHANDLE held = 0, forced = 0, released = 0;
    auto stillHeld = AddGroup<IOPCGroupStateMgt>(u"held", true, 10, 1, &held);
    auto forcedGroup = AddGroup<IOPCGroupStateMgt>(u"forced", true, 10, 1, &forced);
    AddGroup<IUnknown>(u"released", true, 10, 1, &released);

    EXPECT_EQ(table->RemoveGroup(0xFFFFFFF0, FALSE), E_INVALIDARG);
    EXPECT_EQ(table->RemoveGroup(released, FALSE), S_OK);

    // Still referenced: it leaves the table and keeps working for its holder.
    EXPECT_EQ(table->RemoveGroup(held, FALSE), OPC_S_INUSE);
    IUnknown* found = nullptr;
    EXPECT_EQ(table->GetGroupByName(u"held", IID_IUnknown, &found), E_INVALIDARG);
    EXPECT_EQ(GetState(stillHeld.get()).name, u"held");
    EXPECT_EQ(table->RemoveGroup(held, FALSE), E_INVALIDARG);

    // Forced: it ends although referenced, and answers E_FAIL from then on.
    EXPECT_EQ(table->RemoveGroup(forced, TRUE), S_OK);
    DWORD d;
    BOOL b;
    LPWSTR n;
    LONG l;
    FLOAT f;
    OPCHANDLE h;
    EXPECT_EQ(forcedGroup->GetState(&d, &b, &n, &l, &f, &d, &h, &h), E_FAIL);
    TaskArray<OPCITEMSTATE> states;
    TaskArray<HRESULT> errors;
    OPCHANDLE any = 1;
    EXPECT_EQ(forcedGroup.As<IOPCSyncIO>()->Read(OPC_DS_DEVICE, 1, &any, states.put(), errors.put()), E_FAIL);
    EXPECT_EQ(table->GroupCount(), 0u);
}

TEST_F(GroupStateTest, WithoutConnectionPointsOnlyTheDataObjectAdvicesRemain) {
    config->groupConnectionPoints = false;
    MakeTable();
    auto group = AddGroup<IUnknown>(u"old");
    ComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(group->QueryInterface(IID_IConnectionPointContainer, container.putVoid()), E_NOINTERFACE);
    EXPECT_TRUE(group.As<IDataObject>());
    EXPECT_TRUE(group.As<IOPCAsyncIO>());
    AddItems(group.get(), {u"Writable.I4"});
    DWORD cancel = 0;
    EXPECT_EQ(group.As<IOPCAsyncIO2>()->Refresh2(OPC_DS_CACHE, 1, &cancel), CONNECT_E_NOCONNECTION);

    config->groupConnectionPoints = true;
    MakeTable();
    EXPECT_TRUE(AddGroup<IUnknown>(u"new").As<IConnectionPointContainer>());
}

}  // namespace
}  // namespace simserver::test
