// Copy and Paste through the document against the simulation server: a copied group pasted
// into another server is made there with its items and delivers values; pasted items take new
// addresses; a pasted server is listed and connected; and content that is cut short, foreign
// or huge is refused with a message and changes nothing.
#include "docview/update_hints.h"
#include "simserver/server_registry.h"
#include "tests/opc/client/connection_support.h"
#include "tests/persistence/document_support.h"

#include <QCoreApplication>

#include <chrono>
#include <random>

namespace {

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "persistence_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

bool AllLive(const CVGroup* group) {
    for (const CVItem* item = group->FirstItem(); item; item = item->next)
        if (!item->added || !item->IsGood() || item->GetUpdateCount() == 0) return false;
    return true;
}

class ClipboardTest : public DocumentTest {
protected:
    void SetUp() override {
        DocumentTest::SetUp();
        EnsureApplication();
        simserver::RegisterSimulationServers();
        document.SetWaitUi(&waitUi);
    }
    void TearDown() override {
        CItemAddressRegistry::Instance().SetStartAddressSource({});
        DocumentTest::TearDown();
        document.SetWaitUi(nullptr);
    }
    // A connected server with a group of live items.
    CVServer* LiveServer(const std::string& groupName, std::initializer_list<const char*> itemIds) {
        CVServer* server = AddServer(simserver::kDefaultProgId);
        if (groupName.empty()) {
            document.ConnectServer(server);
            return server;
        }
        CVGroup* group = AddGroup(server, groupName);
        for (const char* id : itemIds) {
            CVItem* item = AddItem(group, id);
            item->active = TRUE;
        }
        document.ConnectServer(server);
        return server;
    }
    // Forgets what the setting up did, so a test sees only what a paste does.
    void StartWatching() {
        view.hints.clear();
        prompts.errors.clear();
        document.SetModifiedFlag(false);
    }

    WaitUiRecorder waitUi{document};
};

}  // namespace

TEST_F(ClipboardTest, ACopiedGroupPastedIntoAnotherServerIsMadeThereAndDeliversValues) {
    CVServer* source = LiveServer("Pumps", {"Ramp.I2", "Sine.R8", "Random.I4"});
    CVServer* target = LiveServer("", {});
    CVGroup* original = source->FirstGroup();
    ASSERT_TRUE(WaitUntil([&] { return AllLive(original); }));
    original->updateRate = 200;
    const std::vector<std::uint8_t> copied = document.CopyGroup(*original);
    StartWatching();

    ASSERT_EQ(document.PasteGroups(*target, copied), 1);
    CVGroup* pasted = target->FirstGroup();
    ASSERT_NE(pasted, nullptr);
    EXPECT_EQ(pasted->Name(), "Pumps");
    EXPECT_TRUE(pasted->onServer);
    EXPECT_EQ(pasted->updateRate, 200u);
    EXPECT_EQ(pasted->ItemCount(), 3u);
    ASSERT_TRUE(WaitUntil([&] { return AllLive(pasted); }));
    std::vector<std::string> pastedIds = ItemIds(pasted);
    std::sort(pastedIds.begin(), pastedIds.end());
    EXPECT_EQ(pastedIds, (std::vector<std::string>{"Ramp.I2", "Random.I4", "Sine.R8"}));
    // The same tags on another server: each pasted item has the address its ItemID has.
    for (const CVItem* item = pasted->FirstItem(); item; item = item->next)
        EXPECT_GE(AddressOf(item->itemId), 1) << item->itemId;
    ASSERT_EQ(view.Numbers(), (std::vector<int>{HINT_GROUP_ADDED, HINT_ITEMS_ADDED}));
    EXPECT_EQ(view.hints[0].object, pasted);
    EXPECT_TRUE(document.IsModified());
    EXPECT_TRUE(prompts.errors.empty());
    // The original is untouched.
    EXPECT_EQ(original->ItemCount(), 3u);
    EXPECT_TRUE(AllLive(original));

    // Into its own server it takes a name the server does not have yet.
    ASSERT_EQ(document.PasteGroups(*source, copied), 1);
    EXPECT_NE(source->FirstGroup()->Name(), "Pumps");
    EXPECT_TRUE(source->FirstGroup()->onServer);
    ASSERT_TRUE(WaitUntil([&] { return AllLive(source->FirstGroup()); }));
}

TEST_F(ClipboardTest, PastedItemsTakeNewAddressesFromTheRegistryNotTheCopiedOnes) {
    CVServer* server = LiveServer("Pumps", {"Ramp.I2", "Sine.R8"});
    CVGroup* group = server->FirstGroup();
    std::vector<CVItem*> items = group->Items();
    const std::vector<std::uint8_t> copied = document.CopyItems(items);
    std::vector<ItemRecord> records;
    ASSERT_EQ(DecodeItemRecords(copied, records), ProjectLoadError::None);
    ASSERT_EQ(records.size(), 2u);
    for (const ItemRecord& record : records) EXPECT_EQ(record.address, AddressOf(record.itemId));

    // Cut: the items go, and new items start at address 100 from now on.
    group->RemoveItems(items.data(), static_cast<int>(items.size()), true);
    EXPECT_EQ(AddressOf("Ramp.I2"), -1);
    CItemAddressRegistry::Instance().SetStartAddressSource([] { return 100u; });
    StartWatching();

    ASSERT_EQ(document.PasteItems(*group, copied), 2);
    std::vector<int> addresses{AddressOf("Ramp.I2"), AddressOf("Sine.R8")};
    std::sort(addresses.begin(), addresses.end());
    EXPECT_EQ(addresses, (std::vector<int>{100, 101}));
    ASSERT_TRUE(WaitUntil([&] { return AllLive(group); }));
    EXPECT_EQ(view.Numbers(), std::vector<int>{HINT_ITEMS_ADDED});
    EXPECT_TRUE(document.IsModified());
}

TEST_F(ClipboardTest, APastedServerIsListedWithItsGroupsAndConnected) {
    CVServer* source = LiveServer("Pumps", {"Ramp.I2"});
    const std::vector<std::uint8_t> copied = document.CopyServer(*source);
    StartWatching();

    ASSERT_EQ(document.PasteServers(copied), 1);
    EXPECT_EQ(document.ServerCount(), 2);
    CVServer* pasted = document.FirstServer();
    ASSERT_NE(pasted, source);
    EXPECT_EQ(pasted->progId, simserver::kDefaultProgId);
    EXPECT_TRUE(pasted->IsConnected());
    ASSERT_EQ(pasted->GroupCount(), 1);
    EXPECT_EQ(pasted->FirstGroup()->Name(), "Pumps");
    ASSERT_TRUE(WaitUntil([&] { return AllLive(pasted->FirstGroup()); }));
    EXPECT_EQ(view.Numbers(), (std::vector<int>{HINT_SERVER_ADDED, HINT_GROUP_ADDED, HINT_CONNECTION_STATES}));
    EXPECT_TRUE(document.IsModified());
}

TEST_F(ClipboardTest, ContentThatIsCutShortForeignOrHugeIsRefusedAndChangesNothing) {
    CVServer* server = AddServer("Offline.Server");
    CVGroup* group = AddGroup(server, "Pumps");
    AddItem(group, "Kept.Item");
    const std::vector<std::uint8_t> items = document.CopyItems(group->Items());
    const std::vector<std::uint8_t> groupBytes = document.CopyGroup(*group);

    std::vector<std::uint8_t> random(4096);
    std::mt19937 generator(7);
    for (std::uint8_t& byte : random) byte = static_cast<std::uint8_t>(generator());
    random[0] = 3;  // a believable count, so records are read
    random[1] = random[2] = random[3] = 0;
    std::vector<std::uint8_t> trailing = items;
    trailing.push_back(0);
    std::vector<std::uint8_t> wrongSchema = items;
    wrongSchema[4] = 7;
    // More than the limit: refused before a byte of it is read.
    std::vector<std::uint8_t> huge(CVDocument::kMaxPasteBytes + 1, 0);

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::string message;
    };
    const std::string damaged = "剪贴板中的数据不完整或已损坏，没有粘贴任何内容。";
    const Case cases[] = {
        {"cut short", std::vector<std::uint8_t>(items.begin(), items.end() - 1), damaged},
        {"random bytes", random, ""},  // either refusal, as the bytes fall
        {"bytes after the records", trailing, damaged},
        {"another level's records", groupBytes, damaged},
        {"another schema", wrongSchema, "剪贴板中的数据版本不对，没有粘贴任何内容。"},
        {"huge", huge, "剪贴板中的数据太大，没有粘贴任何内容。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartWatching();
        EXPECT_EQ(document.PasteItems(*group, c.bytes), 0);
        ASSERT_EQ(prompts.errors.size(), 1u);
        if (!c.message.empty()) {
            EXPECT_EQ(prompts.errors[0], c.message);
        }
        EXPECT_TRUE(view.hints.empty());
        EXPECT_FALSE(document.IsModified());
        EXPECT_EQ(ItemIds(group), std::vector<std::string>{"Kept.Item"});
    }
    // The same for groups and servers.
    for (const Case& c : cases) {
        if (std::string(c.name) == "another level's records") continue;  // group bytes are groups
        SCOPED_TRACE(c.name);
        StartWatching();
        EXPECT_EQ(document.PasteGroups(*server, c.bytes), 0);
        EXPECT_EQ(document.PasteServers(c.bytes), 0);
        EXPECT_EQ(prompts.errors.size(), 2u);
        EXPECT_TRUE(view.hints.empty());
        EXPECT_FALSE(document.IsModified());
        EXPECT_EQ(server->GroupCount(), 1);
        EXPECT_EQ(document.ServerCount(), 1);
    }
    EXPECT_EQ(AddressOf("Kept.Item"), 1);
}

TEST_F(ClipboardTest, ItemsAsTextAreTheCsvExportsLinesWithLineFeeds) {
    CVServer* server = AddServer("Offline.Server");
    CVGroup* group = AddGroup(server, "Pumps");
    CVItem* a = AddItem(group, "Channel1.Device1.Tag1");
    a->active = TRUE;
    a->SetDataType(VT_R4);
    CVItem* b = AddItem(group, "A,B");
    b->accessPath = "path";
    b->SetDataType(VT_BSTR);
    EXPECT_EQ(CVDocument::ItemsAsCsvText({a, b}),
              "变量ID,访问路径,数据类型,Active\n"
              "Channel1.Device1.Tag1,\"\",Float,TRUE\n"
              "\"A,B\",\"path\",String,FALSE\n");
}
