// IOPCItemMgt of the group object.
#include <algorithm>

#include "platform/com/filetime.h"
#include "simserver/address_space.h"
#include "simserver/group_item_enum.h"
#include "simserver/group_object.h"
#include "simserver/group_values.h"
#include "simserver/sim_config.h"

namespace simserver {

namespace {

// Whether the tag's values can be delivered in `requested`. A value that merely overflows
// the type now is accepted: later values may fit, and those that do not arrive as OPC_E_RANGE.
HRESULT CheckRequestedType(const Tag& tag, VARTYPE requested, FILETIME now) {
    if (!IsRequestableType(requested)) return OPC_E_BADTYPE;
    if (requested == VT_EMPTY || requested == tag.CanonicalType()) return S_OK;
    Variant value;
    WORD quality = 0;
    FILETIME timestamp;
    tag.Read(now, value.get(), &quality, &timestamp);
    const HRESULT hr = ConvertToRequested(value.get(), requested);
    return hr == OPC_E_RANGE ? S_OK : hr;
}

std::u16string TextOf(LPCWSTR text) { return text ? std::u16string(text) : std::u16string(); }

// Task-memory error array for `count` entries; E_OUTOFMEMORY when there is none.
HRESULT AllocErrors(DWORD count, HRESULT** ppErrors) {
    *ppErrors = CoTaskMemAllocArray<HRESULT>(count);
    return *ppErrors ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT Group::CheckHandleCall(DWORD count, const void* handles, HRESULT** ppErrors) {
    if (!ppErrors) return E_POINTER;
    *ppErrors = nullptr;
    if (count == 0 || !handles) return E_INVALIDARG;
    return S_OK;
}

HRESULT Group::ResolveItems(DWORD count, const OPCITEMDEF* defs, bool add, OPCITEMRESULT** ppResults,
                            HRESULT** ppErrors) {
    if (ppResults) *ppResults = nullptr;
    if (ppErrors) *ppErrors = nullptr;
    if (!ppResults || !ppErrors) return E_POINTER;
    if (count == 0 || !defs) return E_INVALIDARG;

    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    if (add && core_->isPublic) return OPC_E_PUBLIC;
    CoTaskMemPtr<OPCITEMRESULT> results(CoTaskMemAllocArray<OPCITEMRESULT>(count));
    CoTaskMemPtr<HRESULT> errors(CoTaskMemAllocArray<HRESULT>(count));
    if (!results || !errors) return E_OUTOFMEMORY;

    const AddressSpace& space = *core_->services.addressSpace;
    const FILETIME now = FileTimeNow();
    bool anyFailed = false;
    bool anyActive = false;
    for (DWORD i = 0; i < count; ++i) {
        const OPCITEMDEF& def = defs[i];
        Tag* tag = nullptr;
        HRESULT hr = space.Resolve(def.szItemID, def.szAccessPath, &tag);
        if (SUCCEEDED(hr)) hr = CheckRequestedType(*tag, def.vtRequestedDataType, now);
        errors.get()[i] = hr;
        if (FAILED(hr)) {
            anyFailed = true;
            continue;
        }
        OPCITEMRESULT& result = results.get()[i];
        result.vtCanonicalDataType = tag->CanonicalType();
        result.dwAccessRights = tag->AccessRights();
        if (!add) continue;
        GroupItem item;
        item.serverHandle = NextItemHandle();
        item.clientHandle = def.hClient;
        item.itemId = TextOf(def.szItemID);
        item.accessPath = TextOf(def.szAccessPath);
        item.tag = tag;
        item.requestedType = def.vtRequestedDataType;
        item.active = def.bActive != FALSE;
        anyActive = anyActive || item.active;
        result.hServer = item.serverHandle;
        core_->items.push_back(std::move(item));
    }
    if (anyActive) core_->UpdateSoonLocked();
    *ppResults = results.release();
    *ppErrors = errors.release();
    return anyFailed ? S_FALSE : S_OK;
}

HRESULT Group::AddItems(DWORD dwCount, OPCITEMDEF* pItemArray, OPCITEMRESULT** ppAddResults, HRESULT** ppErrors) {
    if (const SimConfig* config = core_->services.config.get(); config && config->addItemsHook) config->addItemsHook();
    return ResolveItems(dwCount, pItemArray, true, ppAddResults, ppErrors);
}

HRESULT Group::ValidateItems(DWORD dwCount, OPCITEMDEF* pItemArray, BOOL, OPCITEMRESULT** ppValidationResults,
                             HRESULT** ppErrors) {
    // The server keeps no blobs, so there is nothing for bBlobUpdate to return.
    return ResolveItems(dwCount, pItemArray, false, ppValidationResults, ppErrors);
}

HRESULT Group::RemoveItems(DWORD dwCount, OPCHANDLE* phServer, HRESULT** ppErrors) {
    if (HRESULT hr = CheckHandleCall(dwCount, phServer, ppErrors); FAILED(hr)) return hr;
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    if (core_->isPublic) return OPC_E_PUBLIC;
    if (HRESULT hr = AllocErrors(dwCount, ppErrors); FAILED(hr)) return hr;

    // Marked first and dropped in one pass; a handle named twice is invalid the second time.
    std::vector<bool> remove(core_->items.size(), false);
    bool anyFailed = false;
    for (DWORD i = 0; i < dwCount; ++i) {
        GroupItem* item = core_->FindItemLocked(phServer[i]);
        const std::size_t index = item ? static_cast<std::size_t>(item - core_->items.data()) : 0;
        if (!item || remove[index]) {
            (*ppErrors)[i] = OPC_E_INVALIDHANDLE;
            anyFailed = true;
            continue;
        }
        remove[index] = true;
        (*ppErrors)[i] = S_OK;
    }
    std::size_t index = 0;
    std::erase_if(core_->items, [&](const GroupItem&) { return remove[index++]; });
    return anyFailed ? S_FALSE : S_OK;
}

HRESULT Group::SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive, HRESULT** ppErrors) {
    if (HRESULT hr = CheckHandleCall(dwCount, phServer, ppErrors); FAILED(hr)) return hr;
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    if (HRESULT hr = AllocErrors(dwCount, ppErrors); FAILED(hr)) return hr;
    bool anyFailed = false;
    bool activated = false;
    for (DWORD i = 0; i < dwCount; ++i) {
        GroupItem* item = core_->FindItemLocked(phServer[i]);
        if (!item) {
            (*ppErrors)[i] = OPC_E_INVALIDHANDLE;
            anyFailed = true;
            continue;
        }
        if (bActive && !item->active) {
            // An item made active sends its current value at the next update.
            item->sendNext = true;
            activated = true;
        }
        item->active = bActive != FALSE;
        (*ppErrors)[i] = S_OK;
    }
    if (activated) core_->UpdateSoonLocked();
    return anyFailed ? S_FALSE : S_OK;
}

HRESULT Group::SetClientHandles(DWORD dwCount, OPCHANDLE* phServer, OPCHANDLE* phClient, HRESULT** ppErrors) {
    if (HRESULT hr = CheckHandleCall(dwCount, phServer, ppErrors); FAILED(hr)) return hr;
    if (!phClient) return E_INVALIDARG;
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    if (HRESULT hr = AllocErrors(dwCount, ppErrors); FAILED(hr)) return hr;
    bool anyFailed = false;
    for (DWORD i = 0; i < dwCount; ++i) {
        GroupItem* item = core_->FindItemLocked(phServer[i]);
        if (!item) {
            (*ppErrors)[i] = OPC_E_INVALIDHANDLE;
            anyFailed = true;
            continue;
        }
        item->clientHandle = phClient[i];
        (*ppErrors)[i] = S_OK;
    }
    return anyFailed ? S_FALSE : S_OK;
}

HRESULT Group::SetDatatypes(DWORD dwCount, OPCHANDLE* phServer, VARTYPE* pRequestedDatatypes, HRESULT** ppErrors) {
    if (HRESULT hr = CheckHandleCall(dwCount, phServer, ppErrors); FAILED(hr)) return hr;
    if (!pRequestedDatatypes) return E_INVALIDARG;
    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    if (HRESULT hr = AllocErrors(dwCount, ppErrors); FAILED(hr)) return hr;
    const FILETIME now = FileTimeNow();
    bool anyFailed = false;
    bool changed = false;
    for (DWORD i = 0; i < dwCount; ++i) {
        GroupItem* item = core_->FindItemLocked(phServer[i]);
        HRESULT hr = item ? CheckRequestedType(*item->tag, pRequestedDatatypes[i], now) : OPC_E_INVALIDHANDLE;
        (*ppErrors)[i] = hr;
        if (FAILED(hr)) {
            anyFailed = true;
            continue;
        }
        if (item->requestedType != pRequestedDatatypes[i]) {
            // The cache holds the old type: it is taken anew and sent in the new one.
            item->requestedType = pRequestedDatatypes[i];
            item->sampled = false;
            item->sendNext = true;
            changed = true;
        }
    }
    if (changed) core_->UpdateSoonLocked();
    return anyFailed ? S_FALSE : S_OK;
}

HRESULT Group::CreateEnumerator(REFIID riid, LPUNKNOWN* ppUnk) {
    if (!ppUnk) return E_POINTER;
    *ppUnk = nullptr;
    if (riid != IID_IEnumOPCItemAttributes && riid != IID_IUnknown) return E_NOINTERFACE;
    std::vector<ItemAttributesRecord> records;
    {
        std::lock_guard lock(core_->mutex);
        if (core_->shutdown) return E_FAIL;
        records.reserve(core_->items.size());
        for (const GroupItem& item : core_->items) records.push_back(ItemAttributesRecord::Of(item));
    }
    // An empty group answers S_FALSE, with an (empty) enumerator all the same.
    const bool empty = records.empty();
    ComPtr<IEnumOPCItemAttributes> enumerator = MakeItemAttributesEnum(std::move(records));
    const HRESULT hr = enumerator->QueryInterface(riid, reinterpret_cast<void**>(ppUnk));
    return FAILED(hr) ? hr : empty ? S_FALSE : S_OK;
}

}  // namespace simserver
