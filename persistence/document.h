// The project document: the servers of the project (newest first), the selection of the
// group tree, the busy flag of the background worker, and the project file. Opening a
// project builds the tree from the file, records the path in OPC.cfg and connects every
// server on the worker while the GUI thread keeps dispatching events. Saving records the path
// and replaces the file atomically. Split save and the CSV import and export of a group are
// operations of the document too.
#pragma once

#include "docview/document.h"
#include "persistence/background_job.h"
#include "persistence/project_tree.h"
#include "persistence/wait_ui.h"

#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

class CItemAddressRegistry;
class CVGroup;
class CVItem;
class CVServer;

class CVDocument : public Document {
public:
    // The project's items take their forwarding addresses from `registry`.
    explicit CVDocument(CItemAddressRegistry& registry);
    ~CVDocument() override;

    // Where the project's items have their forwarding addresses.
    const CItemAddressRegistry& Registry() const { return registry_; }

    // The project's servers, newest first.
    CVServer* FirstServer() const { return servers_.First(); }
    int ServerCount() const override { return servers_.Count(); }
    bool ContainsServer(const CVServer* server) const;
    // The New server command, after the property sheet connected the server: links it at the
    // head, tells the views (1000) and marks the project modified.
    void AddNewServer(CVServer* server);
    // The group tree's Delete, without asking. A server: unlinked, the views told (1001),
    // destroyed with its groups and items. A group: the views told (1021), taken off its
    // server and destroyed with its items. Either way the project is marked modified, and a
    // current server or group that goes with it is current no longer.
    void DeleteServer(CVServer* server);
    void DeleteGroup(CVGroup* group);
    // The group tree's Clone group: a copy of the group on its server, with its items at
    // their own addresses; the views are told (1020) and the project is marked modified.
    // Null when the server made no copy.
    CVGroup* CloneGroup(CVGroup& group);
    // The New item command's result: the group takes `items` and adds them to the server,
    // directly for fewer than 65, else on the worker while the status bar says so; the views
    // are told (1040) and the project is marked modified.
    void AddNewItems(CVGroup& group, std::vector<CVItem*> items);

    // The group tree's selection: at most one of the two is set.
    CVServer* GetCurrentServer() const { return currentServer_; }
    CVGroup* GetCurrentGroup() const { return currentGroup_; }
    void SetCurrentServer(CVServer* server);
    void SetCurrentGroup(CVGroup* group);
    void* CurrentServer() const override { return currentServer_; }
    void* CurrentGroup() const override { return currentGroup_; }

    bool IsBusy() const override;
    // Sets the modified flag; when the document was unmodified it first puts " *" behind the
    // title (flag set) or trims it off (flag clear).
    void MarkModified(bool modified) override;

    bool OnNewDocument() override;
    // Reads the file, records its path in OPC.cfg, tells the views (1060) and connects the
    // servers on the worker. A refused file leaves the project empty.
    bool OnOpenDocument(const std::string& path) override;
    // Records the path in OPC.cfg, then writes the project over the file atomically.
    bool OnSaveDocument(const std::string& path) override;
    // Tells the views (1061), disconnects and destroys every server, clears the selection.
    void DeleteContents() override;

    // Runs the job on the worker thread; the GUI thread dispatches its events every 10 ms
    // until the worker ends, with the busy flag set. Returns when the job is done.
    void RunBackgroundJob(const BackgroundJob& job);
    // The group tree's Connect and Disconnect commands: the job with its status-bar text
    // ("正在连接", "正在断开连接"), then hint 1062.
    void ConnectServer(CVServer* server);
    void DisconnectServer(CVServer* server);
    // Disconnect, then Connect.
    void ReconnectServer(CVServer* server);

    // A server that asked to shut down is disconnected here (GUI thread); the views are told.
    // During a job both wait for it to end.
    void OnServerShutdownRequested(CVServer* server);
    // A server whose watchdog found it dead is disconnected on the worker; the views are told.
    void OnServerStoppedAnswering(CVServer* server);

    // Writes every item of the project into files "<base>-<k>.ovopc", each one server (the
    // first) with one group (its first) holding a consecutive slice of the items.
    void SplitSave(const std::string& basePath, int fileCount);

    // Writes the group's items to a CSV file. False after showing the file error.
    bool ExportCsv(const CVGroup& group, const std::string& path);
    // Reads items from a CSV file into the group, all or nothing; the views are told (1040)
    // and the project is marked modified. Returns the number of items added (0 after an
    // error, which has been shown).
    int ImportCsv(CVGroup& group, const std::string& path);

    // Copy: the server, the group or the items as the project file's records, with their count
    // before them, for the clipboard. Items are also given as CSV text (LF line ends).
    std::vector<std::uint8_t> CopyServer(const CVServer& server) const;
    std::vector<std::uint8_t> CopyGroup(const CVGroup& group) const;
    std::vector<std::uint8_t> CopyItems(const std::vector<CVItem*>& items) const;
    static std::string ItemsAsCsvText(const std::vector<CVItem*>& items);

    // Paste: adds copies of the records in `bytes` as the New commands add new objects. A
    // server is listed and connected; a group goes onto `server` under a name the server does
    // not have yet; items go into `group` and onto its server. Every item takes a new address
    // from the registry. The views are told and the project is marked modified. Content that
    // is larger than kMaxPasteBytes or is not records of that kind is refused with a message
    // and changes nothing. Each returns the number of objects added.
    static constexpr std::size_t kMaxPasteBytes = std::size_t{16} * 1024 * 1024;
    int PasteServers(std::span<const std::uint8_t> bytes);
    int PasteGroups(CVServer& server, std::span<const std::uint8_t> bytes);
    int PasteItems(CVGroup& group, std::span<const std::uint8_t> bytes);

    // Installs the cursor and event pump (not owned); null restores the plain event pump.
    void SetWaitUi(DocumentWaitUi* ui);

protected:
    bool Load(std::span<const std::uint8_t> bytes) override;
    std::vector<std::uint8_t> Store() const override;

private:
    DocumentWaitUi& WaitUi() const;
    void SetBusy(bool busy);
    void ShowMessage(const std::string& text) const;
    std::vector<CVServer*> ServersInListOrder() const;
    // True when a job runs: the server is then disconnected once it has ended.
    bool DeferWhileBusy(CVServer* server);
    // Checks and decodes pasted bytes with `decode`; false after showing why they were refused.
    template <class Record, class Decode>
    bool DecodePasted(std::span<const std::uint8_t> bytes, std::vector<Record>& records, Decode decode) const;
    void RunDeferredDisconnects();

    CItemAddressRegistry& registry_;
    ServerList servers_;
    CVServer* currentServer_ = nullptr;
    CVGroup* currentGroup_ = nullptr;

    mutable std::mutex busyLock_;
    int busyDepth_ = 0;  // jobs running; a nested job must not clear the flag early

    // Dead servers reported while a job ran; disconnected once it has ended.
    std::vector<CVServer*> deferredDisconnects_;

    DocumentWaitUi* waitUi_ = nullptr;
    std::unique_ptr<DocumentWaitUi> defaultWaitUi_;
};

// The messages of the document's file operations.
std::string ProjectSaveErrorText(const std::string& path);
std::string FileOpenErrorText(const std::string& path, const std::string& reason);
std::string FileWriteErrorText(const std::string& path, const std::string& reason);
