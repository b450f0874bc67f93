// IOPCBrowseServerAddressSpace of the simulation server, hierarchical and flat, driven the
// way a browsing client drives it.
#include <algorithm>

#include "server_test_support.h"

namespace simserver::test {
namespace {

using Names = std::vector<std::string>;

bool Contains(const Names& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

class BrowseHierarchical : public ::testing::Test {
protected:
    void SetUp() override {
        conn_ = Connect(kDefaultProgId);
        ASSERT_TRUE(conn_.browse);
        browse_ = conn_.browse.get();
    }

    // BrowseOPCItemIDs, its result and the names.
    HRESULT Browse(OPCBROWSETYPE type, const char16_t* filter, VARTYPE vt, DWORD rights, Names* names) {
        ComPtr<IEnumString> e;
        const HRESULT hr = browse_->BrowseOPCItemIDs(type, filter, vt, rights, e.put());
        *names = ReadAll(e.get());
        if (SUCCEEDED(hr)) {
            EXPECT_TRUE(e) << "an enumerator comes with every success, S_FALSE included";
        }
        return hr;
    }

    void ToRoot() {
        while (SUCCEEDED(browse_->ChangeBrowsePosition(OPC_BROWSE_UP, u""))) {}
    }

    ServerConnection conn_;
    IOPCBrowseServerAddressSpace* browse_ = nullptr;
};

TEST_F(BrowseHierarchical, OrganizationAndTheRootBranches) {
    OPCNAMESPACETYPE type = OPC_NS_FLAT;
    ASSERT_EQ(browse_->QueryOrganization(&type), S_OK);
    EXPECT_EQ(type, OPC_NS_HIERARCHIAL);
    EXPECT_EQ(browse_->QueryOrganization(nullptr), E_POINTER);

    Names names;
    ASSERT_EQ(Browse(OPC_BRANCH, u"", VT_EMPTY, 0, &names), S_OK);
    EXPECT_EQ(names, (Names{"Array", "Array2D", "Device1", "Load", "Plant", "Quality", "Ramp", "Random", "Sine",
                            "Square", "Text", "Writable"}));
    EXPECT_EQ(Browse(OPC_LEAF, u"*", VT_EMPTY, 0, &names), S_FALSE);
    EXPECT_TRUE(names.empty());
}

struct PositionStep {
    OPCBROWSEDIRECTION direction;
    const char16_t* name;
    HRESULT expected;
    const char* positionAfter;  // GetItemID("") afterwards
};

TEST_F(BrowseHierarchical, ChangeBrowsePositionMovesUpDownAndTo) {
    const PositionStep steps[] = {
        {OPC_BROWSE_UP, u"", E_FAIL, ""},  // already at the root
        {OPC_BROWSE_DOWN, u"Device1", S_OK, "Device1"},
        {OPC_BROWSE_DOWN, u"D100", S_OK, "Device1.D100"},        // an item that also has bit items
        {OPC_BROWSE_DOWN, u"05", E_INVALIDARG, "Device1.D100"},  // a leaf
        {OPC_BROWSE_UP, nullptr, S_OK, "Device1"},
        {OPC_BROWSE_DOWN, u"Nothing", E_INVALIDARG, "Device1"},
        {OPC_BROWSE_DOWN, nullptr, E_INVALIDARG, "Device1"},
        {OPC_BROWSE_TO, u"Writable.Array", S_OK, "Writable.Array"},
        {OPC_BROWSE_TO, u"Writable.I4", E_INVALIDARG, "Writable.Array"},
        {OPC_BROWSE_TO, u"Writable..Array", E_INVALIDARG, "Writable.Array"},
        {OPC_BROWSE_TO, u"", S_OK, ""},
        {OPC_BROWSE_TO, u"Plant.PUMP1", S_OK, "Plant.PUMP1"},
        {OPC_BROWSE_TO, nullptr, S_OK, ""},
        {static_cast<OPCBROWSEDIRECTION>(7), u"Plant", E_INVALIDARG, ""},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(browse_->ChangeBrowsePosition(s.direction, s.name), s.expected)
            << s.direction << " " << Utf8FromWide(s.name);
        LPWSTR position = nullptr;
        ASSERT_EQ(browse_->GetItemID(const_cast<LPWSTR>(u""), &position), S_OK);
        EXPECT_EQ(TakeString(position), s.positionAfter) << s.direction << " " << Utf8FromWide(s.name);
    }
}

struct BrowseCase {
    const char16_t* position;  // fully qualified branch
    OPCBROWSETYPE type;
    const char16_t* filter;
    VARTYPE vt;
    DWORD rights;
    HRESULT expected;
    Names names;  // exactly these, in this order; empty with S_FALSE
};

TEST_F(BrowseHierarchical, BrowseOPCItemIDsFiltersByNameTypeAndRights) {
    const BrowseCase cases[] = {
        {u"Ramp", OPC_BRANCH, u"*", VT_EMPTY, 0, S_FALSE, {}},
        {u"Ramp", OPC_LEAF, u"*", VT_EMPTY, 0, S_OK, {"I1", "I2", "I4", "I8", "R4", "R8", "UI1", "UI2", "UI4", "UI8"}},
        {u"Ramp", OPC_LEAF, u"UI#", VT_EMPTY, 0, S_OK, {"UI1", "UI2", "UI4", "UI8"}},
        {u"Ramp", OPC_LEAF, u"[IR]?", VT_EMPTY, 0, S_OK, {"I1", "I2", "I4", "I8", "R4", "R8"}},
        {u"Ramp", OPC_LEAF, nullptr, VT_R8, 0, S_OK, {"R8"}},
        {u"Ramp", OPC_LEAF, u"*", VT_BSTR, 0, S_FALSE, {}},
        {u"Ramp", OPC_LEAF, u"*", VT_EMPTY, OPC_WRITEABLE, S_FALSE, {}},
        {u"Writable", OPC_BRANCH, u"*", VT_EMPTY, 0, S_OK, {"Array", "Array2D"}},
        {u"Writable",
         OPC_LEAF,
         u"*",
         VT_EMPTY,
         OPC_READABLE,
         S_OK,
         {"BOOL", "BSTR", "CY", "DATE", "I1", "I2", "I4", "I8", "R4", "R8", "Tag", "UI1", "UI2", "UI4", "UI8"}},
        {u"Writable", OPC_LEAF, u"W*", VT_EMPTY, OPC_WRITEABLE, S_OK, {"WriteOnly"}},
        {u"Writable", OPC_LEAF, u"W*", VT_EMPTY, OPC_READABLE, S_FALSE, {}},
        {u"Writable.Array", OPC_LEAF, u"*", VT_ARRAY | VT_R4, 0, S_OK, {"R4"}},
        {u"Device1",
         OPC_BRANCH,
         u"D10?",
         VT_EMPTY,
         0,
         S_OK,
         {"D100", "D101", "D102", "D103", "D104", "D105", "D106", "D107", "D108", "D109"}},
        {u"Device1.D100", OPC_LEAF, u"1*", VT_BOOL, 0, S_OK, {"10", "11", "12", "13", "14", "15"}},
        {u"Plant", OPC_BRANCH, u"", VT_EMPTY, 0, S_OK, {"PUMP1"}},
        {u"Plant", OPC_LEAF, u"PUMP1_U*", VT_EMPTY, 0, S_OK, {"PUMP1_UNIT", "PUMP1_UNITS", "PUMP1_USEN"}},
        {u"Plant", OPC_LEAF, u"*_UNIT", VT_EMPTY, 0, S_OK, {"PUMP1_UNIT", "TANK1_UNIT"}},
        {u"Plant.PUMP1", OPC_LEAF, u"*", VT_EMPTY, 0, S_OK, {"UNIT"}},
        {u"Device1.D115",
         OPC_FLAT,
         u"*",
         VT_EMPTY,
         0,
         S_OK,
         {"Device1.D115.00", "Device1.D115.01", "Device1.D115.02", "Device1.D115.03", "Device1.D115.04",
          "Device1.D115.05", "Device1.D115.06", "Device1.D115.07", "Device1.D115.08", "Device1.D115.09",
          "Device1.D115.10", "Device1.D115.11", "Device1.D115.12", "Device1.D115.13", "Device1.D115.14",
          "Device1.D115.15"}},
        {u"Plant", OPC_FLAT, u"*.UNIT", VT_EMPTY, 0, S_OK, {"Plant.PUMP1.UNIT"}},
        {u"Array2D", OPC_FLAT, u"*", VT_ARRAY | VT_I2, 0, S_OK, {"Array2D.I2"}},
        {u"Ramp", OPC_LEAF, u"[", VT_EMPTY, 0, OPC_E_INVALIDFILTER, {}},
        {u"Ramp", static_cast<OPCBROWSETYPE>(0), u"*", VT_EMPTY, 0, E_INVALIDARG, {}},
        {u"Ramp", static_cast<OPCBROWSETYPE>(4), u"*", VT_EMPTY, 0, E_INVALIDARG, {}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(browse_->ChangeBrowsePosition(OPC_BROWSE_TO, c.position), S_OK) << Utf8FromWide(c.position);
        Names names;
        EXPECT_EQ(Browse(c.type, c.filter, c.vt, c.rights, &names), c.expected)
            << Utf8FromWide(c.position) << " type " << c.type << " filter " << Utf8FromWide(c.filter);
        EXPECT_EQ(names, c.names) << Utf8FromWide(c.position) << " type " << c.type << " filter "
                                  << Utf8FromWide(c.filter);
    }
    EXPECT_EQ(browse_->BrowseOPCItemIDs(OPC_LEAF, u"*", VT_EMPTY, 0, nullptr), E_POINTER);
}

TEST_F(BrowseHierarchical, TheWholeSpaceListedFlatFromTheRootAddsEveryItem) {
    ToRoot();
    Names all;
    ASSERT_EQ(Browse(OPC_FLAT, u"*", VT_EMPTY, 0, &all), S_OK);
    EXPECT_GT(all.size(), 1000u);
    EXPECT_TRUE(Contains(all, "Load.T0999"));
    EXPECT_FALSE(Contains(all, "Load.T1000"));
    EXPECT_TRUE(Contains(all, "Device1.D100"));
    EXPECT_TRUE(Contains(all, "Device1.D100.00"));
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
    // Every listed ItemID is known to the server.
    for (const auto& id : all) {
        DWORD count = 0;
        DWORD* ids = nullptr;
        LPWSTR* descriptions = nullptr;
        VARTYPE* types = nullptr;
        std::u16string wide = WideFromUtf8(id);
        ASSERT_EQ(conn_.properties->QueryAvailableProperties(wide.data(), &count, &ids, &descriptions, &types), S_OK)
            << id;
        for (DWORD i = 0; i < count; ++i) CoTaskMemFree(descriptions[i]);
        CoTaskMemFree(ids);
        CoTaskMemFree(descriptions);
        CoTaskMemFree(types);
    }
}

struct ItemIdCase {
    const char16_t* position;
    const char16_t* name;
    HRESULT expected;
    const char* itemId;
};

TEST_F(BrowseHierarchical, GetItemIDQualifiesNamesAtThePosition) {
    const ItemIdCase cases[] = {
        {u"Device1.D100", u"05", S_OK, "Device1.D100.05"},
        {u"Device1", u"D100", S_OK, "Device1.D100"},
        {u"Plant", u"PUMP1_UNIT", S_OK, "Plant.PUMP1_UNIT"},
        {u"", u"Ramp", S_OK, "Ramp"},             // a branch
        {u"Plant", u"Ramp.I4", S_OK, "Ramp.I4"},  // already fully qualified
        {u"Plant", u"NOPE", OPC_E_UNKNOWNITEMID, "<null>"},
        {u"Plant", u"A..B", OPC_E_INVALIDITEMID, "<null>"},
        {u"Plant", nullptr, E_INVALIDARG, "<null>"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(browse_->ChangeBrowsePosition(OPC_BROWSE_TO, c.position), S_OK);
        LPWSTR itemId = nullptr;
        EXPECT_EQ(browse_->GetItemID(const_cast<LPWSTR>(c.name), &itemId), c.expected) << Utf8FromWide(c.name);
        EXPECT_EQ(TakeString(itemId), c.itemId) << Utf8FromWide(c.name);
    }
    EXPECT_EQ(browse_->GetItemID(const_cast<LPWSTR>(u"05"), nullptr), E_POINTER);
}

TEST_F(BrowseHierarchical, AccessPathsOfItems) {
    struct Case {
        const char16_t* itemId;
        HRESULT expected;
        Names paths;
    };
    const Case cases[] = {
        {u"Device1.D100", S_OK, {"Primary", "Backup"}},
        {u"Device1.D100.07", S_OK, {"Primary", "Backup"}},
        {u"Ramp.I4", S_FALSE, {}},
        {u"Ramp.NOPE", OPC_E_UNKNOWNITEMID, {}},
        {nullptr, E_INVALIDARG, {}},
    };
    for (const auto& c : cases) {
        ComPtr<IEnumString> e;
        EXPECT_EQ(browse_->BrowseAccessPaths(c.itemId, e.put()), c.expected) << Utf8FromWide(c.itemId);
        EXPECT_EQ(ReadAll(e.get()), c.paths) << Utf8FromWide(c.itemId);
    }
}

// The way a browsing client walks the tree: to the top by going up until that fails, then
// down branch by branch; each server object keeps its own position.
TEST_F(BrowseHierarchical, EachServerObjectKeepsItsOwnPosition) {
    ServerConnection other = Connect(kDefaultProgId);
    ASSERT_EQ(browse_->ChangeBrowsePosition(OPC_BROWSE_TO, u"Device1.D101"), S_OK);
    ToRoot();
    ASSERT_EQ(other.browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"Plant"), S_OK);
    ASSERT_EQ(browse_->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"Device1"), S_OK);
    ASSERT_EQ(browse_->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"D101"), S_OK);
    Names leaves;
    ASSERT_EQ(Browse(OPC_LEAF, u"0?", VT_EMPTY, 0, &leaves), S_OK);
    EXPECT_EQ(leaves.size(), 10u);
    LPWSTR position = nullptr;
    ASSERT_EQ(other.browse->GetItemID(const_cast<LPWSTR>(u""), &position), S_OK);
    EXPECT_EQ(TakeString(position), "Plant");
}

TEST(BrowseFlat, FlatServerListsFullItemIdsAndHasNoBranches) {
    ServerConnection c = Connect(kFlatProgId);
    OPCNAMESPACETYPE type = OPC_NS_HIERARCHIAL;
    ASSERT_EQ(c.browse->QueryOrganization(&type), S_OK);
    EXPECT_EQ(type, OPC_NS_FLAT);
    EXPECT_EQ(c.browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"Ramp"), E_FAIL);
    EXPECT_EQ(c.browse->ChangeBrowsePosition(OPC_BROWSE_UP, u""), E_FAIL);

    ComPtr<IEnumString> e;
    EXPECT_EQ(c.browse->BrowseOPCItemIDs(OPC_BRANCH, u"*", VT_EMPTY, 0, e.put()), S_FALSE);
    EXPECT_TRUE(ReadAll(e.get()).empty());
    for (OPCBROWSETYPE t : {OPC_LEAF, OPC_FLAT}) {
        ASSERT_EQ(c.browse->BrowseOPCItemIDs(t, u"Ramp.*", VT_EMPTY, 0, e.put()), S_OK);
        EXPECT_EQ(ReadAll(e.get()), (Names{"Ramp.I1", "Ramp.I2", "Ramp.I4", "Ramp.I8", "Ramp.R4", "Ramp.R8", "Ramp.UI1",
                                           "Ramp.UI2", "Ramp.UI4", "Ramp.UI8"}));
    }
    LPWSTR itemId = nullptr;
    ASSERT_EQ(c.browse->GetItemID(const_cast<LPWSTR>(u"Ramp.I4"), &itemId), S_OK);
    EXPECT_EQ(TakeString(itemId), "Ramp.I4");
    EXPECT_EQ(c.browse->GetItemID(const_cast<LPWSTR>(u"I4"), &itemId), OPC_E_UNKNOWNITEMID);
}

TEST(BrowseFaults, QueryOrganizationFailsWhenConfiguredTo) {
    SimConfig config;
    config.loadTagCount = 0;
    config.queryOrganizationError = E_NOTIMPL;
    RegisterSimulationServer("Test.Browse.NoOrganization", config);
    ServerConnection c = Connect("Test.Browse.NoOrganization");
    OPCNAMESPACETYPE type = OPC_NS_FLAT;
    EXPECT_EQ(c.browse->QueryOrganization(&type), E_NOTIMPL);
    // Browsing itself still works.
    ComPtr<IEnumString> e;
    EXPECT_EQ(c.browse->BrowseOPCItemIDs(OPC_BRANCH, u"*", VT_EMPTY, 0, e.put()), S_OK);
}

}  // namespace
}  // namespace simserver::test
