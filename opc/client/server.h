// One connection to an OPC DA server, named by its ProgID and optionally a remote computer.
// The server object creates the server's COM object, keeps its interfaces, owns its groups in
// an intrusive list (newest first), listens for the server's shutdown request, and runs a
// watchdog thread that has a dead server disconnected.
//
// Threads: the operations run on the GUI thread or the document's worker. The watchdog reads
// the connected flag and the IOPCServer interface concurrently; the interfaces sit behind a
// small lock and are handed out as ComPtr copies, so a caller calls the server outside it.
// The server-level operations (connect, disconnect, adding and removing groups) are
// serialised, so a watchdog that disconnects on its own never interleaves with them.
#pragma once

#include "opc/client/intrusive_list.h"
#include "opc/client/server_statistics.h"
#include "opc/client/thread_start.h"
#include "opc/da/opcda.h"
#include "platform/com/connection_point.h"
#include "platform/com/unknown.h"
#include "platform/shell/shell.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class CVGroup;
class IVShutdownSink;

class CVServer {
public:
    explicit CVServer(ThreadStart watchdog = ThreadStart::kNow);
    // Starts the watchdog if it is not running; without it a dead server is not noticed.
    void StartWatchdog();
    // Stops the watchdog, removes and deletes every group, releases the server.
    ~CVServer();
    CVServer(const CVServer&) = delete;
    CVServer& operator=(const CVServer&) = delete;

    // Plain members (GUI thread / document worker).
    std::string progId;          // starts as the default ProgID
    std::string remoteComputer;  // empty: this computer
    DWORD flags = 0;             // kept in the project file; every connect clears bit 0
    CVServer* prev = nullptr;    // links of the document's server list
    CVServer* next = nullptr;

    // Creates the server object with the seven interface requests and advises the shutdown
    // sink. True when IOPCServer was obtained. Reports 15000, 16000, 16001 or 16002.
    bool Connect();
    bool SetTargetAndConnect(const std::string& newProgId, const std::string& newRemoteComputer);
    // Connect, then every group (list order) onto the server with all its items.
    bool ConnectWithGroups();
    // Takes every group off the server (they and their items stay) and releases the server.
    void Disconnect();
    // Reports 15002 when the server was connected.
    void ReleaseInterfaces();
    // Connected and IOPCServer::GetStatus answers.
    bool IsAlive();

    // Puts the group on the server (linking it first unless already listed). Reports 15001,
    // 16003 or 16008.
    void AddGroup(CVGroup* group, bool alreadyListed);
    // Links the group at the head of the list without any server call.
    void LinkGroup(CVGroup* group);
    // Takes the group off the server (15003 / 16004); with `deleteGroup` also unlinks and
    // deletes it and its items.
    void RemoveGroup(CVGroup* group, bool deleteGroup);
    void RemoveAllGroups(bool deleteGroups);
    bool HasGroupNamed(const std::string& name) const;  // without regard to case
    // Leaves a free name alone; otherwise appends or increments a number, keeping at most 32
    // characters. False when no free name fits.
    bool MakeUniqueGroupName(std::string& name) const;
    HRESULT GetClassId(CLSID* clsid) const;

    bool IsConnected() const { return connected_.load(std::memory_order_acquire); }
    CVGroup* FirstGroup() const { return groups_.First(); }
    int GroupCount() const { return groups_.Count(); }

    // Its figures for the status window; any thread.
    ServerStatistics& Statistics() { return statistics_; }
    const ServerStatistics& Statistics() const { return statistics_; }
    // Reports an error event of this server (or of its groups) and keeps it as the last error.
    template <class... Args>
    void ReportError(EventMessage<std::type_identity_t<Args>...> message, Args... args);

    // The server's interfaces; empty when not obtained.
    ComPtr<IOPCServer> OpcServer() const;
    ComPtr<IOPCCommon> Common() const;
    ComPtr<IConnectionPointContainer> ConnectionPointContainer() const;
    ComPtr<IOPCItemProperties> ItemProperties() const;
    ComPtr<IOPCBrowseServerAddressSpace> BrowseAddressSpace() const;
    ComPtr<IOPCServerPublicGroups> PublicGroups() const;
    ComPtr<IPersistFile> PersistFile() const;

private:
    struct Interfaces {
        ComPtr<IOPCServer> server;
        ComPtr<IOPCCommon> common;
        ComPtr<IConnectionPointContainer> container;
        ComPtr<IOPCItemProperties> itemProperties;
        ComPtr<IOPCBrowseServerAddressSpace> browse;
        ComPtr<IOPCServerPublicGroups> publicGroups;
        ComPtr<IPersistFile> persistFile;
    };

    HRESULT CreateServerObject(const CLSID& clsid, Interfaces& out);
    HRESULT AdviseShutdownSink(IConnectionPointContainer* container);
    void UnlinkGroup(CVGroup* group);
    // GetStatus succeeds with a status block (which is freed).
    static bool StatusAnswers(IOPCServer* server);
    void WatchdogLoop();
    void HandleDeadServer(unsigned generation);

    // Watchdog.
    bool running_ = true;  // under watchdogMutex_
    std::mutex watchdogMutex_;
    std::condition_variable watchdogWake_;
    std::thread watchdog_;

    mutable std::mutex interfaceLock_;
    Interfaces interfaces_;
    ComPtr<IVShutdownSink> shutdownSink_;
    DWORD shutdownCookie_ = 0;
    std::atomic<bool> connected_{false};
    // Counts connects, so a watchdog verdict about an earlier connection is dropped.
    std::atomic<unsigned> connectGeneration_{0};
    unsigned deadReportedGeneration_ = 0;  // watchdog thread only

    // Serialises the server-level operations; recursive because they call each other.
    mutable std::recursive_mutex operationLock_;

    IntrusiveList<CVGroup> groups_;
    ServerStatistics statistics_;
};

template <class... Args>
void CVServer::ReportError(EventMessage<std::type_identity_t<Args>...> message, Args... args) {
    const std::string text = EventText(message, args...);
    LogEventText(message.id, text);
    statistics_.NoteError(text, ServerStatistics::NowMs());
}

// ReportError of the group's server, or a plain event for a group without one.
template <class... Args>
void ReportServerError(CVServer* server, EventMessage<std::type_identity_t<Args>...> message, Args... args) {
    if (server)
        server->ReportError(message, args...);
    else
        LogEvent(message, args...);
}
