// The group side of IOPCServer and IOPCServerPublicGroups as a client drives it, and the
// fault knobs that show through the groups.
#include "platform/com/variant.h"
#include "server_test_support.h"

namespace simserver::test {
namespace {

struct Added {
    HRESULT hr = E_FAIL;
    OPCHANDLE handle = 0;
    DWORD revisedRate = 0;
    ComPtr<IUnknown> group;
};

Added AddGroup(IOPCServer* server, const char16_t* name, DWORD rate, FLOAT* deadband = nullptr,
               REFIID riid = IID_IUnknown) {
    Added a;
    LONG bias = 0;
    a.hr = server->AddGroup(name, TRUE, rate, 7, &bias, deadband, 1033, &a.handle, &a.revisedRate, riid, a.group.put());
    return a;
}

std::string StateName(IUnknown* group) {
    ComPtr<IOPCGroupStateMgt> state;
    if (FAILED(group->QueryInterface(IID_IOPCGroupStateMgt, state.putVoid()))) return "<no state>";
    DWORD rate = 0, lcid = 0;
    BOOL active = FALSE;
    LPWSTR name = nullptr;
    LONG bias = 0;
    FLOAT deadband = 0;
    OPCHANDLE client = 0, server = 0;
    if (FAILED(state->GetState(&rate, &active, &name, &bias, &deadband, &lcid, &client, &server))) return "<failed>";
    return TakeString(name);
}

struct AddGroupCase {
    const char16_t* name;
    DWORD rate;
    float deadband;
    HRESULT expected;
    DWORD revised;
};

TEST(ServerGroups, AddGroupRevisesRatesAndRefusesDuplicatesAndBadDeadbands) {
    ServerConnection c = Connect(kDefaultProgId);
    const AddGroupCase cases[] = {
        {u"Fast", 0, 0, OPC_S_UNSUPPORTEDRATE, 10},
        {u"Faster", 1, 0, OPC_S_UNSUPPORTEDRATE, 10},
        {u"Exact", 10, 0, S_OK, 10},
        {u"Slow", 60000, 50, S_OK, 60000},
        {u"Fast", 100, 0, OPC_E_DUPLICATENAME, 0},
        {u"Over", 100, 100.5f, E_INVALIDARG, 0},
        {u"Under", 100, -1, E_INVALIDARG, 0},
    };
    DWORD created = 0;
    for (const auto& k : cases) {
        FLOAT deadband = k.deadband;
        const Added a = AddGroup(c.server.get(), k.name, k.rate, &deadband);
        EXPECT_EQ(a.hr, k.expected) << Utf8FromWide(k.name);
        EXPECT_EQ(a.revisedRate, k.revised) << Utf8FromWide(k.name);
        EXPECT_EQ(a.group != nullptr, SUCCEEDED(k.expected)) << Utf8FromWide(k.name);
        if (SUCCEEDED(a.hr)) {
            ++created;
            EXPECT_NE(a.handle, 0u);
            EXPECT_EQ(StateName(a.group.get()), Utf8FromWide(k.name));
        }
    }
    OPCSERVERSTATUS* status = nullptr;
    ASSERT_EQ(c.server->GetStatus(&status), S_OK);
    EXPECT_EQ(status->dwGroupCount, created);
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);

    // The server names unnamed groups, uniquely.
    const Added first = AddGroup(c.server.get(), u"", 100);
    const Added second = AddGroup(c.server.get(), nullptr, 100);
    ASSERT_EQ(first.hr, S_OK);
    ASSERT_EQ(second.hr, S_OK);
    EXPECT_FALSE(StateName(first.group.get()).empty());
    EXPECT_NE(StateName(first.group.get()), StateName(second.group.get()));
    EXPECT_NE(first.handle, second.handle);

    OPCHANDLE handle = 0;
    DWORD revised = 0;
    EXPECT_EQ(c.server->AddGroup(u"NoOut", TRUE, 100, 0, nullptr, nullptr, 0, &handle, &revised, IID_IUnknown, nullptr),
              E_POINTER);
}

TEST(ServerGroups, GetGroupByNameFindsPrivateGroups) {
    ServerConnection c = Connect(kDefaultProgId);
    const Added a = AddGroup(c.server.get(), u"Pumps", 250);
    ASSERT_EQ(a.hr, S_OK);
    ComPtr<IUnknown> found;
    ASSERT_EQ(c.server->GetGroupByName(u"Pumps", IID_IOPCGroupStateMgt, found.put()), S_OK);
    EXPECT_EQ(StateName(found.get()), "Pumps");
    EXPECT_EQ(c.server->GetGroupByName(u"pumps", IID_IOPCGroupStateMgt, found.put()), E_INVALIDARG);
    EXPECT_EQ(c.server->GetGroupByName(nullptr, IID_IOPCGroupStateMgt, found.put()), E_INVALIDARG);
    EXPECT_EQ(c.server->GetGroupByName(u"Pumps", IID_IOPCGroupStateMgt, nullptr), E_POINTER);
}

TEST(ServerGroups, RemoveGroupHonoursTheForceFlagAndClientReferences) {
    ServerConnection c = Connect(kDefaultProgId);
    Added held = AddGroup(c.server.get(), u"Held", 100);
    Added forced = AddGroup(c.server.get(), u"Forced", 100);
    Added released = AddGroup(c.server.get(), u"Released", 100);
    const OPCHANDLE releasedHandle = released.handle;
    released.group = nullptr;

    EXPECT_EQ(c.server->RemoveGroup(held.handle, FALSE), OPC_S_INUSE);
    EXPECT_EQ(c.server->RemoveGroup(forced.handle, TRUE), S_OK);
    EXPECT_EQ(c.server->RemoveGroup(releasedHandle, FALSE), S_OK);
    // Gone from the server in every case: the handles and names are free again.
    for (OPCHANDLE h : {held.handle, forced.handle, releasedHandle})
        EXPECT_EQ(c.server->RemoveGroup(h, TRUE), E_INVALIDARG);
    EXPECT_EQ(c.server->RemoveGroup(0, FALSE), E_INVALIDARG);
    EXPECT_EQ(AddGroup(c.server.get(), u"Held", 100).hr, S_OK);
}

TEST(ServerGroups, EnumeratorsListTheGroupsOfEachScope) {
    ServerConnection c = Connect(kDefaultProgId);
    Added a = AddGroup(c.server.get(), u"A", 100);
    Added b = AddGroup(c.server.get(), u"B", 100);
    ComPtr<IOPCPublicGroupStateMgt> toPublic = ComPtr<IUnknown>(b.group).As<IOPCPublicGroupStateMgt>();
    ASSERT_TRUE(toPublic);
    ASSERT_EQ(toPublic->MoveToPublic(), S_OK);

    struct Case {
        OPCENUMSCOPE scope;
        HRESULT expected;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {OPC_ENUM_PRIVATE, S_OK, {"A"}},
        {OPC_ENUM_PUBLIC, S_OK, {"B"}},
        {OPC_ENUM_ALL, S_OK, {"A", "B"}},
        {OPC_ENUM_PRIVATE_CONNECTIONS, S_OK, {"A"}},
        {OPC_ENUM_ALL_CONNECTIONS, S_OK, {"A", "B"}},
        {static_cast<OPCENUMSCOPE>(0), E_INVALIDARG, {}},
        {static_cast<OPCENUMSCOPE>(7), E_INVALIDARG, {}},
    };
    for (const auto& k : cases) {
        ComPtr<IUnknown> e;
        EXPECT_EQ(c.server->CreateGroupEnumerator(k.scope, IID_IEnumString, e.put()), k.expected) << k.scope;
        EXPECT_EQ(ReadAll(e.As<IEnumString>().get()), k.names) << k.scope;

        // By object: the same groups, named by their own state.
        ComPtr<IUnknown> objects;
        EXPECT_EQ(c.server->CreateGroupEnumerator(k.scope, IID_IEnumUnknown, objects.put()), k.expected);
        std::vector<std::string> names;
        if (auto groups = objects.As<IEnumUnknown>()) {
            IUnknown* group = nullptr;
            ULONG fetched = 0;
            while (groups->Next(1, &group, &fetched) == S_OK) {
                names.push_back(StateName(group));
                group->Release();
            }
        }
        EXPECT_EQ(names, k.names) << k.scope;
    }
    ComPtr<IUnknown> e;
    EXPECT_EQ(c.server->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IOPCItemMgt, e.put()), E_NOINTERFACE);

    // Public groups are found and removed through IOPCServerPublicGroups.
    ComPtr<IUnknown> found;
    EXPECT_EQ(c.publicGroups->GetPublicGroupByName(u"B", IID_IUnknown, found.put()), S_OK);
    EXPECT_EQ(c.publicGroups->GetPublicGroupByName(u"A", IID_IUnknown, found.put()), E_INVALIDARG);
    found = nullptr;
    b.group = nullptr;
    toPublic = nullptr;
    EXPECT_EQ(c.publicGroups->RemovePublicGroup(b.handle, FALSE), S_OK);
    ComPtr<IUnknown> none;
    EXPECT_EQ(c.server->CreateGroupEnumerator(OPC_ENUM_PUBLIC, IID_IEnumString, none.put()), S_FALSE);
    EXPECT_TRUE(ReadAll(none.As<IEnumString>().get()).empty());
}

// --- fault knobs that show through the groups ----------------------------------------------

TEST(ServerGroupFaults, Da10ServerGroupsHaveNoConnectionPoints) {
    for (const char* progId : {kDefaultProgId, kDa10ProgId}) {
        ServerConnection c = Connect(progId);
        Added a = AddGroup(c.server.get(), u"G", 100);
        ASSERT_EQ(a.hr, S_OK);
        const bool da20 = std::string(progId) == kDefaultProgId;
        EXPECT_EQ(static_cast<bool>(a.group.As<IConnectionPointContainer>()), da20) << progId;
        EXPECT_TRUE(a.group.As<IOPCAsyncIO>()) << progId;
        EXPECT_TRUE(a.group.As<IOPCItemMgt>()) << progId;
    }
}

struct ItemResult {
    HRESULT call = E_FAIL;
    HRESULT item = E_FAIL;
    OPCHANDLE handle = 0;
};

ItemResult AddItem(IOPCItemMgt* items, const char16_t* itemId, VARTYPE requested = VT_EMPTY) {
    std::u16string id = itemId;
    OPCITEMDEF def;
    def.szItemID = id.data();
    def.bActive = TRUE;
    def.hClient = 1;
    def.vtRequestedDataType = requested;
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    ItemResult r;
    r.call = items->AddItems(1, &def, &results, &errors);
    if (errors) r.item = errors[0];
    if (results) r.handle = results[0].hServer;
    if (results) CoTaskMemFree(results[0].pBlob);
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    return r;
}

TEST(ServerGroupFaults, ConfiguredItemsFailToAddAndToWrite) {
    SimConfig config;
    config.loadTagCount = 0;
    config.addErrors["Ramp.I4"] = OPC_E_UNKNOWNITEMID;
    config.addErrors["Bad Item"] = OPC_E_INVALIDITEMID;
    config.writeErrors["Writable.I2"] = E_FAIL;
    RegisterSimulationServer("Test.Groups.Faults", config);
    ServerConnection c = Connect("Test.Groups.Faults");
    Added g = AddGroup(c.server.get(), u"G", 100);
    ComPtr<IOPCItemMgt> items = g.group.As<IOPCItemMgt>();
    ASSERT_TRUE(items);

    struct Case {
        const char16_t* itemId;
        HRESULT error;
    };
    for (const auto& k : {Case{u"Ramp.I4", OPC_E_UNKNOWNITEMID}, Case{u"Bad Item", OPC_E_INVALIDITEMID},
                          Case{u"Ramp.I2", S_OK}, Case{u"Writable.I2", S_OK}}) {
        const ItemResult r = AddItem(items.get(), k.itemId);
        EXPECT_EQ(r.item, k.error) << Utf8FromWide(k.itemId);
    }

    ComPtr<IOPCSyncIO> io = g.group.As<IOPCSyncIO>();
    const OPCHANDLE failing = AddItem(items.get(), u"Writable.I2").handle;
    const OPCHANDLE working = AddItem(items.get(), u"Writable.I4").handle;
    OPCHANDLE handles[] = {failing, working};
    VARIANT values[2];
    values[0].vt = values[1].vt = VT_I4;
    values[0].lVal = values[1].lVal = 5;
    HRESULT* errors = nullptr;
    EXPECT_EQ(io->Write(2, handles, values, &errors), S_FALSE);
    ASSERT_NE(errors, nullptr);
    EXPECT_EQ(errors[0], E_FAIL);
    EXPECT_EQ(errors[1], S_OK);
    CoTaskMemFree(errors);

    // A write through a group makes the server's configuration file dirty.
    EXPECT_EQ(c.persist->IsDirty(), S_OK);
}

}  // namespace
}  // namespace simserver::test
