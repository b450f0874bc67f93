#include "simserver/group_table.h"

#include <cmath>
#include <string>

#include "platform/com/enums.h"
#include "simserver/group_object.h"

namespace simserver {

namespace {

using GroupMap = std::map<OPCHANDLE, ComPtr<Group>>;

bool NameIn(const GroupMap& groups, const std::u16string& name, OPCHANDLE except = 0) {
    for (const auto& [handle, group] : groups)
        if (handle != except && group->Name() == name) return true;
    return false;
}

ComPtr<Group> FindNamed(const GroupMap& groups, const std::u16string& name) {
    for (const auto& [handle, group] : groups)
        if (group->Name() == name) return group;
    return nullptr;
}

}  // namespace

std::shared_ptr<GroupTable> GroupTable::Create(GroupServices services) {
    return std::shared_ptr<GroupTable>(new GroupTable(std::move(services)));
}

GroupTable::GroupTable(GroupServices services) : services_(std::move(services)) {}

GroupTable::~GroupTable() { RemoveAll(); }

std::u16string GroupTable::UniqueNameLocked() {
    for (;;) {
        std::u16string name = u"Group";
        for (char c : std::to_string(nextNameNumber_++)) name += static_cast<char16_t>(c);
        if (!NameIn(private_, name)) return name;
    }
}

HRESULT GroupTable::AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate, OPCHANDLE hClientGroup,
                             LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD dwLCID, OPCHANDLE* phServerGroup,
                             DWORD* pRevisedUpdateRate, REFIID riid, LPUNKNOWN* ppUnk) {
    if (ppUnk) *ppUnk = nullptr;
    if (!phServerGroup || !pRevisedUpdateRate || !ppUnk) return E_POINTER;
    GroupParams params;
    params.name = szName ? std::u16string(szName) : std::u16string();
    params.active = bActive != FALSE;
    params.requestedUpdateRate = dwRequestedUpdateRate;
    params.clientGroup = hClientGroup;
    params.timeBias = pTimeBias ? *pTimeBias : 0;
    params.percentDeadband = pPercentDeadband ? *pPercentDeadband : 0.0f;
    params.lcid = dwLCID;
    if (!std::isfinite(params.percentDeadband) || params.percentDeadband < 0.0f || params.percentDeadband > 100.0f)
        return E_INVALIDARG;

    NewGroup made;
    {
        std::lock_guard lock(mutex_);
        if (params.name.empty())
            params.name = UniqueNameLocked();
        else if (NameIn(private_, params.name))
            return OPC_E_DUPLICATENAME;
        made = CreateGroup(params, services_, weak_from_this());
        const HRESULT hr = made.group->QueryInterface(riid, reinterpret_cast<void**>(ppUnk));
        if (FAILED(hr)) {
            // The group never existed for the client; it ends when `made` goes.
            return hr;
        }
        private_[made.serverHandle] = made.group;
    }
    *phServerGroup = made.serverHandle;
    *pRevisedUpdateRate = made.revisedUpdateRate;
    return made.revisedUpdateRate != dwRequestedUpdateRate ? OPC_S_UNSUPPORTEDRATE : S_OK;
}

HRESULT GroupTable::FindByName(bool isPublic, LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
    if (!ppUnk) return E_POINTER;
    *ppUnk = nullptr;
    if (!szName) return E_INVALIDARG;
    ComPtr<Group> group;
    {
        std::lock_guard lock(mutex_);
        group = FindNamed(isPublic ? public_ : private_, std::u16string(szName));
    }
    if (!group) return E_INVALIDARG;
    return group->QueryInterface(riid, reinterpret_cast<void**>(ppUnk));
}

HRESULT GroupTable::GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
    return FindByName(false, szName, riid, ppUnk);
}

HRESULT GroupTable::GetPublicGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
    return FindByName(true, szName, riid, ppUnk);
}

HRESULT GroupTable::RemoveFrom(GroupMap& groups, OPCHANDLE handle, BOOL bForce) {
    ComPtr<Group> group;
    {
        std::lock_guard lock(mutex_);
        auto it = groups.find(handle);
        if (it == groups.end()) return &groups == &private_ && public_.count(handle) ? OPC_E_PUBLIC : E_INVALIDARG;
        group = std::move(it->second);
        groups.erase(it);
    }
    // `group` is one reference; any other is the client's.
    const bool inUse = group->References() > 1;
    if (inUse && !bForce) {
        group->Detach(false);
        return OPC_S_INUSE;
    }
    group->Detach(true);
    return S_OK;
}

HRESULT GroupTable::RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) {
    return RemoveFrom(private_, hServerGroup, bForce);
}

HRESULT GroupTable::RemovePublicGroup(OPCHANDLE hServerGroup, BOOL bForce) {
    return RemoveFrom(public_, hServerGroup, bForce);
}

HRESULT GroupTable::CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN* ppUnk) {
    if (!ppUnk) return E_POINTER;
    *ppUnk = nullptr;
    bool wantPrivate = false, wantPublic = false;
    switch (dwScope) {
    case OPC_ENUM_PRIVATE_CONNECTIONS:
    case OPC_ENUM_PRIVATE: wantPrivate = true; break;
    case OPC_ENUM_PUBLIC_CONNECTIONS:
    case OPC_ENUM_PUBLIC: wantPublic = true; break;
    case OPC_ENUM_ALL_CONNECTIONS:
    case OPC_ENUM_ALL: wantPrivate = wantPublic = true; break;
    default: return E_INVALIDARG;
    }
    if (riid != IID_IEnumString && riid != IID_IEnumUnknown) return E_NOINTERFACE;

    std::vector<ComPtr<Group>> groups;
    {
        std::lock_guard lock(mutex_);
        if (wantPrivate)
            for (const auto& [handle, group] : private_) groups.push_back(group);
        if (wantPublic)
            for (const auto& [handle, group] : public_) groups.push_back(group);
    }
    if (riid == IID_IEnumString) {
        std::vector<std::u16string> names;
        for (const auto& group : groups) names.push_back(group->Name());
        *ppUnk = MakeEnumString(std::move(names)).detach();
    } else {
        std::vector<ComPtr<IUnknown>> unknowns;
        for (const auto& group : groups) unknowns.emplace_back(group->Identity());
        *ppUnk = MakeEnumUnknown(std::move(unknowns)).detach();
    }
    // Nothing in the scope: S_FALSE, with an empty enumerator all the same.
    return groups.empty() ? S_FALSE : S_OK;
}

DWORD GroupTable::GroupCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<DWORD>(private_.size() + public_.size());
}

void GroupTable::RemoveAll() {
    GroupMap ended;
    {
        std::lock_guard lock(mutex_);
        ended.swap(private_);
        for (auto& [handle, group] : public_) ended[handle] = std::move(group);
        public_.clear();
    }
    for (auto& [handle, group] : ended) group->Detach(true);
}

bool GroupTable::IsNameTaken(const std::u16string& name, bool isPublic) const {
    std::lock_guard lock(mutex_);
    return NameIn(isPublic ? public_ : private_, name);
}

HRESULT GroupTable::Rename(OPCHANDLE handle, const std::u16string& name) {
    if (name.empty()) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    auto it = private_.find(handle);
    if (it == private_.end()) return public_.count(handle) ? OPC_E_PUBLIC : E_FAIL;
    if (NameIn(private_, name, handle)) return OPC_E_DUPLICATENAME;
    it->second->SetNameFromTable(name);
    return S_OK;
}

HRESULT GroupTable::AddPrivate(GroupParams params, ComPtr<Group>* group) {
    std::lock_guard lock(mutex_);
    if (params.name.empty())
        params.name = UniqueNameLocked();
    else if (NameIn(private_, params.name))
        return OPC_E_DUPLICATENAME;
    NewGroup made = CreateGroup(params, services_, weak_from_this());
    private_[made.serverHandle] = made.group;
    *group = made.group;
    return S_OK;
}

HRESULT GroupTable::MoveToPublic(OPCHANDLE handle) {
    std::lock_guard lock(mutex_);
    auto it = private_.find(handle);
    if (it == private_.end()) return public_.count(handle) ? OPC_E_PUBLIC : E_FAIL;
    if (NameIn(public_, it->second->Name())) return OPC_E_DUPLICATENAME;
    it->second->SetPublicFromTable();
    public_[handle] = std::move(it->second);
    private_.erase(it);
    return S_OK;
}

}  // namespace simserver
