// Opening and saving projects through the document: round trips, addresses, refused files,
// the title's modified mark, atomic saves, unloading, and the start-address renumbering.
#include "docview/update_hints.h"
#include "persistence/project_tree.h"
#include "tests/persistence/document_support.h"
#include "opc/client/item_address_registry.h"

#include <sys/resource.h>
#include <csignal>
#include <filesystem>

namespace {

// Server ProgIDs that no registry knows: opening tries to connect and fails at once.
ProjectRecord OfflineProject() {
    ProjectRecord project;
    ServerRecord s1{"Offline.One", "", 0x4, {}};
    GroupRecord g1;
    g1.name = "G1";
    g1.updateRate = 500;
    g1.timeBias = -120;
    g1.percentDeadband = 2.5f;
    g1.updateMethod = 1;
    g1.removalFlags = 1;
    g1.refreshInterval = 5;
    g1.items = {{"", "A.1", 1, 4, 3, 10, 7}, {"path", "A.2", 0, 0x2002, 1, 11, 0}, {"", "A.3", 1, 8, 1, 12, 0}};
    GroupRecord g2;
    g2.name = "G2";
    g2.items = {{"", "B.1", 1, 11, 1, 20, 0}};
    s1.groups = {g1, g2};
    ServerRecord s2{"Offline.Two", "remote-pc", 0, {}};
    GroupRecord g3;
    g3.name = "G3";
    s2.groups = {g3};
    project.servers = {s1, s2};
    return project;
}

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

}  // namespace

using DocumentFile = DocumentTest;

TEST_F(DocumentFile, OpenReversesEveryListAndASecondRoundTripRestoresTheFile) {
    const std::string original = Path("p.ovopc");
    WriteProject(original, OfflineProject());

    ASSERT_TRUE(document.OnOpenDocument(original));
    ASSERT_EQ(document.ServerCount(), 2);
    EXPECT_EQ(document.FirstServer()->progId, "Offline.Two");
    EXPECT_EQ(document.FirstServer()->remoteComputer, "remote-pc");
    const CVServer* one = document.FirstServer()->next;
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->FirstGroup()->Name(), "G2");
    EXPECT_EQ(ItemIds(one->FirstGroup()->next), (std::vector<std::string>{"A.3", "A.2", "A.1"}));
    EXPECT_EQ(recorder.ItemCount(), 4);

    const std::string once = Path("once.ovopc");
    ASSERT_TRUE(document.OnSaveDocument(once));
    EXPECT_EQ(ReadProject(once), Reversed(OfflineProject()));

    CVDocument second{CItemAddressRegistry::Instance()};
    ASSERT_TRUE(second.OnOpenDocument(once));
    const std::string twice = Path("twice.ovopc");
    ASSERT_TRUE(second.OnSaveDocument(twice));
    EXPECT_EQ(TempFolder::Read(twice), TempFolder::Read(original));
}

TEST_F(DocumentFile, OpenTellsTheViewsAndRecordsThePath) {
    const std::string path = Path("p.ovopc");
    WriteProject(path, OfflineProject());
    ASSERT_TRUE(document.OnOpenDocument(path));
    EXPECT_EQ(ReadProjectPath(), path);
    EXPECT_EQ(view.Numbers(), (std::vector<int>{HINT_PROJECT_UNLOADING, HINT_PROJECT_LOADED}));
    EXPECT_EQ(view.hints.back().object, document.FirstServer());
    // The load shows in the status bar and the bar returns to its idle text.
    const std::vector<std::string> status = recorder.StatusTexts();
    EXPECT_NE(std::find(status.begin(), status.end(), "装载工程"), status.end());
    EXPECT_EQ(status.back(), "Ready");

    ASSERT_TRUE(document.OnSaveDocument(Path("other.ovopc")));
    EXPECT_EQ(ReadProjectPath(), Path("other.ovopc"));
}

TEST_F(DocumentFile, EmptyProjectSavesAsFourZeroBytes) {
    ASSERT_TRUE(document.OnNewDocument());
    ASSERT_TRUE(document.OnSaveDocument(Path("empty.ovopc")));
    EXPECT_EQ(TempFolder::Read(Path("empty.ovopc")), std::string(4, '\0'));
    ASSERT_TRUE(document.OnOpenDocument(Path("empty.ovopc")));
    EXPECT_EQ(document.ServerCount(), 0);
    EXPECT_EQ(view.Numbers().back(), HINT_PROJECT_UNLOADING);  // no 1060 for an empty project
}

TEST_F(DocumentFile, LoadedItemsTakeTheirStoredAddressesWhereFree) {
    ProjectRecord project;
    GroupRecord group;
    group.items = {{"", "A", 1, 0, 1, 12, 0},
                   {"", "B", 1, 0, 1, 12, 0},  // 12 is taken: the first gap from the start (1)
                   {"", "C", 1, 0, 1, -1, 0},  // none stored: the first gap
                   {"", "D", 1, 0, 1, 1, 0}};  // 1 went to B
    project.servers.push_back({"Offline.One", "", 0, {group}});
    WriteProject(Path("p.ovopc"), project);
    ASSERT_TRUE(document.OnOpenDocument(Path("p.ovopc")));
    EXPECT_EQ(AddressOf("A"), 12);
    EXPECT_EQ(AddressOf("B"), 1);
    EXPECT_EQ(AddressOf("C"), 2);
    EXPECT_EQ(AddressOf("D"), 3);

    // Unloading gives every address back.
    document.DeleteContents();
    for (const char* id : {"A", "B", "C", "D"}) EXPECT_EQ(AddressOf(id), -1) << id;
    EXPECT_EQ(recorder.ItemCount(), 0);
}

TEST_F(DocumentFile, RefusedFilesLeaveAnEmptyProject) {
    const std::vector<std::uint8_t> good = EncodeProject(OfflineProject());
    std::vector<std::uint8_t> wrongSchema = good;
    wrongSchema[4] = 2;  // first server record's schema
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"truncated in an item", std::string(good.begin(), good.end() - 3)},
        {"truncated after the count", std::string(good.begin(), good.begin() + 4)},
        {"server schema 2", std::string(wrongSchema.begin(), wrongSchema.end())},
        {"not a project", "just some text"},
    };
    ASSERT_TRUE(document.OnSaveDocument(Path("unused.ovopc")));  // so OPC.cfg exists
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteProject(Path("good.ovopc"), OfflineProject());
        ASSERT_TRUE(document.OnOpenDocument(Path("good.ovopc")));
        prompts.errors.clear();

        const std::string bad = Path("bad.ovopc");
        TempFolder::Write(bad, c.bytes);
        EXPECT_FALSE(document.OnOpenDocument(bad));
        EXPECT_EQ(prompts.errors, (std::vector<std::string>{"意外的文件格式: " + bad}));
        EXPECT_EQ(document.ServerCount(), 0);
        EXPECT_EQ(AddressOf("A.1"), -1);  // nothing of either file holds an address
        EXPECT_EQ(recorder.ItemCount(), 0);
        EXPECT_EQ(ReadProjectPath(), Path("good.ovopc"));  // a refused file is not recorded
    }
}

TEST_F(DocumentFile, ThreadsStartOnlyOnceTheWholeFileIsAccepted) {
    const auto threads = [] {
        std::size_t count = 0;
        for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) ++count;
        return count;
    };
    ProjectRecord project;
    project.servers.resize(2);
    project.servers[0].groups.resize(30);
    const std::size_t before = threads();

    // A file that is refused at its last object must not have started a thread for the
    // others: building starts none.
    ServerList list;
    BuildProject(project, list, CItemAddressRegistry::Instance());
    EXPECT_EQ(threads(), before);
    StartProjectThreads(list);
    const std::size_t started = threads();  // a sanitizer may have started one of its own
    EXPECT_GE(started, before + 2 + 30);
    StartProjectThreads(list);  // once each
    EXPECT_EQ(threads(), started);
    while (CVServer* server = list.PopFront()) delete server;
    EXPECT_EQ(threads(), started - 2 - 30);
}

TEST_F(DocumentFile, MissingFileIsReported) {
    EXPECT_FALSE(document.OnOpenDocument(Path("none.ovopc")));
    EXPECT_EQ(prompts.errors, (std::vector<std::string>{"打开文档失败: " + Path("none.ovopc")}));
}

TEST_F(DocumentFile, FailedSaveKeepsTheOldFile) {
    WriteProject(Path("p.ovopc"), OfflineProject());
    ASSERT_TRUE(document.OnOpenDocument(Path("p.ovopc")));
    document.SetPathName(Path("p.ovopc"));
    const std::string before = TempFolder::Read(Path("p.ovopc"));
    CVGroup* group = document.FirstServer()->FirstGroup();
    for (int i = 0; i < 200; ++i) AddItem(group, "More." + std::to_string(i));
    document.MarkModified(true);
    {
        FileSizeLimit limit(before.size());
        EXPECT_FALSE(document.DoFileSave());
    }
    EXPECT_EQ(prompts.errors, (std::vector<std::string>{"保存文档失败: " + Path("p.ovopc")}));
    EXPECT_EQ(TempFolder::Read(Path("p.ovopc")), before);
    EXPECT_TRUE(document.IsModified());
    EXPECT_EQ(document.Title(), "p.ovopc *");

    EXPECT_TRUE(document.DoFileSave());
    EXPECT_EQ(ReadProject(Path("p.ovopc")).servers[0].groups[0].items.size(), 200u);
    EXPECT_FALSE(document.IsModified());
    EXPECT_EQ(document.Title(), "p.ovopc");
}

TEST_F(DocumentFile, MarkModifiedPutsTheMarkOnlyOnAnUnmodifiedDocument) {
    struct Case {
        const char* title;
        bool modified;
        bool flag;
        const char* expected;
    };
    const Case cases[] = {
        {"p.ovopc", false, true, "p.ovopc *"},   {"p.ovopc *", false, true, "p.ovopc *"},  // never twice
        {"p.ovopc *", false, false, "p.ovopc"},  {"p.ovopc * **  ", false, false, "p.ovopc"},
        {"p.ovopc", false, false, "p.ovopc"},    {"p.ovopc*", false, false, "p.ovopc*"},  // no " *" in it
        {"p.ovopc", true, true, "p.ovopc"},  // already modified: the title stays
        {"p.ovopc *", true, false, "p.ovopc *"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.title) + (c.modified ? " modified" : "") + (c.flag ? " -> true" : " -> false"));
        document.SetTitle(c.title);
        document.SetModifiedFlag(c.modified);
        document.MarkModified(c.flag);
        EXPECT_EQ(document.Title(), c.expected);
        EXPECT_EQ(document.IsModified(), c.flag);
    }
}

TEST_F(DocumentFile, NewServerIsLinkedAtTheHeadAndMarksTheProject) {
    ASSERT_TRUE(document.OnNewDocument());
    CVServer* first = AddServer("Offline.One");
    CVServer* second = AddServer("Offline.Two");
    EXPECT_EQ(document.FirstServer(), second);
    EXPECT_EQ(second->next, first);
    EXPECT_EQ(first->prev, second);
    EXPECT_EQ(view.hints.back().hint, HINT_SERVER_ADDED);
    EXPECT_EQ(view.hints.back().object, second);
    EXPECT_TRUE(document.IsModified());
    EXPECT_EQ(document.Title(), std::string(Document::kUntitled) + " *");

    document.SetCurrentGroup(AddGroup(first, "G"));
    document.DeleteContents();
    EXPECT_EQ(document.ServerCount(), 0);
    EXPECT_EQ(document.GetCurrentGroup(), nullptr);
    EXPECT_EQ(view.hints.back().hint, HINT_PROJECT_UNLOADING);
}
