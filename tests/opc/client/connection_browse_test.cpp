// Browsing a connected server's address space as the add item dialog does: branches, leaves
// with the auxiliary-field names left out, flat listings resolved from the top, and the
// servers whose browsing fails or cannot tell their organization.
#include "connection_support.h"
#include "opc/client/address_space_browser.h"
#include "opc/client/server.h"
#include "simserver/server_registry.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

bool Has(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

class Browse : public ::testing::Test {
protected:
    AddressSpaceBrowser Connect(const std::string& progId) {
        simserver::RegisterSimulationServers();
        server.progId = progId;
        EXPECT_TRUE(server.Connect()) << progId;
        return AddressSpaceBrowser(server.BrowseAddressSpace());
    }
    void TearDown() override { server.Disconnect(); }

    EventRecorder recorder;
    CVServer server{ThreadStart::kLater};
};

TEST_F(Browse, BranchesLeavesAndTheirItemIdsOfAHierarchicalSpace) {
    const AddressSpaceBrowser browser = Connect(simserver::kDefaultProgId);
    EXPECT_EQ(browser.Organization(), OPC_NS_HIERARCHIAL);
    browser.MoveToTop();
    const auto top = browser.Branches("*");
    ASSERT_TRUE(top);
    EXPECT_TRUE(Has(*top, "Plant"));
    EXPECT_TRUE(Has(*top, "Device1"));

    browser.MoveTo({"Plant"});
    const auto leaves = browser.Leaves(false, "*", VT_EMPTY, 0);
    ASSERT_TRUE(leaves);
    for (const char* listed : {"PUMP1", "PUMP1_UNITS", "PUMP1_unit", "TANK1"}) EXPECT_TRUE(Has(*leaves, listed)) << listed;
    for (const char* hidden : {"PUMP1_UNIT", "PUMP1_DESC", "PUMP1_TREND", "TANK1_UNIT"})
        EXPECT_FALSE(Has(*leaves, hidden)) << hidden;
    EXPECT_EQ(browser.ItemIdOf("PUMP1"), "Plant.PUMP1");
    EXPECT_FALSE(browser.ItemIdOf("NoSuchLeaf"));

    // A filter that matches nothing lists nothing, successfully.
    const auto none = browser.Leaves(false, "zzz*", VT_EMPTY, 0);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());

    // Flat below a branch: leaves of every level, resolved from the top.
    browser.MoveTo({"Device1"});
    const auto flat = browser.Leaves(true, "*", VT_EMPTY, 0);
    ASSERT_TRUE(flat);
    EXPECT_GT(flat->size(), 16u * 16u);
    browser.MoveToTopForLookup();
    EXPECT_EQ(browser.ItemIdOf(flat->front()).value_or("").rfind("Device1.", 0), 0u) << flat->front();
}

TEST_F(Browse, AFlatSpaceHasNoBranches) {
    const AddressSpaceBrowser browser = Connect(simserver::kFlatProgId);
    EXPECT_EQ(browser.Organization(), OPC_NS_FLAT);
    const auto leaves = browser.Leaves(false, "Ramp.*", VT_EMPTY, 0);
    ASSERT_TRUE(leaves);
    EXPECT_TRUE(Has(*leaves, "Ramp.I4"));
}

TEST_F(Browse, BrowsingThatBreaksAndAnOrganizationThatCannotBeTold) {
    AddressSpaceBrowser failing = Connect(simserver::kBrowseFailsProgId);
    for (unsigned i = 0; i < simserver::kBrowseFailsAfter; ++i) EXPECT_TRUE(failing.Branches("*")) << i;
    EXPECT_FALSE(failing.Branches("*"));
    EXPECT_FALSE(failing.Leaves(false, "*", VT_EMPTY, 0));
    server.Disconnect();

    simserver::SimConfig config;
    config.queryOrganizationError = E_NOTIMPL;
    simserver::RegisterSimulationServer("Test.Browse.NoOrganization", config);
    const AddressSpaceBrowser unknown = Connect("Test.Browse.NoOrganization");
    EXPECT_EQ(unknown.Organization(), OPC_NS_HIERARCHIAL);

    EXPECT_FALSE(AddressSpaceBrowser(nullptr).Branches("*"));
    EXPECT_EQ(AddressSpaceBrowser(nullptr).Organization(), OPC_NS_HIERARCHIAL);
}

TEST(LeafNames, AuxiliaryFieldSuffixesAreLeftOut) {
    for (const char* hidden : {"PUMP1_UNIT", "A_B_DESC", "X_PRIOC", "X_PRIOA", "X_SALM", "X_PTYP", "X_SYSN", "X_TREND",
                               "X_USEN", "_UNIT"})
        EXPECT_TRUE(IsExcludedLeafName(hidden)) << hidden;
    for (const char* listed : {"PUMP1_UNITS", "PUMP1_unit", "PUMP1.UNIT", "UNIT", "PUMP1_UNIT_2", "PUMP1_"})
        EXPECT_FALSE(IsExcludedLeafName(listed)) << listed;
}

}  // namespace
