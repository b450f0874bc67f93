// Split save and the CSV import and export of a group, through the document.
#include "opc/client/item_address_registry.h"
#include "docview/update_hints.h"
#include "platform/com/variant.h"
#include "tests/persistence/document_support.h"

#include <filesystem>

namespace {

std::vector<std::string> ItemIdsOf(const ProjectRecord& project) {
    std::vector<std::string> ids;
    for (const ServerRecord& server : project.servers)
        for (const GroupRecord& group : server.groups)
            for (const ItemRecord& item : group.items) ids.push_back(item.itemId);
    return ids;
}

}  // namespace

class SplitSaveTest : public DocumentTest {
protected:
    // Two servers; the head server's head group is "Head". Items in list order: e1..e5.
    void BuildProject() {
        CVServer* second = AddServer("Offline.Second");
        AddItem(AddGroup(second, "Other"), "e5");
        CVServer* first = AddServer("Offline.First");
        first->remoteComputer = "pc";
        first->flags = 0x10;
        CVGroup* tail = AddGroup(first, "Tail");
        AddItem(tail, "e4");
        CVGroup* head = AddGroup(first, "Head");
        head->updateRate = 250;
        head->SetDataChangeMode(0);
        for (const char* id : {"e3", "e2", "e1"}) AddItem(head, id);
        document.SetPathName(Path("project.ovopc"));
        document.SetModifiedFlag(false);
    }
};

TEST_F(SplitSaveTest, FilesHoldConsecutiveSlicesUnderTheFirstServersFirstGroup) {
    BuildProject();
    const std::string base = Path("p");
    document.SplitSave(base, 2);

    const ProjectRecord one = ReadProject(base + "-1.ovopc");
    const ProjectRecord two = ReadProject(base + "-2.ovopc");
    EXPECT_FALSE(std::filesystem::exists(base + "-3.ovopc"));
    EXPECT_EQ(ItemIdsOf(one), (std::vector<std::string>{"e1", "e2", "e3"}));
    EXPECT_EQ(ItemIdsOf(two), (std::vector<std::string>{"e4", "e5"}));
    for (const ProjectRecord* file : {&one, &two}) {
        ASSERT_EQ(file->servers.size(), 1u);
        EXPECT_EQ(file->servers[0].progId, "Offline.First");
        EXPECT_EQ(file->servers[0].machine, "pc");
        EXPECT_EQ(file->servers[0].flags, 0x10u);
        ASSERT_EQ(file->servers[0].groups.size(), 1u);
        EXPECT_EQ(file->servers[0].groups[0].name, "Head");
        EXPECT_EQ(file->servers[0].groups[0].updateRate, 250u);
        EXPECT_EQ(file->servers[0].groups[0].updateMethod, 0u);
    }
    EXPECT_EQ(two.servers[0].groups[0].items[1].address, AddressOf("e5"));  // current addresses

    // The open project is untouched.
    EXPECT_EQ(document.PathName(), Path("project.ovopc"));
    EXPECT_FALSE(document.IsModified());
    EXPECT_EQ(document.ServerCount(), 2);
}

TEST_F(SplitSaveTest, SplitFileOpensAsOneServerOneGroupWithItsSlice) {
    BuildProject();
    document.SplitSave(Path("p"), 3);  // q = 1, r = 2: slices of 3, so two files of 3 and 2
    CVDocument reopened{CItemAddressRegistry::Instance()};
    ASSERT_TRUE(reopened.OnOpenDocument(Path("p-2.ovopc")));
    ASSERT_EQ(reopened.ServerCount(), 1);
    ASSERT_EQ(reopened.FirstServer()->GroupCount(), 1);
    EXPECT_EQ(ItemIds(reopened.FirstServer()->FirstGroup()), (std::vector<std::string>{"e5", "e4"}));
}

TEST_F(SplitSaveTest, NothingIsWrittenWithoutItemsGroupsOrFiles) {
    struct Case {
        const char* name;
        std::function<void()> build;
        int files;
    };
    const Case cases[] = {
        {"empty project", [] {}, 2},
        {"first server without groups",
         [this] {
             AddItem(AddGroup(AddServer("Offline.Second"), "G"), "x");
             AddServer("Offline.First");
         },
         2},
        {"file count 0", [this] { BuildProject(); }, 0},
        {"negative file count", [this] { BuildProject(); }, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        document.DeleteContents();
        c.build();
        document.SplitSave(Path("p"), c.files);
        EXPECT_FALSE(std::filesystem::exists(Path("p-1.ovopc")));
        EXPECT_TRUE(prompts.errors.empty());
    }
}

TEST_F(SplitSaveTest, MoreFilesThanItemsWritesOneFile) {
    BuildProject();
    document.SplitSave(Path("p"), 9);
    EXPECT_EQ(ItemIdsOf(ReadProject(Path("p-1.ovopc"))), (std::vector<std::string>{"e1", "e2", "e3", "e4", "e5"}));
    EXPECT_FALSE(std::filesystem::exists(Path("p-2.ovopc")));
}

TEST_F(SplitSaveTest, AFileThatCannotBeWrittenIsReportedAndTheOthersAreWritten) {
    BuildProject();
    std::filesystem::create_directory(Path("p-1.ovopc"));
    TempFolder::Write(Path("p-2.ovopc"), "old");
    document.SplitSave(Path("p"), 2);
    EXPECT_EQ(prompts.errors, (std::vector<std::string>{"保存文档失败: " + Path("p-1.ovopc")}));
    EXPECT_EQ(ItemIdsOf(ReadProject(Path("p-2.ovopc"))), (std::vector<std::string>{"e4", "e5"}));
}

using CsvDocument = DocumentTest;

TEST_F(CsvDocument, ExportWritesTheGroupsItemsFromTheHead) {
    CVGroup* group = AddGroup(AddServer("Offline.One"), "G");
    CVItem* older = AddItem(group, "Older");
    older->accessPath = "ap";
    older->SetDataType(VT_ARRAY | VT_UI2);
    CVItem* tag = AddItem(group, "Channel1.Device1.Tag1");
    tag->active = TRUE;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_R4;
    value.fltVal = 1.5f;
    tag->SetValue(value, 0xC0);  // the current value's type wins over the data type

    ASSERT_TRUE(document.ExportCsv(*group, Path("g.csv")));
    EXPECT_EQ(TempFolder::Read(Path("g.csv")),
              "变量ID,访问路径,数据类型,Active\r\n"
              "Channel1.Device1.Tag1,\"\",Float,TRUE\r\n"
              "Older,\"ap\",Word Array,FALSE\r\n");
    EXPECT_TRUE(prompts.errors.empty());

    EXPECT_FALSE(document.ExportCsv(*group, Path("missing/g.csv")));
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_NE(prompts.errors[0].find(Path("missing/g.csv")), std::string::npos);
}

TEST_F(CsvDocument, ImportAddsTheItemsInFileOrderAndMarksTheProject) {
    CVGroup* group = AddGroup(AddServer("Offline.One"), "G");
    AddItem(group, "Existing");
    document.SetTitle("p.ovopc");
    document.SetModifiedFlag(false);
    std::vector<CVItem*> announced;
    view.onHint = [&](int hint, void* object) {
        if (hint != HINT_ITEMS_ADDED) return;
        for (auto** item = static_cast<CVItem**>(object); *item; ++item) announced.push_back(*item);
    };
    TempFolder::Write(Path("in.csv"), "Active,变量ID,数据类型\r\nTRUE,A.B,float\r\nFALSE,,Long\r\n,Existing\r\n");

    EXPECT_EQ(document.ImportCsv(*group, Path("in.csv")), 2);
    ASSERT_EQ(announced.size(), 2u);
    EXPECT_EQ(announced[0]->itemId, "A.B");
    EXPECT_EQ(announced[0]->DataType(), VT_R4);
    EXPECT_TRUE(announced[0]->active);
    EXPECT_EQ(announced[1]->itemId, "Existing");
    EXPECT_EQ(ItemIds(group), (std::vector<std::string>{"Existing", "A.B", "Existing"}));
    EXPECT_EQ(AddressOf("A.B"), 2);
    EXPECT_EQ(AddressOf("Existing"), 1);  // a known ItemID shares its address
    EXPECT_TRUE(document.IsModified());
    EXPECT_EQ(document.Title(), "p.ovopc *");
    EXPECT_TRUE(prompts.errors.empty());
}

TEST_F(CsvDocument, RefusedImportChangesNothing) {
    CVGroup* group = AddGroup(AddServer("Offline.One"), "G");
    AddItem(group, "Existing");
    document.SetModifiedFlag(false);
    const int hintsBefore = static_cast<int>(view.hints.size());
    // The records before the bad one name an ItemID the project holds: a refused import must
    // not take its address away.
    TempFolder::Write(Path("bad.csv"), "变量ID\nExisting\nNew\n" + std::string(600, 'x') + "\n");

    EXPECT_EQ(document.ImportCsv(*group, Path("bad.csv")), 0);
    EXPECT_EQ(prompts.errors,
              (std::vector<std::string>{"Error importing CSV item record 3\n\nField buffer overflow."}));
    EXPECT_EQ(ItemIds(group), (std::vector<std::string>{"Existing"}));
    EXPECT_EQ(AddressOf("Existing"), 1);
    EXPECT_EQ(AddressOf("New"), -1);
    EXPECT_EQ(static_cast<int>(view.hints.size()), hintsBefore);
    EXPECT_FALSE(document.IsModified());

    prompts.errors.clear();
    EXPECT_EQ(document.ImportCsv(*group, Path("none.csv")), 0);
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_NE(prompts.errors[0].find(Path("none.csv")), std::string::npos);
}

TEST_F(CsvDocument, ExportThenImportGivesTheSameItems) {
    CVGroup* source = AddGroup(AddServer("Offline.One"), "Source");
    for (int i = 0; i < 5; ++i) {
        CVItem* item = AddItem(source, "Tag," + std::to_string(i));
        item->accessPath = i % 2 ? "path " + std::to_string(i) : "";
        item->SetDataType(i % 2 ? VT_BOOL : (VT_ARRAY | VT_R8));
        item->active = i % 3 == 0;
    }
    ASSERT_TRUE(document.ExportCsv(*source, Path("g.csv")));
    CVGroup* target = AddGroup(document.FirstServer(), "Target");
    ASSERT_EQ(document.ImportCsv(*target, Path("g.csv")), 5);
    const CVItem* a = source->FirstItem();
    std::vector<const CVItem*> imported;
    for (const CVItem* b = target->FirstItem(); b; b = b->next) imported.insert(imported.begin(), b);
    for (const CVItem* b : imported) {
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(b->itemId, a->itemId);
        EXPECT_EQ(b->accessPath, a->accessPath);
        EXPECT_EQ(b->DataType(), a->DataType());
        EXPECT_EQ(b->active, a->active);
        a = a->next;
    }
}
