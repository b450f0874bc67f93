// The document's background jobs against the simulation server: connecting after an open on
// the worker while the GUI thread pumps, each job kind, and the server notifications.
#include "docview/update_hints.h"
#include "persistence/document_notifier.h"
#include "platform/strings/string_table.h"
#include "simserver/server_registry.h"
#include "tests/persistence/document_support.h"
#include "tests/support/messages.h"

#include <QCoreApplication>

#include <set>

#include <chrono>
#include <condition_variable>
#include <cstdio>

namespace {

// A one-shot signal between the worker and the GUI thread.
class Latch {
public:
    void Set() {
        std::lock_guard lock(mutex_);
        set_ = true;
        changed_.notify_all();
    }
    bool Wait() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return set_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
};

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "persistence_tests";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);
    return *app;
}

}  // namespace

class JobTest : public DocumentTest {
protected:
    void SetUp() override {
        DocumentTest::SetUp();
        simserver::RegisterSimulationServers();
        document.SetWaitUi(&waitUi);
    }
    void TearDown() override {
        DocumentTest::TearDown();
        document.SetWaitUi(nullptr);
    }

    int IndexOf(const std::string& text) const {
        const std::vector<std::string> texts = recorder.Events();
        const auto it = std::find(texts.begin(), texts.end(), text);
        return it == texts.end() ? -1 : static_cast<int>(it - texts.begin());
    }

    WaitUiRecorder waitUi{document};
};

TEST_F(JobTest, OpenConnectsOnTheWorkerWhileTheGuiThreadPumpsBusy) {
    ProjectRecord project;
    GroupRecord group;
    group.name = "Live";
    group.items = {{"", "Ramp.I2", 1, 0, 1, 1, 0}, {"", "Sine.R8", 1, 0, 1, 2, 0}};
    project.servers = {{simserver::kDefaultProgId, "", 0, {group}}, {simserver::kFlatProgId, "", 0, {}}};
    WriteProject(Path("live.ovopc"), project);

    // The worker's first connect waits until the GUI thread has pumped with the flag set, so
    // the pump is seen whatever the machine's speed.
    Latch pumpedWhileBusy;
    waitUi.onPump = [&] {
        if (document.IsBusy()) pumpedWhileBusy.Set();
    };
    bool waited = false;
    recorder.SetOnEvent([&](const std::string& text) {
        if (text == Msg(15000, simserver::kDefaultProgId)) waited = pumpedWhileBusy.Wait();
    });

    ASSERT_TRUE(document.OnOpenDocument(Path("live.ovopc")));
    recorder.SetOnEvent(nullptr);
    EXPECT_TRUE(waited);
    EXPECT_FALSE(document.IsBusy());
    EXPECT_GE(waitUi.pumpsWhileBusy, 1);
    // The hourglass while the old contents go, the arrow with hourglass while the worker runs.
    EXPECT_EQ(waitUi.shown, (std::vector{DocumentWaitUi::Cursor::Wait, DocumentWaitUi::Cursor::AppStarting}));
    EXPECT_EQ(waitUi.restored, static_cast<int>(waitUi.shown.size()));

    // Connected from the last array entry to the first: the file's first server first.
    const int first = IndexOf(Msg(15000, simserver::kDefaultProgId));
    const int second = IndexOf(Msg(15000, simserver::kFlatProgId));
    ASSERT_GE(first, 0);
    ASSERT_GT(second, first);
    EXPECT_NE(recorder.EventThread(static_cast<std::size_t>(first)), std::this_thread::get_id());

    const CVServer* live = document.FirstServer()->next;
    ASSERT_TRUE(live->IsConnected());
    for (const CVItem* item = live->FirstGroup()->FirstItem(); item; item = item->next) EXPECT_TRUE(item->added);
}

TEST_F(JobTest, EachKindDoesItsWork) {
    CVServer* b = AddServer(simserver::kFlatProgId);
    CVServer* a = AddServer(simserver::kDefaultProgId);
    CVGroup* group = AddGroup(a, "G");

    document.RunBackgroundJob(BackgroundJob::ForServer(JobKind::ConnectServer, a));
    EXPECT_TRUE(a->IsConnected());
    EXPECT_TRUE(group->onServer);
    document.RunBackgroundJob(BackgroundJob::ForServer(JobKind::DisconnectServer, a));
    EXPECT_FALSE(a->IsConnected());

    document.RunBackgroundJob(BackgroundJob::ForServers(JobKind::ConnectServers, {a, b}));
    EXPECT_TRUE(a->IsConnected() && b->IsConnected());

    std::vector<CVItem*> items;
    for (const char* id : {"Ramp.I4", "Ramp.R4", "No.Such.Item"}) {
        auto* item = new CVItem(group);
        item->itemId = id;
        items.push_back(item);
    }
    document.RunBackgroundJob(BackgroundJob::ForItems(items));
    EXPECT_EQ(group->ItemCount(), 3u);
    EXPECT_TRUE(items[0]->added && items[1]->added);
    EXPECT_FALSE(items[2]->added);

    document.RunBackgroundJob(BackgroundJob::ForServers(JobKind::DisconnectServers, {a, b}));
    EXPECT_FALSE(a->IsConnected() || b->IsConnected());

    const std::size_t events = recorder.Events().size();
    BackgroundJob unknown = BackgroundJob::ForServer(JobKind::ConnectServer, a);
    unknown.kind = 9;
    document.RunBackgroundJob(unknown);
    EXPECT_FALSE(a->IsConnected());
    EXPECT_EQ(recorder.Events().size(), events);
    EXPECT_FALSE(document.IsBusy());
}

TEST_F(JobTest, ConnectServersRunsFromTheLastEntry) {
    CVServer* b = AddServer(simserver::kFlatProgId);
    CVServer* a = AddServer(simserver::kDefaultProgId);
    document.RunBackgroundJob(BackgroundJob::ForServers(JobKind::ConnectServers, {a, b}));
    const int flat = IndexOf(Msg(15000, simserver::kFlatProgId));
    const int full = IndexOf(Msg(15000, simserver::kDefaultProgId));
    ASSERT_GE(flat, 0);
    EXPECT_LT(flat, full);

    document.RunBackgroundJob(BackgroundJob::ForServers(JobKind::DisconnectServers, {a, b}));
    EXPECT_LT(IndexOf(Msg(15002, simserver::kFlatProgId)), IndexOf(Msg(15002, simserver::kDefaultProgId)));
}

TEST_F(JobTest, ConnectAndDisconnectCommandsShowTheirTextAndTellTheViews) {
    CVServer* server = AddServer(simserver::kDefaultProgId);
    document.ConnectServer(server);
    EXPECT_TRUE(server->IsConnected());
    EXPECT_EQ(view.hints.back().hint, HINT_CONNECTION_STATES);
    document.DisconnectServer(server);
    EXPECT_FALSE(server->IsConnected());
    const std::vector<std::string> status = recorder.StatusTexts();
    EXPECT_EQ(status, (std::vector<std::string>{"正在连接", "Ready", "正在断开连接", "Ready"}));
}

TEST_F(JobTest, ServerNotificationsDisconnectOnTheGuiThread) {
    QCoreApplication& app = App();
    CVServer* server = AddServer(simserver::kDefaultProgId);
    document.ConnectServer(server);
    ASSERT_TRUE(server->IsConnected());
    DocumentClientNotifier notifier(document);

    // The server's own shutdown request arrives on a server thread.
    std::thread([] { simserver::RequestShutdown(simserver::kDefaultProgId, u"maintenance"); }).join();
    EXPECT_TRUE(server->IsConnected());  // queued, not yet run
    view.hints.clear();
    app.processEvents();
    EXPECT_FALSE(server->IsConnected());
    EXPECT_EQ(view.Numbers(), (std::vector<int>{HINT_CONNECTION_STATES}));

    // A watchdog's verdict: disconnected on the worker, after any job that runs.
    document.ConnectServer(server);
    std::thread([&] { NotifyServerStoppedAnswering(server); }).join();
    app.processEvents();
    EXPECT_FALSE(server->IsConnected());

    // A notification about a server that is gone by the time it runs is dropped.
    document.ConnectServer(server);
    std::thread([&] { NotifyServerStoppedAnswering(server); }).join();
    document.DeleteContents();
    app.processEvents();
    EXPECT_EQ(document.ServerCount(), 0);
}

TEST_F(JobTest, DeadServerReportedDuringAJobIsDisconnectedAfterIt) {
    CVServer* dead = AddServer(simserver::kFlatProgId);
    CVServer* other = AddServer(simserver::kDefaultProgId);
    document.ConnectServer(dead);
    ASSERT_TRUE(dead->IsConnected());

    // The verdict arrives while the GUI thread pumps during the other server's connect; the
    // connect waits for it, so it surely arrives mid-job.
    Latch reported;
    bool connectedWhenReported = false;
    bool once = false;
    waitUi.onPump = [&] {
        if (once || !document.IsBusy()) return;
        once = true;
        document.OnServerStoppedAnswering(dead);
        connectedWhenReported = dead->IsConnected();
        reported.Set();
    };
    recorder.SetOnEvent([&](const std::string& text) {
        if (text == Msg(15000, simserver::kDefaultProgId)) reported.Wait();
    });
    document.ConnectServer(other);
    recorder.SetOnEvent(nullptr);

    EXPECT_TRUE(connectedWhenReported);  // one job at a time: not during the running one
    EXPECT_FALSE(dead->IsConnected());
    EXPECT_TRUE(other->IsConnected());
    EXPECT_FALSE(document.IsBusy());
}

TEST_F(JobTest, AShutdownRequestDuringAConnectWaitsForTheJobInsteadOfHoldingTheGuiThread) {
    CVServer* server = AddServer(simserver::kDefaultProgId);
    // The request arrives while the GUI thread pumps during the connect; the connect, which
    // holds the server, waits until the request has been taken.
    Latch taken;
    bool once = false;
    waitUi.onPump = [&] {
        if (once || !document.IsBusy()) return;
        once = true;
        document.OnServerShutdownRequested(server);
        taken.Set();
    };
    bool takenInTime = false;
    recorder.SetOnEvent([&](const std::string& text) {
        if (text == Msg(15000, simserver::kDefaultProgId)) takenInTime = taken.Wait();
    });
    document.ConnectServer(server);
    recorder.SetOnEvent(nullptr);

    EXPECT_TRUE(takenInTime) << "the GUI thread went on while the connect held the server";
    EXPECT_FALSE(server->IsConnected()) << "the server that asked to shut down is disconnected after the job";
    EXPECT_FALSE(document.IsBusy());
}

TEST_F(JobTest, DemoProjectConnectsEveryItem) {
    ASSERT_TRUE(document.OnOpenDocument(OPC_SOURCE_DIR "/examples/demo.ovopc"));
    ASSERT_EQ(document.ServerCount(), 1);
    const CVServer* server = document.FirstServer();
    EXPECT_TRUE(server->IsConnected());
    std::set<DWORD> modes;
    int items = 0;
    for (const CVGroup* group = server->FirstGroup(); group; group = group->next) {
        modes.insert(group->DataChangeMode());
        for (const CVItem* item = group->FirstItem(); item; item = item->next, ++items)
            EXPECT_TRUE(item->added) << item->itemId;
    }
    EXPECT_EQ(modes, (std::set<DWORD>{0, 1, 2}));
    EXPECT_EQ(recorder.ItemCount(), items);
}

TEST_F(JobTest, NewItemsAreAddedDirectlyUpTo64AndOnTheWorkerFrom65) {
    CVServer* server = AddServer(simserver::kDefaultProgId);
    document.ConnectServer(server);
    CVGroup* group = AddGroup(server, "Line 1");
    server->AddGroup(group, true);
    ASSERT_TRUE(group->onServer);
    int loadTag = 0;
    const auto makeItems = [&](int count) {
        std::vector<CVItem*> items;
        for (int i = 0; i < count; ++i) {
            auto* item = new CVItem(group);
            char id[32];
            std::snprintf(id, sizeof id, "Load.T%04d", loadTag++);
            item->itemId = id;
            item->active = TRUE;
            items.push_back(item);
        }
        return items;
    };
    for (const int count : {64, 65}) {
        SCOPED_TRACE(count);
        recorder.ClearStatusTexts();
        view.hints.clear();
        waitUi.shown.clear();
        document.SetModifiedFlag(false);
        std::vector<CVItem*> passed;  // the array lives only while the views are told
        view.onHint = [&](int, void* object) {
            for (auto* const* at = static_cast<CVItem* const*>(object); *at; ++at) passed.push_back(*at);
        };
        const std::vector<CVItem*> items = makeItems(count);
        document.AddNewItems(*group, items);
        for (CVItem* item : items) EXPECT_TRUE(item->added) << item->itemId;
        const bool onWorker = count >= 65;
        const std::vector<std::string> status =
            onWorker ? std::vector<std::string>{"正在添加变量", "Ready"} : std::vector<std::string>{};
        EXPECT_EQ(recorder.StatusTexts(), status);
        // The worker's cursor: the windows answer while it runs.
        const std::vector<DocumentWaitUi::Cursor> cursors =
            onWorker ? std::vector{DocumentWaitUi::Cursor::AppStarting} : std::vector<DocumentWaitUi::Cursor>{};
        EXPECT_EQ(waitUi.shown, cursors);
        ASSERT_EQ(view.Numbers(), std::vector<int>{HINT_ITEMS_ADDED});
        EXPECT_EQ(passed, items) << "in creation order, up to the null entry";
        EXPECT_TRUE(document.IsModified());
    }
    EXPECT_EQ(group->ItemCount(), 129u);
}
