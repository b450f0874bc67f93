// The address-space side of the server object: IOPCItemProperties and
// IOPCBrowseServerAddressSpace.
#include <new>

#include "platform/com/bstr.h"
#include "platform/com/enums.h"
#include "platform/com/filetime.h"
#include "platform/com/memory.h"
#include "platform/com/variant.h"
#include "simserver/server.h"
#include "simserver/server_properties.h"

namespace simserver {

namespace {

// An [out] array of n value-initialised elements, owned until it is handed out; elements
// that own a string or a value are freed with it.
template <class T>
TaskMemArray<T> OutArray(DWORD n, typename TaskMemArray<T>::Cleanup cleanup = nullptr) {
    return TaskMemArray<T>(CoTaskMemAllocArray<T>(n), n, cleanup);
}

void FreeString(LPWSTR& text) { CoTaskMemFree(text); }
void ClearValue(VARIANT& value) { VariantClear(&value); }

}  // namespace

// --- IOPCItemProperties --------------------------------------------------------------------

HRESULT SimServer::ResolveForProperties(LPCWSTR itemId, const Tag** tag) const {
    if (!itemId) return E_INVALIDARG;
    Tag* found = nullptr;
    const HRESULT hr = space_->Resolve(itemId, nullptr, &found);
    *tag = found;
    return hr;
}

HRESULT SimServer::QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount, DWORD** ppPropertyIDs,
                                            LPWSTR** ppDescriptions, VARTYPE** ppvtDataTypes) {
    if (!pdwCount || !ppPropertyIDs || !ppDescriptions || !ppvtDataTypes) return E_POINTER;
    *pdwCount = 0;
    *ppPropertyIDs = nullptr;
    *ppDescriptions = nullptr;
    *ppvtDataTypes = nullptr;
    const Tag* tag = nullptr;
    if (const HRESULT hr = ResolveForProperties(szItemID, &tag); FAILED(hr)) return hr;

    const auto props = AvailableProperties(*tag);
    const auto n = static_cast<DWORD>(props.size());
    auto ids = OutArray<DWORD>(n);
    auto descriptions = OutArray<LPWSTR>(n, FreeString);
    auto types = OutArray<VARTYPE>(n);
    if (!ids || !descriptions || !types) return E_OUTOFMEMORY;
    for (DWORD i = 0; i < n; ++i) {
        ids[i] = props[i].id;
        types[i] = props[i].type;
        descriptions[i] = CoTaskWideFromWide(props[i].description);
        if (!descriptions[i]) return E_OUTOFMEMORY;
    }
    *pdwCount = n;
    *ppPropertyIDs = ids.Release();
    *ppDescriptions = descriptions.Release();
    *ppvtDataTypes = types.Release();
    return S_OK;
}

HRESULT SimServer::GetItemProperties(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs, VARIANT** ppvData,
                                     HRESULT** ppErrors) {
    if (!ppvData || !ppErrors) return E_POINTER;
    *ppvData = nullptr;
    *ppErrors = nullptr;
    if (dwCount == 0 || !pdwPropertyIDs) return E_INVALIDARG;
    const Tag* tag = nullptr;
    if (const HRESULT hr = ResolveForProperties(szItemID, &tag); FAILED(hr)) return hr;

    auto values = OutArray<VARIANT>(dwCount, ClearValue);
    auto errors = OutArray<HRESULT>(dwCount);
    if (!values || !errors) return E_OUTOFMEMORY;
    const FILETIME now = FileTimeNow();
    HRESULT result = S_OK;
    for (DWORD i = 0; i < dwCount; ++i) {
        errors[i] = PropertyValue(*space_, *tag, pdwPropertyIDs[i], now, &values[i]);
        if (FAILED(errors[i])) result = S_FALSE;
    }
    *ppvData = values.Release();
    *ppErrors = errors.Release();
    return result;
}

HRESULT SimServer::LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs, LPWSTR** ppszNewItemIDs,
                                 HRESULT** ppErrors) {
    if (!ppszNewItemIDs || !ppErrors) return E_POINTER;
    *ppszNewItemIDs = nullptr;
    *ppErrors = nullptr;
    if (dwCount == 0 || !pdwPropertyIDs) return E_INVALIDARG;
    const Tag* tag = nullptr;
    if (const HRESULT hr = ResolveForProperties(szItemID, &tag); FAILED(hr)) return hr;

    auto ids = OutArray<LPWSTR>(dwCount, FreeString);
    auto errors = OutArray<HRESULT>(dwCount);
    if (!ids || !errors) return E_OUTOFMEMORY;
    HRESULT result = S_OK;
    for (DWORD i = 0; i < dwCount; ++i) {
        std::u16string itemId;
        errors[i] = PropertyItemId(*tag, pdwPropertyIDs[i], &itemId);
        if (SUCCEEDED(errors[i])) {
            ids[i] = CoTaskWideFromWide(itemId);
            if (!ids[i]) errors[i] = E_OUTOFMEMORY;
        }
        if (FAILED(errors[i])) result = S_FALSE;
    }
    *ppszNewItemIDs = ids.Release();
    *ppErrors = errors.Release();
    return result;
}

// --- IOPCBrowseServerAddressSpace ----------------------------------------------------------

HRESULT SimServer::QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) {
    if (!pNameSpaceType) return E_POINTER;
    if (config_->queryOrganizationError) return *config_->queryOrganizationError;
    *pNameSpaceType = space_->IsFlat() ? OPC_NS_FLAT : OPC_NS_HIERARCHIAL;
    return S_OK;
}

HRESULT SimServer::ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection, LPCWSTR szString) {
    return browse_.ChangePosition(dwBrowseDirection, szString);
}

HRESULT SimServer::BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType, LPCWSTR szFilterCriteria,
                                    VARTYPE vtDataTypeFilter, DWORD dwAccessRightsFilter, LPENUMSTRING* ppIEnumString) {
    if (!ppIEnumString) return E_POINTER;
    *ppIEnumString = nullptr;
    if (config_->browseHook) config_->browseHook();
    if (config_->browseCallsBeforeFailure &&
        browseCalls_.fetch_add(1, std::memory_order_relaxed) >= *config_->browseCallsBeforeFailure)
        return E_FAIL;
    std::vector<std::u16string> names;
    const HRESULT hr =
        browse_.Browse(dwBrowseFilterType, szFilterCriteria, vtDataTypeFilter, dwAccessRightsFilter, &names);
    if (FAILED(hr)) return hr;
    // An empty enumerator comes with S_FALSE as well.
    *ppIEnumString = MakeEnumString(std::move(names)).detach();
    return *ppIEnumString ? hr : E_OUTOFMEMORY;
}

HRESULT SimServer::GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) {
    if (!szItemID) return E_POINTER;
    *szItemID = nullptr;
    std::u16string itemId;
    if (const HRESULT hr = browse_.GetItemId(szItemDataID, &itemId); FAILED(hr)) return hr;
    *szItemID = CoTaskWideFromWide(itemId);
    return *szItemID ? S_OK : E_OUTOFMEMORY;
}

HRESULT SimServer::BrowseAccessPaths(LPCWSTR szItemID, LPENUMSTRING* ppIEnumString) {
    if (!ppIEnumString) return E_POINTER;
    *ppIEnumString = nullptr;
    std::vector<std::u16string> paths;
    const HRESULT hr = browse_.AccessPaths(szItemID, &paths);
    if (FAILED(hr)) return hr;
    *ppIEnumString = MakeEnumString(std::move(paths)).detach();
    return *ppIEnumString ? hr : E_OUTOFMEMORY;
}

}  // namespace simserver
