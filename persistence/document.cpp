#include "persistence/document.h"

#include "docview/update_hints.h"
#include "opc/client/group.h"
#include "opc/client/server.h"
#include "persistence/project_codec.h"
#include "platform/config/opc_config.h"
#include "platform/files/atomic_file.h"
#include "platform/shell/shell.h"
#include "platform/strings/language.h"
#include "platform/strings/string_ids.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <system_error>
#include <thread>

namespace {

constexpr auto kPumpInterval = std::chrono::milliseconds(10);

// No cursor; keeps the Qt event queue of the GUI thread moving when there is one.
class EventPumpOnly : public DocumentWaitUi {
public:
    void ShowCursor(Cursor) override {}
    void RestoreCursor() override {}
    void ProcessEvents() override {
        QCoreApplication* app = QCoreApplication::instance();
        if (app && QThread::currentThread() == app->thread()) QCoreApplication::processEvents();
    }
};

}  // namespace

std::string ProjectSaveErrorText(const std::string& path) { return Tr("保存文档失败: ", "Failed to save the document: ") + path; }

std::string FileOpenErrorText(const std::string& path, const std::string& reason) {
    return Tr("无法打开文件 ", "Cannot open the file ") + path + "\n" + reason;
}

std::string FileWriteErrorText(const std::string& path, const std::string& reason) {
    return Tr("无法写入文件 ", "Cannot write the file ") + path + "\n" + reason;
}

CVDocument::CVDocument(CItemAddressRegistry& registry)
    : registry_(registry), defaultWaitUi_(std::make_unique<EventPumpOnly>()) {}

CVDocument::~CVDocument() {
    waitUi_ = nullptr;  // the window that showed the cursor may be gone already
    CVDocument::DeleteContents();
}

bool CVDocument::ContainsServer(const CVServer* server) const {
    for (const CVServer* s = servers_.First(); s; s = s->next)
        if (s == server) return true;
    return false;
}

void CVDocument::AddNewServer(CVServer* server) {
    servers_.PushFront(server);
    UpdateAllViews(nullptr, HINT_SERVER_ADDED, server);
    MarkModified(true);
}

void CVDocument::DeleteServer(CVServer* server) {
    if (!ContainsServer(server)) return;
    servers_.Unlink(server);
    if (currentServer_ == server || (currentGroup_ && currentGroup_->server == server) || servers_.Count() == 0) {
        currentServer_ = nullptr;
        currentGroup_ = nullptr;
    }
    UpdateAllViews(nullptr, HINT_SERVER_REMOVED, server);
    MarkModified(true);
    delete server;  // disconnects; its groups and items go with it
}

void CVDocument::DeleteGroup(CVGroup* group) {
    if (!group || !ContainsServer(group->server)) return;
    if (currentGroup_ == group) currentGroup_ = nullptr;
    UpdateAllViews(nullptr, HINT_GROUP_REMOVED, group);
    MarkModified(true);
    group->server->RemoveGroup(group, true);
}

CVGroup* CVDocument::CloneGroup(CVGroup& group) {
    CVGroup* clone = group.Clone(registry_);
    if (!clone) return nullptr;
    UpdateAllViews(nullptr, HINT_GROUP_ADDED, clone);
    MarkModified(true);
    return clone;
}

void CVDocument::AddNewItems(CVGroup& group, std::vector<CVItem*> items) {
    if (items.empty()) return;
    // Adding many items to a server takes a while: the worker does it while the windows live.
    constexpr std::size_t kItemsAddedDirectly = 64;
    if (items.size() <= kItemsAddedDirectly) {
        group.AddItems(items.data(), static_cast<int>(items.size()), false);
    } else {
        StatusMessage status(IDS_ADDING_ITEMS);
        RunBackgroundJob(BackgroundJob::ForItems(items));
    }
    items.push_back(nullptr);  // the views' array ends with a null entry
    UpdateAllViews(nullptr, HINT_ITEMS_ADDED, items.data());
    MarkModified(true);
}

void CVDocument::SetCurrentServer(CVServer* server) {
    currentServer_ = server;
    if (server) currentGroup_ = nullptr;
}

void CVDocument::SetCurrentGroup(CVGroup* group) {
    currentGroup_ = group;
    if (group) currentServer_ = nullptr;
}

bool CVDocument::IsBusy() const {
    std::lock_guard lock(busyLock_);
    return busyDepth_ > 0;
}

void CVDocument::SetBusy(bool busy) {
    std::lock_guard lock(busyLock_);
    busyDepth_ += busy ? 1 : -1;
}

void CVDocument::MarkModified(bool modified) {
    if (!IsModified()) {
        const std::string& title = Title();
        const bool marked = title.find(" *") != std::string::npos;
        if (modified && !marked) {
            SetTitle(title + " *");
        } else if (!modified && marked) {
            const auto last = title.find_last_not_of(" *");
            SetTitle(last == std::string::npos ? std::string() : title.substr(0, last + 1));
        }
    }
    SetModifiedFlag(modified);
}

bool CVDocument::OnNewDocument() {
    if (!Document::OnNewDocument()) return false;
    MarkModified(false);
    return true;
}

bool CVDocument::OnOpenDocument(const std::string& path) {
    // The base reads the file, empties the project and calls Load; a refused file has been
    // reported and the project is empty.
    if (!Document::OnOpenDocument(path)) return false;
    WriteProjectPath(path);
    if (servers_.Count() > 0) {
        StatusMessage status(IDS_LOADING_PROJECT);
        UpdateAllViews(nullptr, HINT_PROJECT_LOADED, servers_.First());
        RunBackgroundJob(BackgroundJob::ForServers(JobKind::ConnectServers, ServersInListOrder()));
    }
    return true;
}

bool CVDocument::OnSaveDocument(const std::string& path) {
    WriteProjectPath(path);
    const std::vector<std::uint8_t> bytes = Store();
    if (!WriteFileAtomically(path, bytes)) {
        ShowMessage(ProjectSaveErrorText(path));
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

void CVDocument::DeleteContents() {
    ScopedWaitCursor cursor(WaitUi(), DocumentWaitUi::Cursor::Wait);
    StatusMessage status(IDS_UNLOADING_PROJECT);
    UpdateAllViews(nullptr, HINT_PROJECT_UNLOADING, nullptr);
    while (CVServer* server = servers_.PopFront()) {
        server->Disconnect();
        delete server;  // its groups and items go with it; each item gives up its address
    }
    currentServer_ = nullptr;
    currentGroup_ = nullptr;
    deferredDisconnects_.clear();
    Document::DeleteContents();
}

bool CVDocument::Load(std::span<const std::uint8_t> bytes) {
    ProjectRecord project;
    if (DecodeProject(bytes, project) != ProjectLoadError::None) return false;
    try {
        BuildProject(project, servers_, registry_);
    } catch (const std::exception&) {
        // Out of memory (a file can ask for any number of groups): refused like a corrupt
        // file; the base empties the project.
        return false;
    }
    StartProjectThreads(servers_);  // only an accepted file runs anything
    return true;
}

std::vector<std::uint8_t> CVDocument::Store() const { return EncodeProject(ProjectOf(servers_, registry_)); }

void CVDocument::RunBackgroundJob(const BackgroundJob& job) {
    DocumentWaitUi& ui = WaitUi();
    ScopedWaitCursor cursor(ui, DocumentWaitUi::Cursor::AppStarting);
    SetBusy(true);
    struct Completion {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
    } completion;
    try {
        std::thread worker([&job, &completion] {
            RunJobWork(job);
            std::lock_guard lock(completion.mutex);
            completion.done = true;
            completion.ended.notify_all();
        });
        for (;;) {
            std::unique_lock lock(completion.mutex);
            if (completion.ended.wait_for(lock, kPumpInterval, [&] { return completion.done; })) break;
            lock.unlock();
            ui.ProcessEvents();
        }
        worker.join();
    } catch (const std::system_error&) {
        // The worker could not be started: the flag was set and is cleared with nothing done.
    }
    SetBusy(false);
    if (!IsBusy()) RunDeferredDisconnects();
}

void CVDocument::ConnectServer(CVServer* server) {
    {
        StatusMessage status(IDS_CONNECTING);
        RunBackgroundJob(BackgroundJob::ForServer(JobKind::ConnectServer, server));
    }
    UpdateAllViews(nullptr, HINT_CONNECTION_STATES, nullptr);
}

void CVDocument::DisconnectServer(CVServer* server) {
    {
        StatusMessage status(IDS_DISCONNECTING);
        RunBackgroundJob(BackgroundJob::ForServer(JobKind::DisconnectServer, server));
    }
    UpdateAllViews(nullptr, HINT_CONNECTION_STATES, nullptr);
}

void CVDocument::ReconnectServer(CVServer* server) {
    DisconnectServer(server);
    ConnectServer(server);
}

void CVDocument::OnServerShutdownRequested(CVServer* server) {
    if (!ContainsServer(server)) return;  // removed while the request was queued
    // A job holds the server (a connect it may have come from): disconnecting here would
    // hold the GUI thread until the job ends.
    if (DeferWhileBusy(server)) return;
    server->Disconnect();
    UpdateAllViews(nullptr, HINT_CONNECTION_STATES, nullptr);
}

void CVDocument::OnServerStoppedAnswering(CVServer* server) {
    if (!ContainsServer(server)) return;
    if (DeferWhileBusy(server)) return;
    DisconnectServer(server);
}

bool CVDocument::DeferWhileBusy(CVServer* server) {
    if (!IsBusy()) return false;
    // One job at a time: the disconnect runs when the current job has ended.
    if (std::ranges::find(deferredDisconnects_, server) == deferredDisconnects_.end())
        deferredDisconnects_.push_back(server);
    return true;
}

void CVDocument::RunDeferredDisconnects() {
    while (!deferredDisconnects_.empty() && !IsBusy()) {
        CVServer* server = deferredDisconnects_.front();
        deferredDisconnects_.erase(deferredDisconnects_.begin());
        if (ContainsServer(server)) DisconnectServer(server);
    }
}

void CVDocument::SetWaitUi(DocumentWaitUi* ui) { waitUi_ = ui; }

DocumentWaitUi& CVDocument::WaitUi() const { return waitUi_ ? *waitUi_ : *defaultWaitUi_; }

void CVDocument::ShowMessage(const std::string& text) const {
    if (Prompts()) Prompts()->ShowError(text);
}

std::vector<CVServer*> CVDocument::ServersInListOrder() const {
    std::vector<CVServer*> servers;
    servers.reserve(static_cast<std::size_t>(servers_.Count()));
    for (CVServer* server = servers_.First(); server; server = server->next) servers.push_back(server);
    return servers;
}
