// The group object's life and its state: IOPCGroupStateMgt, IOPCPublicGroupStateMgt and the
// factory.
#include <atomic>
#include <cmath>

#include "platform/com/bstr.h"
#include "simserver/group_object.h"
#include "simserver/group_table.h"
#include "simserver/sim_config.h"

namespace simserver {

namespace {

OPCHANDLE NextGroupHandle() {
    static std::atomic<OPCHANDLE> next{1};
    OPCHANDLE h = next.fetch_add(1);
    return h ? h : next.fetch_add(1);
}

bool IsValidDeadband(FLOAT percent) { return std::isfinite(percent) && percent >= 0.0f && percent <= 100.0f; }

}  // namespace

NewGroup CreateGroup(const GroupParams& params, const GroupServices& services, std::weak_ptr<GroupTable> table) {
    NewGroup made;
    made.serverHandle = NextGroupHandle();
    made.revisedUpdateRate = ReviseUpdateRate(params.requestedUpdateRate);
    made.group = MakeComObject<Group>(params, services, std::move(table), made.serverHandle);
    return made;
}

IUnknown* GroupIdentity(Group* group) { return group ? group->Identity() : nullptr; }

Group::Group(const GroupParams& params, const GroupServices& services, std::weak_ptr<GroupTable> table,
             OPCHANDLE serverHandle)
    : core_(std::make_shared<GroupCore>(services, this)),
      table_(std::move(table)),
      serverHandle_(serverHandle),
      hasConnectionPoints_(!services.config || services.config->groupConnectionPoints) {
    {
        std::lock_guard lock(core_->mutex);
        core_->name = params.name;
        core_->serverHandle = serverHandle;
        core_->clientGroup = params.clientGroup;
        core_->active = params.active;
        core_->updateRate = ReviseUpdateRate(params.requestedUpdateRate);
        core_->timeBias = params.timeBias;
        core_->percentDeadband = params.percentDeadband;
        core_->lcid = params.lcid;
    }
    core_->Start();
}

Group::~Group() { core_->Shutdown(); }

void* Group::FindInterface(REFIID iid) {
    if (iid == IID_IConnectionPointContainer && !hasConnectionPoints_) return nullptr;
    return ComObject::FindInterface(iid);
}

std::u16string Group::Name() {
    std::lock_guard lock(core_->mutex);
    return core_->name;
}

bool Group::IsPublic() {
    std::lock_guard lock(core_->mutex);
    return core_->isPublic;
}

void Group::Detach(bool end) {
    {
        std::lock_guard lock(core_->mutex);
        table_.reset();
    }
    if (end) core_->Shutdown();
}

void Group::SetNameFromTable(const std::u16string& name) {
    std::lock_guard lock(core_->mutex);
    core_->name = name;
}

void Group::SetPublicFromTable() {
    std::lock_guard lock(core_->mutex);
    core_->isPublic = true;
}

ULONG Group::References() {
    AddRef();
    return Release();
}

// --- IOPCGroupStateMgt ---------------------------------------------------------------

HRESULT Group::GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName, LONG* pTimeBias, FLOAT* pPercentDeadband,
                        DWORD* pLCID, OPCHANDLE* phClientGroup, OPCHANDLE* phServerGroup) {
    if (ppName) *ppName = nullptr;
    if (!pUpdateRate || !pActive || !ppName || !pTimeBias || !pPercentDeadband || !pLCID || !phClientGroup ||
        !phServerGroup)
        return E_POINTER;
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    LPWSTR name = CoTaskWideFromWide(core_->name);
    if (!name) return E_OUTOFMEMORY;
    *pUpdateRate = core_->updateRate;
    *pActive = core_->active ? TRUE : FALSE;
    *ppName = name;
    *pTimeBias = core_->timeBias;
    *pPercentDeadband = core_->percentDeadband;
    *pLCID = core_->lcid;
    *phClientGroup = core_->clientGroup;
    *phServerGroup = core_->serverHandle;
    return S_OK;
}

HRESULT Group::SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate, BOOL* pActive, LONG* pTimeBias,
                        FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup) {
    if (pPercentDeadband && !IsValidDeadband(*pPercentDeadband)) return E_INVALIDARG;
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    HRESULT hr = S_OK;
    bool updateNow = false;
    if (pRequestedUpdateRate) {
        const DWORD revised = ReviseUpdateRate(*pRequestedUpdateRate);
        if (revised != *pRequestedUpdateRate) hr = OPC_S_UNSUPPORTEDRATE;
        updateNow = revised != core_->updateRate;
        core_->updateRate = revised;
    }
    if (pRevisedUpdateRate) *pRevisedUpdateRate = core_->updateRate;
    if (pActive) {
        const bool activate = *pActive != FALSE;
        if (activate && !core_->active) {
            // A group made active sends every active item at its first update.
            for (GroupItem& item : core_->items) item.sendNext = true;
            updateNow = true;
        }
        core_->active = activate;
    }
    if (pTimeBias) core_->timeBias = *pTimeBias;
    if (pPercentDeadband) core_->percentDeadband = *pPercentDeadband;
    if (pLCID) core_->lcid = *pLCID;
    if (phClientGroup) core_->clientGroup = *phClientGroup;
    if (updateNow) core_->UpdateSoonLocked();
    return hr;
}

HRESULT Group::PrivateGroupTable(std::shared_ptr<GroupTable>& table) {
    {
        std::lock_guard lock(core_->mutex);
        if (core_->shutdown) return E_FAIL;
        if (core_->isPublic) return OPC_E_PUBLIC;
        table = table_.lock();
    }
    return table ? S_OK : E_FAIL;
}

HRESULT Group::SetName(LPCWSTR szName) {
    if (!szName || !*szName) return E_INVALIDARG;
    std::shared_ptr<GroupTable> table;
    if (HRESULT hr = PrivateGroupTable(table); FAILED(hr)) return hr;
    return table->Rename(serverHandle_, std::u16string(szName));
}

HRESULT Group::CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
    if (!ppUnk) return E_POINTER;
    *ppUnk = nullptr;
    std::shared_ptr<GroupTable> table;
    GroupParams params;
    std::vector<GroupItem> sourceItems;
    {
        std::lock_guard lock(core_->mutex);
        if (core_->shutdown) return E_FAIL;
        table = table_.lock();
        params.name = szName ? std::u16string(szName) : std::u16string();
        params.active = false;  // a clone starts inactive, without connections
        params.requestedUpdateRate = core_->updateRate;
        params.clientGroup = core_->clientGroup;
        params.timeBias = core_->timeBias;
        params.percentDeadband = core_->percentDeadband;
        params.lcid = core_->lcid;
        for (const GroupItem& item : core_->items) {
            GroupItem copy;
            copy.clientHandle = item.clientHandle;
            copy.itemId = item.itemId;
            copy.accessPath = item.accessPath;
            copy.tag = item.tag;
            copy.requestedType = item.requestedType;
            copy.active = item.active;
            sourceItems.push_back(std::move(copy));
        }
    }
    if (!table) return E_FAIL;

    ComPtr<Group> clone;
    HRESULT hr = table->AddPrivate(params, &clone);
    if (FAILED(hr)) return hr;
    {
        std::lock_guard lock(clone->core_->mutex);
        for (GroupItem& item : sourceItems) {
            item.serverHandle = NextItemHandle();
            clone->core_->items.push_back(std::move(item));
        }
    }
    hr = clone->QueryInterface(riid, reinterpret_cast<void**>(ppUnk));
    if (FAILED(hr)) {
        table->RemoveGroup(clone->ServerHandle(), TRUE);
        return hr;
    }
    return S_OK;
}

// --- IOPCPublicGroupStateMgt ---------------------------------------------------------

HRESULT Group::GetState(BOOL* pPublic) {
    if (!pPublic) return E_POINTER;
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    *pPublic = core_->isPublic ? TRUE : FALSE;
    return S_OK;
}

HRESULT Group::MoveToPublic() {
    std::shared_ptr<GroupTable> table;
    if (HRESULT hr = PrivateGroupTable(table); FAILED(hr)) return hr;
    return table->MoveToPublic(serverHandle_);
}

}  // namespace simserver
