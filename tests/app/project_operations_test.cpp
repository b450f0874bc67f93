// The operations on the program's project that combine OPC.cfg, the address registry and the
// document.
#include "app/project_operations.h"
#include "tests/persistence/document_support.h"

namespace {

using ProjectOperations = DocumentTest;

}  // namespace

TEST_F(ProjectOperations, NewStartAddressRenumbersAndSavesAtOnce) {
    ASSERT_TRUE(document.OnNewDocument());
    CVGroup* group = AddGroup(AddServer("Offline.One"), "G");
    CVItem* a = AddItem(group, "A");
    CVItem* b = AddItem(group, "B");
    CVItem* c = AddItem(group, "C");
    CItemAddressRegistry::Instance().Unregister(c);
    CItemAddressRegistry::Instance().RegisterAt(c, 7);
    ASSERT_EQ(AddressOf("B"), 2);
    document.SetPathName(Path("p.ovopc"));

    WriteStartAddress(50, CItemAddressRegistry::Instance(), document);
    EXPECT_EQ(ReadStartAddress(), 50u);

    EXPECT_EQ(CItemAddressRegistry::Instance().FindByAddress(50), a);
    EXPECT_EQ(CItemAddressRegistry::Instance().FindByAddress(51), b);
    EXPECT_EQ(CItemAddressRegistry::Instance().FindByAddress(52), c);
    const ProjectRecord saved = ReadProject(Path("p.ovopc"));
    std::vector<int> addresses;
    for (const ItemRecord& item : saved.servers.at(0).groups.at(0).items) addresses.push_back(item.address);
    EXPECT_EQ(addresses, (std::vector<int>{52, 51, 50}));  // the list runs newest first
    EXPECT_FALSE(document.IsModified());
}
