#include "opc/client/server.h"
#include "platform/config/opc_config.h"

#include "opc/client/client_notifier.h"
#include "opc/client/group.h"
#include "opc/client/shutdown_sink.h"
#include "platform/com/bstr.h"
#include "platform/com/class_registry.h"
#include "platform/shell/shell.h"
#include "platform/strings/string_table.h"

#include <array>

namespace {

// In-process, local and remote server.
constexpr DWORD kCreationContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
// Longest ProgID or group name handed to the server, in UTF-16 characters.
constexpr std::size_t kMaxNameLength = 260;

// The interface requests of the creation, in the order of CVServer::Interfaces.
constexpr std::array<const IID*, 7> kRequestedInterfaces = {
    &IID_IOPCServer,
    &IID_IOPCCommon,
    &IID_IConnectionPointContainer,
    &IID_IOPCItemProperties,
    &IID_IOPCBrowseServerAddressSpace,
    &IID_IOPCServerPublicGroups,
    &IID_IPersistFile,
};

template <class Itf>
void Adopt(ComPtr<Itf>& slot, const MULTI_QI& request) {
    if (!request.pItf) return;
    if (SUCCEEDED(request.hr))
        slot.attach(static_cast<Itf*>(request.pItf));
    else
        request.pItf->Release();
}

}  // namespace

CVServer::CVServer(ThreadStart watchdog) : progId(LoadString(IDS_DEFAULT_PROGID)) {
    if (watchdog == ThreadStart::kNow) StartWatchdog();
}

void CVServer::StartWatchdog() {
    StartObjectThread(watchdog_, "watchdog", [this] { WatchdogLoop(); });
}

CVServer::~CVServer() {
    {
        std::lock_guard lock(watchdogMutex_);
        running_ = false;
    }
    watchdogWake_.notify_all();
    if (watchdog_.joinable()) watchdog_.join();

    std::lock_guard operation(operationLock_);
    RemoveAllGroups(true);
    ReleaseInterfaces();
}

HRESULT CVServer::GetClassId(CLSID* clsid) const {
    const std::u16string wide = WideFromUtf8(progId);
    if (wide.size() > kMaxNameLength) return CO_E_CLASSSTRING;
    return CLSIDFromProgID(wide.c_str(), clsid);
}

HRESULT CVServer::CreateServerObject(const CLSID& clsid, Interfaces& out) {
    std::array<MULTI_QI, kRequestedInterfaces.size()> requests;
    for (std::size_t i = 0; i < requests.size(); ++i) requests[i] = MULTI_QI{kRequestedInterfaces[i], nullptr, S_OK};

    // The ProgID was resolved here; only the object is created on the remote computer. A
    // connection naming no computer may be served by this machine's server host.
    const std::string computer = remoteComputer.empty() ? ReadServerHost() : remoteComputer;
    std::u16string remoteName;
    COSERVERINFO serverInfo;
    COSERVERINFO* where = nullptr;
    if (!computer.empty()) {
        remoteName = WideFromUtf8(computer);
        serverInfo.pwszName = remoteName.data();
        where = &serverInfo;
    }

    const HRESULT hr = CoCreateInstanceEx(clsid, nullptr, kCreationContext, where, static_cast<DWORD>(requests.size()),
                                          requests.data());
    if (FAILED(hr)) {
        for (MULTI_QI& request : requests)
            if (request.pItf) request.pItf->Release();
        return hr;
    }
    Adopt(out.server, requests[0]);
    Adopt(out.common, requests[1]);
    Adopt(out.container, requests[2]);
    Adopt(out.itemProperties, requests[3]);
    Adopt(out.browse, requests[4]);
    Adopt(out.publicGroups, requests[5]);
    Adopt(out.persistFile, requests[6]);
    return hr;
}

HRESULT CVServer::AdviseShutdownSink(IConnectionPointContainer* container) {
    ComPtr<IConnectionPoint> point;
    HRESULT hr = container->FindConnectionPoint(IID_IOPCShutdown, point.put());
    if (FAILED(hr) || !point) return hr;

    ComPtr<IVShutdownSink> sink(new IVShutdownSink(this, progId));
    DWORD cookie = 0;
    hr = point->Advise(static_cast<IOPCShutdown*>(sink.get()), &cookie);
    std::lock_guard lock(interfaceLock_);
    shutdownSink_ = sink;
    if (SUCCEEDED(hr)) shutdownCookie_ = cookie;
    return hr;
}

bool CVServer::Connect() {
    std::lock_guard operation(operationLock_);
    flags &= ~DWORD{1};
    ReleaseInterfaces();

    CLSID clsid;
    if (FAILED(GetClassId(&clsid))) {
        ReportError(IDS_NO_CLASS_ID, progId.c_str());
        return false;
    }

    Interfaces obtained;
    HRESULT last = CreateServerObject(clsid, obtained);
    if (FAILED(last)) {
        ReportError(IDS_CONNECT_FAILED, progId.c_str(), HrBits(last));
        return false;
    }
    {
        std::lock_guard lock(interfaceLock_);
        interfaces_ = obtained;
    }
    // A server without the shutdown point is still usable.
    if (obtained.container) last = AdviseShutdownSink(obtained.container.get());

    const bool connected = obtained.server != nullptr;
    connectGeneration_.fetch_add(1);
    connected_.store(connected, std::memory_order_release);
    if (connected) statistics_.OnConnected(ServerStatistics::NowMs());
    if (connected)
        LogEvent(IDS_SERVER_CONNECTED, progId.c_str());
    else
        ReportError(IDS_NO_SERVER_INTERFACE, progId.c_str(), HrBits(last));
    return connected;
}

bool CVServer::SetTargetAndConnect(const std::string& newProgId, const std::string& newRemoteComputer) {
    std::lock_guard operation(operationLock_);
    progId = newProgId;
    remoteComputer = newRemoteComputer;
    return Connect();
}

bool CVServer::ConnectWithGroups() {
    std::lock_guard operation(operationLock_);
    const bool connected = Connect();
    for (CVGroup* group = groups_.First(); group; group = group->next) {
        AddGroup(group, true);
        group->AddAllItems();
    }
    return connected;
}

void CVServer::Disconnect() {
    std::lock_guard operation(operationLock_);
    RemoveAllGroups(false);
    ReleaseInterfaces();
}

void CVServer::ReleaseInterfaces() {
    std::lock_guard operation(operationLock_);
    const bool wasConnected = connected_.exchange(false);
    statistics_.OnDisconnected();

    Interfaces released;
    ComPtr<IVShutdownSink> sink;
    DWORD cookie;
    {
        std::lock_guard lock(interfaceLock_);
        released = std::move(interfaces_);
        interfaces_ = Interfaces{};
        sink = std::move(shutdownSink_);
        shutdownSink_ = nullptr;
        cookie = std::exchange(shutdownCookie_, 0);
    }
    released.server = nullptr;
    released.common = nullptr;
    if (released.container && cookie != 0) {
        ComPtr<IConnectionPoint> point;
        if (SUCCEEDED(released.container->FindConnectionPoint(IID_IOPCShutdown, point.put())) && point)
            point->Unadvise(cookie);
    }
    // A shutdown request that is still running finishes before the sink lets go of us.
    if (sink) sink->Detach();
    sink = nullptr;
    released.container = nullptr;
    released.itemProperties = nullptr;
    released.browse = nullptr;
    released.publicGroups = nullptr;
    released.persistFile = nullptr;
    if (wasConnected) LogEvent(IDS_SERVER_DISCONNECTED, progId.c_str());
}

bool CVServer::IsAlive() {
    if (!IsConnected()) return false;
    return StatusAnswers(OpcServer().get());
}

void CVServer::LinkGroup(CVGroup* group) { groups_.PushFront(group); }

void CVServer::UnlinkGroup(CVGroup* group) { groups_.Unlink(group); }

void CVServer::AddGroup(CVGroup* group, bool alreadyListed) {
    std::lock_guard operation(operationLock_);
    if (!alreadyListed) LinkGroup(group);

    const std::string name = group->Name();
    ComPtr<IOPCServer> server = OpcServer();
    if (!IsConnected() || !server) {
        ReportError(IDS_ADD_GROUP_NO_CONNECTION, name.c_str(), progId.c_str());
        return;
    }
    const std::u16string wideName = WideFromUtf8(name);
    if (wideName.size() > kMaxNameLength) {
        ReportError(IDS_ADD_GROUP_FAILED, name.c_str(), progId.c_str(), HrBits(E_INVALIDARG));
        return;
    }

    LONG timeBias = group->timeBias;
    FLOAT deadband = group->percentDeadband;
    OPCHANDLE serverHandle = 0;
    DWORD revisedRate = 0;
    ComPtr<IUnknown> groupObject;
    const HRESULT hr =
        server->AddGroup(wideName.c_str(), group->active, group->updateRate, group->ClientHandle(), &timeBias,
                         &deadband, group->lcid, &serverHandle, &revisedRate, IID_IUnknown, groupObject.put());
    if (FAILED(hr)) {
        ReportError(IDS_ADD_GROUP_FAILED, name.c_str(), progId.c_str(), HrBits(hr));
        return;
    }
    LogEvent(IDS_GROUP_ADDED, name.c_str(), progId.c_str());
    group->onServer = TRUE;
    if (!groupObject) return;
    group->serverGroupHandle = serverHandle;
    if (revisedRate != group->updateRate) group->updateRate = revisedRate;
    group->AttachInterfaces(groupObject.get());
}

void CVServer::RemoveGroup(CVGroup* group, bool deleteGroup) {
    std::lock_guard operation(operationLock_);
    group->DetachInterfaces(deleteGroup);
    if (group->onServer) {
        // After a failed reconnect the server object is gone; the group is simply off it.
        if (ComPtr<IOPCServer> server = OpcServer()) {
            const std::string name = group->Name();
            const HRESULT hr = server->RemoveGroup(group->serverGroupHandle, (group->flags & 1) ? TRUE : FALSE);
            if (SUCCEEDED(hr))
                LogEvent(IDS_GROUP_REMOVED, name.c_str(), progId.c_str());
            else
                ReportError(IDS_REMOVE_GROUP_FAILED, name.c_str(), progId.c_str(), HrBits(hr));
        }
    }
    if (!deleteGroup) {
        group->onServer = FALSE;
        return;
    }
    UnlinkGroup(group);
    delete group;
}

void CVServer::RemoveAllGroups(bool deleteGroups) {
    std::lock_guard operation(operationLock_);
    if (!deleteGroups) {
        for (CVGroup* group = groups_.First(); group; group = group->next) RemoveGroup(group, false);
        return;
    }
    while (CVGroup* group = groups_.First()) RemoveGroup(group, true);
}

ComPtr<IOPCServer> CVServer::OpcServer() const {
    std::lock_guard lock(interfaceLock_);
    return interfaces_.server;
}
ComPtr<IOPCCommon> CVServer::Common() const {
    std::lock_guard lock(interfaceLock_);
    return interfaces_.common;
}
ComPtr<IConnectionPointContainer> CVServer::ConnectionPointContainer() const {
    std::lock_guard lock(interfaceLock_);
    return interfaces_.container;
}
ComPtr<IOPCItemProperties> CVServer::ItemProperties() const {
    std::lock_guard lock(interfaceLock_);
    return interfaces_.itemProperties;
}
ComPtr<IOPCBrowseServerAddressSpace> CVServer::BrowseAddressSpace() const {
    std::lock_guard lock(interfaceLock_);
    return interfaces_.browse;
}
ComPtr<IOPCServerPublicGroups> CVServer::PublicGroups() const {
    std::lock_guard lock(interfaceLock_);
    return interfaces_.publicGroups;
}
ComPtr<IPersistFile> CVServer::PersistFile() const {
    std::lock_guard lock(interfaceLock_);
    return interfaces_.persistFile;
}
