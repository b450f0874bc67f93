#include "simserver/server.h"

#include <new>

#include "platform/com/bstr.h"
#include "platform/com/filetime.h"
#include "platform/com/memory.h"
#include "simserver/group_table.h"
#include "simserver/server_errors.h"
#include "simserver/server_registry.h"
#include "simserver/tag_file.h"

namespace simserver {

namespace {

constexpr WORD kMajorVersion = 1;
constexpr WORD kMinorVersion = 0;
constexpr WORD kBuildNumber = 1;
constexpr DWORD kBandwidthUnknown = 0xFFFFFFFF;

}  // namespace

SimServer::SimServer(std::string progId, const CLSID& clsid, std::shared_ptr<const SimConfig> config)
    : progId_(std::move(progId)),
      clsid_(clsid),
      config_(std::move(config)),
      space_(std::make_shared<AddressSpace>(*config_)),
      groups_(GroupTable::Create(GroupServices{space_, config_, nullptr})),
      startTime_(FileTimeNow()),
      browse_(space_),
      shutdownPoint_(static_cast<IConnectionPointContainer*>(this), IID_IOPCShutdown) {
    savedVersion_ = WrittenStateVersion(*space_);
    TrackLiveServer(this);
}

SimServer::~SimServer() {
    // First, so that RequestShutdown no longer reaches this object.
    UntrackLiveServer(this);
    shutdownPoint_.UnadviseAll();
    groups_->RemoveAll();
}

void* SimServer::FindInterface(REFIID iid) {
    if (iid == IID_IOPCServer && !config_->serverInterface) return nullptr;
    if (iid == IID_IOPCBrowseServerAddressSpace && !config_->browseInterface) return nullptr;
    return ComObject::FindInterface(iid);
}

std::vector<ComPtr<IOPCShutdown>> SimServer::ShutdownSinks() const { return shutdownPoint_.SinksAs<IOPCShutdown>(); }

// --- IOPCServer ----------------------------------------------------------------------------

HRESULT SimServer::AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate, OPCHANDLE hClientGroup,
                            LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD dwLCID, OPCHANDLE* phServerGroup,
                            DWORD* pRevisedUpdateRate, REFIID riid, LPUNKNOWN* ppUnk) {
    return groups_->AddGroup(szName, bActive, dwRequestedUpdateRate, hClientGroup, pTimeBias, pPercentDeadband, dwLCID,
                             phServerGroup, pRevisedUpdateRate, riid, ppUnk);
}

HRESULT SimServer::GetErrorString(HRESULT dwError, LCID dwLocale, LPWSTR* ppString) {
    return ErrorString(dwError, dwLocale, ppString);
}

HRESULT SimServer::GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
    return groups_->GetGroupByName(szName, riid, ppUnk);
}

HRESULT SimServer::GetStatus(OPCSERVERSTATUS** ppServerStatus) {
    if (!ppServerStatus) return E_POINTER;
    *ppServerStatus = nullptr;
    if (config_->statusCallsBeforeFailure &&
        statusCalls_.fetch_add(1, std::memory_order_relaxed) >= *config_->statusCallsBeforeFailure)
        return config_->statusError;

    void* block = CoTaskMemAlloc(sizeof(OPCSERVERSTATUS));
    if (!block) return E_OUTOFMEMORY;
    auto* status = new (block) OPCSERVERSTATUS;
    status->ftStartTime = startTime_;
    status->ftCurrentTime = FileTimeNow();
    status->ftLastUpdateTime = status->ftCurrentTime;
    status->dwServerState = OPC_STATUS_RUNNING;
    status->dwGroupCount = groups_->GroupCount();
    status->dwBandWidth = kBandwidthUnknown;
    status->wMajorVersion = kMajorVersion;
    status->wMinorVersion = kMinorVersion;
    status->wBuildNumber = kBuildNumber;
    status->szVendorInfo = CoTaskWideFromUtf8(config_->vendorInfo);
    *ppServerStatus = status;
    return S_OK;
}

HRESULT SimServer::RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) {
    return groups_->RemoveGroup(hServerGroup, bForce);
}

HRESULT SimServer::CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN* ppUnk) {
    return groups_->CreateGroupEnumerator(dwScope, riid, ppUnk);
}

// --- IOPCCommon ----------------------------------------------------------------------------

HRESULT SimServer::SetLocaleID(LCID dwLcid) {
    if (!IsSupportedLocale(dwLcid)) return E_INVALIDARG;
    locale_.store(dwLcid);
    return S_OK;
}

HRESULT SimServer::GetLocaleID(LCID* pdwLcid) {
    if (!pdwLcid) return E_POINTER;
    *pdwLcid = locale_.load();
    return S_OK;
}

HRESULT SimServer::QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) {
    if (!pdwCount || !pdwLcid) return E_POINTER;
    *pdwCount = 0;
    *pdwLcid = nullptr;
    const auto locales = SupportedLocales();
    auto* out = static_cast<LCID*>(CoTaskMemAlloc(locales.size() * sizeof(LCID)));
    if (!out) return E_OUTOFMEMORY;
    std::copy(locales.begin(), locales.end(), out);
    *pdwCount = static_cast<DWORD>(locales.size());
    *pdwLcid = out;
    return S_OK;
}

HRESULT SimServer::GetErrorString(HRESULT dwError, LPWSTR* ppString) {
    return ErrorString(dwError, locale_.load(), ppString);
}

HRESULT SimServer::SetClientName(LPCWSTR szName) {
    if (!szName) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    clientName_ = szName;
    return S_OK;
}

HRESULT SimServer::ErrorString(HRESULT code, LCID locale, LPWSTR* ppString) const {
    if (!ppString) return E_POINTER;
    *ppString = nullptr;
    if (!IsSupportedLocale(locale)) return E_INVALIDARG;
    const auto text = ServerErrorText(code);
    if (!text) return E_INVALIDARG;
    *ppString = CoTaskWideFromWide(*text);
    return *ppString ? S_OK : E_OUTOFMEMORY;
}

// --- IConnectionPointContainer -------------------------------------------------------------

HRESULT SimServer::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    ConnectionPoint* const points[] = {&shutdownPoint_};
    return EnumConnectionPointsOf(points, ppEnum);
}

HRESULT SimServer::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    ConnectionPoint* const points[] = {&shutdownPoint_};
    return FindConnectionPointIn(points, riid, ppCP);
}

// --- IOPCServerPublicGroups ----------------------------------------------------------------

HRESULT SimServer::GetPublicGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
    return groups_->GetPublicGroupByName(szName, riid, ppUnk);
}

HRESULT SimServer::RemovePublicGroup(OPCHANDLE hServerGroup, BOOL bForce) {
    return groups_->RemovePublicGroup(hServerGroup, bForce);
}

}  // namespace simserver
