#include "rpc/object_proxy.h"

#include "platform/com/clipboard_format.h"
#include "platform/com/memory.h"
#include "platform/com/variant.h"
#include "rpc/lendable_interfaces.h"
#include "rpc/wire_convert.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace rpc {

namespace {

using Wire = rpcwire::Object;
template <class Results>
using Reply = capnp::Response<Results>;

capnp::Text::Reader AsText(const std::string& text) { return {text.data(), text.size()}; }

// Whether a proxy could answer iid. Asking the host for anything else would leave an object
// on its side that the caller could never be handed.
bool CanLend(REFIID iid) {
    return iid == IID_IUnknown || std::any_of(kLendableInterfaces.begin(), kLendableInterfaces.end(),
                                              [&](const IID* lendable) { return *lendable == iid; });
}

// --- What the caller hands over ---------------------------------------------------------------

template <class T, class Builder>
void CopyToWire(const T* items, Builder out) {
    for (unsigned i = 0; i < out.size(); ++i) out.set(i, items[i]);
}

void DefsToWire(const OPCITEMDEF* defs, capnp::List<rpcwire::ItemDef>::Builder out) {
    for (unsigned i = 0; i < out.size(); ++i) ToWire(defs[i], out[i]);
}

// Fails for a value that cannot travel; the call is then not sent at all.
HRESULT ValuesToWire(const VARIANT* values, capnp::List<rpcwire::Variant>::Builder out) {
    for (unsigned i = 0; i < out.size(); ++i)
        if (const HRESULT hr = ToWire(values[i], out[i]); FAILED(hr)) return hr;
    return S_OK;
}

// A null string would reach the host as empty text; where null is not allowed it stops here.
bool Given(LPCWSTR text) { return text != nullptr; }

// The caller's side of a call on items: [out] errors, then the items.
HRESULT CheckItemCall(DWORD count, const void* items, HRESULT** ppErrors) {
    if (ppErrors) *ppErrors = nullptr;
    if (!ppErrors) return E_POINTER;
    return count == 0 || !items ? E_INVALIDARG : S_OK;
}

// As CheckItemCall, for calls that also hand back an array of results.
template <class T>
HRESULT CheckItemCall(DWORD count, const void* items, T** ppResults, HRESULT** ppErrors) {
    if (ppResults) *ppResults = nullptr;
    if (ppErrors) *ppErrors = nullptr;
    if (!ppResults || !ppErrors) return E_POINTER;
    return count == 0 || !items ? E_INVALIDARG : S_OK;
}

// As CheckItemCall, for the asynchronous calls that also hand back an id.
HRESULT CheckAsyncCall(DWORD count, const void* items, DWORD* id, HRESULT** ppErrors) {
    if (ppErrors) *ppErrors = nullptr;
    if (!ppErrors || !id) return E_POINTER;
    *id = 0;
    return count == 0 || !items ? E_INVALIDARG : S_OK;
}

// --- What the host hands back -----------------------------------------------------------------

template <class T>
TaskMemArray<T> OutArray(std::size_t count, typename TaskMemArray<T>::Cleanup cleanup = nullptr) {
    return TaskMemArray<T>(CoTaskMemAllocArray<T>(count), count, cleanup);
}

void FreeString(LPWSTR& text) { CoTaskMemFree(text); }
void ClearValue(VARIANT& value) { VariantClear(&value); }
void ClearState(OPCITEMSTATE& state) { VariantClear(&state.vDataValue); }
void FreeBlob(OPCITEMRESULT& result) { CoTaskMemFree(result.pBlob); }
void FreeAttributes(OPCITEMATTRIBUTES& attributes) {
    CoTaskMemFree(attributes.szAccessPath);
    CoTaskMemFree(attributes.szItemID);
    CoTaskMemFree(attributes.pBlob);
    VariantClear(&attributes.vEUInfo);
}

// Every element conversion as an HRESULT, for AllFromWire.
HRESULT Convert(rpcwire::Variant::Reader in, VARIANT* out) { return FromWire(in, out); }
HRESULT Convert(rpcwire::ItemState::Reader in, OPCITEMSTATE* out) { return FromWire(in, out); }
HRESULT Convert(rpcwire::ItemAttributes::Reader in, OPCITEMATTRIBUTES* out) { return FromWire(in, out); }
HRESULT Convert(rpcwire::ItemResult::Reader in, OPCITEMRESULT* out) {
    FromWire(in, out);
    return S_OK;
}

// A malformed element is the host's fault, not the item's: the whole call fails.
template <class List, class T>
HRESULT AllFromWire(List in, TaskMemArray<T>& out) {
    for (unsigned i = 0; i < in.size(); ++i)
        if (FAILED(Convert(in[i], &out[i]))) return E_UNEXPECTED;
    return S_OK;
}

// A reply's per-item errors: exactly one for each of the caller's items.
HRESULT ErrorsOut(capnp::List<int32_t>::Reader errors, DWORD count, HRESULT** ppErrors) {
    if (errors.size() != count) return E_UNEXPECTED;
    *ppErrors = TaskErrors(errors);
    return *ppErrors ? S_OK : E_OUTOFMEMORY;
}

// The reply of a call on items that gives back only their errors.
template <class Response>
HRESULT ItemErrorsOut(Response& reply, DWORD count, HRESULT** ppErrors) {
    const HRESULT hr = reply.getHr();
    if (FAILED(hr)) return hr;
    const HRESULT copied = ErrorsOut(reply.getErrors(), count, ppErrors);
    return FAILED(copied) ? copied : hr;
}

// A reply's per-item elements and errors, one of each for every one of the caller's items.
template <class T, class List>
HRESULT ItemsOut(HRESULT hr, List items, capnp::List<int32_t>::Reader errors, DWORD count, void (*cleanup)(T&),
                 T** ppItems, HRESULT** ppErrors) {
    if (FAILED(hr)) return hr;
    if (items.size() != count || errors.size() != count) return E_UNEXPECTED;
    auto out = OutArray<T>(count, cleanup);
    CoTaskMemPtr<HRESULT> codes(TaskErrors(errors));
    if (!out || !codes) return E_OUTOFMEMORY;
    if (const HRESULT converted = AllFromWire(items, out); FAILED(converted)) return converted;
    *ppItems = out.Release();
    *ppErrors = codes.release();
    return hr;
}

HRESULT TextOut(capnp::Text::Reader text, LPWSTR* out) {
    *out = TaskWide(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

// Nothing lent leaves *out null: a server may answer success without an object.
HRESULT LentAs(const std::shared_ptr<Channel>& channel, rpcwire::Lent::Reader lent, REFIID riid, void** out) {
    const ComPtr<IUnknown> proxy = MakeProxy(channel, lent);
    return proxy ? proxy->QueryInterface(riid, out) : S_OK;
}

// A Next reply never holds more than asked, nor fewer with S_OK: the caller would read
// elements that were never filled.
bool FetchedFits(HRESULT hr, std::size_t fetched, ULONG asked) {
    return fetched == asked || (fetched < asked && hr != S_OK);
}

// --- Sending ----------------------------------------------------------------------------------

// A call whose reply is only its HRESULT.
template <class Request>
kj::Promise<HRESULT> SendForHr(Request& request) {
    return request.send().then([](auto&& reply) -> HRESULT { return reply.getHr(); });
}

template <class Request>
kj::Promise<HRESULT> SendForErrors(Request& request, DWORD count, HRESULT** ppErrors) {
    return request.send().then(
        [count, ppErrors](auto&& reply) -> HRESULT { return ItemErrorsOut(reply, count, ppErrors); });
}

// A call whose reply is a text (the one `pick` takes from it), copied into *out.
template <class Request, class Pick>
kj::Promise<HRESULT> SendForText(Request& request, Pick pick, LPWSTR* out) {
    return request.send().then([pick, out](auto&& reply) -> HRESULT {
        const HRESULT hr = reply.getHr();
        if (FAILED(hr)) return hr;
        const HRESULT copied = TextOut(pick(reply), out);
        return FAILED(copied) ? copied : hr;
    });
}

// A call whose reply lends an object (the one `pick` takes from it), put as riid into *out.
template <class Request, class Pick>
kj::Promise<HRESULT> SendLending(const std::shared_ptr<Channel>& channel, Request& request, Pick pick, REFIID riid,
                                 void** out) {
    return request.send().then([&channel, pick, &riid, out](auto&& reply) -> HRESULT {
        const HRESULT hr = reply.getHr();
        if (FAILED(hr)) return hr;
        const HRESULT qi = LentAs(channel, pick(reply), riid, out);
        return FAILED(qi) ? qi : hr;
    });
}

constexpr auto PickGroup = [](auto& reply) { return reply.getGroup(); };
constexpr auto PickEnumerator = [](auto& reply) { return reply.getEnumerator(); };

// --- Larger replies ---------------------------------------------------------------------------

HRESULT PropertiesOut(Wire::QueryAvailablePropertiesResults::Reader reply, DWORD* pdwCount, DWORD** ppPropertyIDs,
                      LPWSTR** ppDescriptions, VARTYPE** ppvtDataTypes) {
    const HRESULT hr = reply.getHr();
    if (FAILED(hr)) return hr;
    const auto ids = reply.getIds();
    const auto descriptions = reply.getDescriptions();
    const auto types = reply.getTypes();
    const unsigned n = ids.size();
    if (descriptions.size() != n || types.size() != n) return E_UNEXPECTED;
    auto outIds = OutArray<DWORD>(n);
    auto outDescriptions = OutArray<LPWSTR>(n, FreeString);
    auto outTypes = OutArray<VARTYPE>(n);
    if (!outIds || !outDescriptions || !outTypes) return E_OUTOFMEMORY;
    for (unsigned i = 0; i < n; ++i) {
        outIds[i] = ids[i];
        outTypes[i] = types[i];
        if (FAILED(TextOut(descriptions[i], &outDescriptions[i]))) return E_OUTOFMEMORY;
    }
    *pdwCount = n;
    *ppPropertyIDs = outIds.Release();
    *ppDescriptions = outDescriptions.Release();
    *ppvtDataTypes = outTypes.Release();
    return hr;
}

HRESULT ItemIdsOut(Wire::LookupItemIdsResults::Reader reply, DWORD count, LPWSTR** ppszNewItemIDs,
                   HRESULT** ppErrors) {
    const HRESULT hr = reply.getHr();
    if (FAILED(hr)) return hr;
    const auto ids = reply.getItemIds();
    const auto errors = reply.getErrors();
    if (ids.size() != count || errors.size() != count) return E_UNEXPECTED;
    auto out = OutArray<LPWSTR>(count, FreeString);
    CoTaskMemPtr<HRESULT> codes(TaskErrors(errors));
    if (!out || !codes) return E_OUTOFMEMORY;
    for (DWORD i = 0; i < count; ++i) {
        if (FAILED(errors[i])) continue;  // a failed item has no id: null
        if (FAILED(TextOut(ids[i], &out[i]))) return E_OUTOFMEMORY;
    }
    *ppszNewItemIDs = out.Release();
    *ppErrors = codes.release();
    return hr;
}

HRESULT GroupStateOut(rpcwire::GroupState::Reader state, DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName,
                      LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup,
                      OPCHANDLE* phServerGroup) {
    if (FAILED(TextOut(state.getName(), ppName))) return E_OUTOFMEMORY;
    *pUpdateRate = state.getUpdateRate();
    *pActive = state.getActive() ? TRUE : FALSE;
    *pTimeBias = state.getTimeBias();
    *pPercentDeadband = state.getPercentDeadband();
    *pLCID = state.getLocaleId();
    *phClientGroup = state.getClientGroup();
    *phServerGroup = state.getServerGroup();
    return S_OK;
}

// Null pointers leave their property as it is: only the given ones travel.
void PutState(Wire::SetStateParams::Builder out, const DWORD* updateRate, const BOOL* active, const LONG* timeBias,
              const FLOAT* deadband, const DWORD* lcid, const OPCHANDLE* clientGroup) {
    out.setHasUpdateRate(updateRate != nullptr);
    if (updateRate) out.setRequestedUpdateRate(*updateRate);
    out.setHasActive(active != nullptr);
    if (active) out.setActive(*active != FALSE);
    out.setHasTimeBias(timeBias != nullptr);
    if (timeBias) out.setTimeBias(*timeBias);
    out.setHasDeadband(deadband != nullptr);
    if (deadband) out.setPercentDeadband(*deadband);
    out.setHasLocaleId(lcid != nullptr);
    if (lcid) out.setLocaleId(*lcid);
    out.setHasClientGroup(clientGroup != nullptr);
    if (clientGroup) out.setClientGroup(*clientGroup);
}

HRESULT StringsOut(Wire::NextStringsResults::Reader reply, ULONG celt, LPOLESTR* rgelt, ULONG* pceltFetched) {
    const HRESULT hr = reply.getHr();
    if (FAILED(hr)) return hr;
    const auto strings = reply.getStrings();
    if (!FetchedFits(hr, strings.size(), celt)) return E_UNEXPECTED;
    std::vector<CoTaskMemPtr<OLECHAR>> copies;
    for (capnp::Text::Reader text : strings) {
        copies.emplace_back(TaskWide(text));
        if (!copies.back()) return E_OUTOFMEMORY;
    }
    for (std::size_t i = 0; i < copies.size(); ++i) rgelt[i] = copies[i].release();
    if (pceltFetched) *pceltFetched = static_cast<ULONG>(copies.size());
    return hr;
}

HRESULT ObjectsOut(const std::shared_ptr<Channel>& channel, Wire::NextObjectsResults::Reader reply, ULONG celt,
                   IUnknown** rgelt, ULONG* pceltFetched) {
    const HRESULT hr = reply.getHr();
    if (FAILED(hr)) return hr;
    const auto objects = reply.getObjects();
    if (!FetchedFits(hr, objects.size(), celt)) return E_UNEXPECTED;
    std::vector<ComPtr<IUnknown>> proxies;
    for (rpcwire::Lent::Reader lent : objects) proxies.push_back(MakeProxy(channel, lent));
    for (std::size_t i = 0; i < proxies.size(); ++i) rgelt[i] = proxies[i].detach();
    if (pceltFetched) *pceltFetched = static_cast<ULONG>(proxies.size());
    return hr;
}

HRESULT AttributesOut(Wire::NextAttributesResults::Reader reply, ULONG celt, OPCITEMATTRIBUTES** ppItemArray,
                      ULONG* pceltFetched) {
    const HRESULT hr = reply.getHr();
    if (FAILED(hr)) return hr;
    const auto attributes = reply.getAttributes();
    if (!FetchedFits(hr, attributes.size(), celt)) return E_UNEXPECTED;
    if (attributes.size() == 0) return hr;  // nothing fetched: no array
    auto out = OutArray<OPCITEMATTRIBUTES>(attributes.size(), FreeAttributes);
    if (!out) return E_OUTOFMEMORY;
    if (const HRESULT converted = AllFromWire(attributes, out); FAILED(converted)) return converted;
    *ppItemArray = out.Release();
    if (pceltFetched) *pceltFetched = attributes.size();
    return hr;
}

// The caller's side of an enumerator's Next.
HRESULT CheckNext(ULONG celt, const void* rgelt, ULONG* pceltFetched) {
    if (pceltFetched) *pceltFetched = 0;
    if (!rgelt) return E_POINTER;
    return celt > 1 && !pceltFetched ? E_INVALIDARG : S_OK;
}

// --- The proxies ------------------------------------------------------------------------------

class ObjectProxy final
    : public ComObject<IOPCServer, IOPCCommon, IConnectionPointContainer, IOPCItemProperties,
                       IOPCBrowseServerAddressSpace, IOPCServerPublicGroups, IPersistFile, IOPCGroupStateMgt,
                       IOPCPublicGroupStateMgt, IOPCItemMgt, IOPCSyncIO, IOPCAsyncIO, IOPCAsyncIO2, IDataObject,
                       IEnumString, IEnumUnknown, IEnumOPCItemAttributes> {
public:
    ObjectProxy(std::shared_ptr<Channel> channel, rpcwire::Object::Client object, std::vector<IID> answers)
        : channel_(std::move(channel)), object_(kj::mv(object)), answers_(std::move(answers)) {}
    // noexcept: ComObject's destructor is, and the client left behind by the move holds nothing.
    ~ObjectProxy() noexcept override { channel_->Drop(kj::mv(object_)); }

    // For the connection points.
    HRESULT AdviseSink(REFIID iid, IUnknown* sink, DWORD* cookie);
    HRESULT UnadviseSink(REFIID iid, DWORD cookie);

    // IOPCServer
    HRESULT AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate, OPCHANDLE hClientGroup, LONG* pTimeBias,
                     FLOAT* pPercentDeadband, DWORD dwLCID, OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate,
                     REFIID riid, LPUNKNOWN* ppUnk) override;
    HRESULT GetErrorString(HRESULT dwError, LCID dwLocale, LPWSTR* ppString) override;
    HRESULT GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) override;
    HRESULT GetStatus(OPCSERVERSTATUS** ppServerStatus) override;
    HRESULT RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) override;
    HRESULT CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN* ppUnk) override;

    // IOPCCommon
    HRESULT SetLocaleID(LCID dwLcid) override;
    HRESULT GetLocaleID(LCID* pdwLcid) override;
    HRESULT QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) override;
    HRESULT GetErrorString(HRESULT dwError, LPWSTR* ppString) override;
    HRESULT SetClientName(LPCWSTR szName) override;

    // IConnectionPointContainer
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // IOPCItemProperties
    HRESULT QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount, DWORD** ppPropertyIDs, LPWSTR** ppDescriptions,
                                     VARTYPE** ppvtDataTypes) override;
    HRESULT GetItemProperties(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs, VARIANT** ppvData,
                              HRESULT** ppErrors) override;
    HRESULT LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs, LPWSTR** ppszNewItemIDs,
                          HRESULT** ppErrors) override;

    // IOPCBrowseServerAddressSpace
    HRESULT QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) override;
    HRESULT ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection, LPCWSTR szString) override;
    HRESULT BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType, LPCWSTR szFilterCriteria, VARTYPE vtDataTypeFilter,
                             DWORD dwAccessRightsFilter, LPENUMSTRING* ppIEnumString) override;
    HRESULT GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) override;
    HRESULT BrowseAccessPaths(LPCWSTR szItemID, LPENUMSTRING* ppIEnumString) override;

    // IOPCServerPublicGroups
    HRESULT GetPublicGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) override;
    HRESULT RemovePublicGroup(OPCHANDLE hServerGroup, BOOL bForce) override;

    // IPersistFile
    HRESULT GetClassID(CLSID* pClassID) override;
    HRESULT IsDirty() override;
    HRESULT Load(LPCOLESTR pszFileName, DWORD dwMode) override;
    HRESULT Save(LPCOLESTR pszFileName, BOOL fRemember) override;
    HRESULT SaveCompleted(LPCOLESTR pszFileName) override;
    HRESULT GetCurFile(LPOLESTR* ppszFileName) override;

    // IOPCGroupStateMgt
    HRESULT GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName, LONG* pTimeBias, FLOAT* pPercentDeadband,
                     DWORD* pLCID, OPCHANDLE* phClientGroup, OPCHANDLE* phServerGroup) override;
    HRESULT SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate, BOOL* pActive, LONG* pTimeBias,
                     FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup) override;
    HRESULT SetName(LPCWSTR szName) override;
    HRESULT CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) override;

    // IOPCPublicGroupStateMgt
    HRESULT GetState(BOOL* pPublic) override;
    HRESULT MoveToPublic() override;

    // IOPCItemMgt
    HRESULT AddItems(DWORD dwCount, OPCITEMDEF* pItemArray, OPCITEMRESULT** ppAddResults, HRESULT** ppErrors) override;
    HRESULT ValidateItems(DWORD dwCount, OPCITEMDEF* pItemArray, BOOL bBlobUpdate, OPCITEMRESULT** ppValidationResults,
                          HRESULT** ppErrors) override;
    HRESULT RemoveItems(DWORD dwCount, OPCHANDLE* phServer, HRESULT** ppErrors) override;
    HRESULT SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive, HRESULT** ppErrors) override;
    HRESULT SetClientHandles(DWORD dwCount, OPCHANDLE* phServer, OPCHANDLE* phClient, HRESULT** ppErrors) override;
    HRESULT SetDatatypes(DWORD dwCount, OPCHANDLE* phServer, VARTYPE* pRequestedDatatypes,
                         HRESULT** ppErrors) override;
    HRESULT CreateEnumerator(REFIID riid, LPUNKNOWN* ppUnk) override;

    // IOPCSyncIO
    HRESULT Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer, OPCITEMSTATE** ppItemValues,
                 HRESULT** ppErrors) override;
    HRESULT Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, HRESULT** ppErrors) override;

    // IOPCAsyncIO
    HRESULT Read(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer, DWORD* pTransactionID,
                 HRESULT** ppErrors) override;
    HRESULT Write(DWORD dwConnection, DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, DWORD* pTransactionID,
                  HRESULT** ppErrors) override;
    HRESULT Refresh(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD* pTransactionID) override;
    HRESULT Cancel(DWORD dwTransactionID) override;

    // IOPCAsyncIO2
    HRESULT Read(DWORD dwCount, OPCHANDLE* phServer, DWORD dwTransactionID, DWORD* pdwCancelID,
                 HRESULT** ppErrors) override;
    HRESULT Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, DWORD dwTransactionID, DWORD* pdwCancelID,
                  HRESULT** ppErrors) override;
    HRESULT Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID, DWORD* pdwCancelID) override;
    HRESULT Cancel2(DWORD dwCancelID) override;
    HRESULT SetEnable(BOOL bEnable) override;
    HRESULT GetEnable(BOOL* pbEnable) override;

    // IDataObject
    HRESULT GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) override;
    HRESULT GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) override;
    HRESULT QueryGetData(FORMATETC* pformatetc) override;
    HRESULT GetCanonicalFormatEtc(FORMATETC* pformatectIn, FORMATETC* pformatetcOut) override;
    HRESULT SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium, BOOL fRelease) override;
    HRESULT EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) override;
    HRESULT DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
    HRESULT DUnadvise(DWORD dwConnection) override;
    HRESULT EnumDAdvise(IEnumSTATDATA** ppenumAdvise) override;

    // IEnumString, IEnumUnknown, IEnumOPCItemAttributes
    HRESULT Next(ULONG celt, LPOLESTR* rgelt, ULONG* pceltFetched) override;
    HRESULT Next(ULONG celt, IUnknown** rgelt, ULONG* pceltFetched) override;
    HRESULT Next(ULONG celt, OPCITEMATTRIBUTES** ppItemArray, ULONG* pceltFetched) override;
    HRESULT Skip(ULONG celt) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumString** ppenum) override;
    HRESULT Clone(IEnumUnknown** ppenum) override;
    HRESULT Clone(IEnumOPCItemAttributes** ppenum) override;

protected:
    void* FindInterface(REFIID iid) override;

private:
    bool Answers(REFIID iid) const { return std::find(answers_.begin(), answers_.end(), iid) != answers_.end(); }
    HRESULT CloneAs(REFIID iid, void** out);

    std::shared_ptr<Channel> channel_;
    rpcwire::Object::Client object_;
    std::vector<IID> answers_;  // the interfaces the host named for the object
};

// A connection point of an ObjectProxy; the host keeps the connections.
class ConnectionPointProxy final : public ComObject<IConnectionPoint> {
public:
    ConnectionPointProxy(ComPtr<ObjectProxy> owner, REFIID iid) : owner_(std::move(owner)), iid_(iid) {}

    HRESULT GetConnectionInterface(IID* pIID) override {
        if (!pIID) return E_POINTER;
        *pIID = iid_;
        return S_OK;
    }
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override {
        if (!ppCPC) return E_POINTER;
        return owner_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(ppCPC));
    }
    HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override {
        return owner_->AdviseSink(iid_, pUnkSink, pdwCookie);
    }
    HRESULT Unadvise(DWORD dwCookie) override { return owner_->UnadviseSink(iid_, dwCookie); }
    // The wire does not list connections.
    HRESULT EnumConnections(IEnumConnections** ppEnum) override {
        if (ppEnum) *ppEnum = nullptr;
        return E_NOTIMPL;
    }

private:
    const ComPtr<ObjectProxy> owner_;
    const IID iid_;
};

void* ObjectProxy::FindInterface(REFIID iid) {
    // IPersist comes with IPersistFile, its base, which is the one the host names.
    const IID& named = iid == IID_IPersist ? IID_IPersistFile : iid;
    if (iid != IID_IUnknown && !Answers(named)) return nullptr;
    return ComObject::FindInterface(iid);
}

HRESULT ObjectProxy::AdviseSink(REFIID iid, IUnknown* sink, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    // Checked here: the host sees only a capability and cannot ask the sink.
    ComPtr<IUnknown> typed;
    if (FAILED(sink->QueryInterface(iid, typed.putVoid())) || !typed) return CONNECT_E_CANNOTCONNECT;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.adviseRequest();
        request.setIid(WireBytes(iid));
        request.setSink(MakeSinkServer(channel_, sink));
        return request.send().then([&](Reply<Wire::AdviseResults>&& reply) -> HRESULT {
            const HRESULT hr = reply.getHr();
            if (SUCCEEDED(hr)) *cookie = reply.getCookie();
            return hr;
        });
    });
}

HRESULT ObjectProxy::UnadviseSink(REFIID iid, DWORD cookie) {
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.unadviseRequest();
        request.setIid(WireBytes(iid));
        request.setCookie(cookie);
        return SendForHr(request);
    });
}

// --- IOPCServer -------------------------------------------------------------------------------

HRESULT ObjectProxy::AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate, OPCHANDLE hClientGroup,
                              LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD dwLCID, OPCHANDLE* phServerGroup,
                              DWORD* pRevisedUpdateRate, REFIID riid, LPUNKNOWN* ppUnk) {
    if (ppUnk) *ppUnk = nullptr;
    if (!phServerGroup || !pRevisedUpdateRate || !ppUnk) return E_POINTER;
    *phServerGroup = 0;
    *pRevisedUpdateRate = 0;
    if (!CanLend(riid)) return E_NOINTERFACE;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.addGroupRequest();
        request.setName(AsText(Utf8(szName)));
        request.setActive(bActive != FALSE);
        request.setRequestedUpdateRate(dwRequestedUpdateRate);
        request.setClientGroup(hClientGroup);
        request.setHasTimeBias(pTimeBias != nullptr);
        if (pTimeBias) request.setTimeBias(*pTimeBias);
        request.setHasDeadband(pPercentDeadband != nullptr);
        if (pPercentDeadband) request.setPercentDeadband(*pPercentDeadband);
        request.setLocaleId(dwLCID);
        request.setIid(WireBytes(riid));
        return request.send().then([&](Reply<Wire::AddGroupResults>&& reply) -> HRESULT {
            const HRESULT hr = reply.getHr();
            if (FAILED(hr)) return hr;
            const HRESULT qi = LentAs(channel_, reply.getGroup(), riid, reinterpret_cast<void**>(ppUnk));
            if (FAILED(qi)) return qi;
            *phServerGroup = reply.getServerGroup();
            *pRevisedUpdateRate = reply.getRevisedUpdateRate();
            return hr;
        });
    });
}

HRESULT ObjectProxy::GetErrorString(HRESULT dwError, LCID dwLocale, LPWSTR* ppString) {
    if (!ppString) return E_POINTER;
    *ppString = nullptr;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.getErrorStringRequest();
        request.setError(dwError);
        request.setLocaleId(dwLocale);
        return SendForText(request, [](auto& reply) { return reply.getText(); }, ppString);
    });
}

HRESULT ObjectProxy::GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
    if (!ppUnk) return E_POINTER;
    *ppUnk = nullptr;
    if (!Given(szName)) return E_INVALIDARG;
    if (!CanLend(riid)) return E_NOINTERFACE;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.getGroupByNameRequest();
        request.setName(AsText(Utf8(szName)));
        request.setIid(WireBytes(riid));
        return SendLending(channel_, request, PickGroup, riid, reinterpret_cast<void**>(ppUnk));
    });
}

HRESULT ObjectProxy::GetStatus(OPCSERVERSTATUS** ppServerStatus) {
    if (!ppServerStatus) return E_POINTER;
    *ppServerStatus = nullptr;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.getStatusRequest();
        return request.send().then([&](Reply<Wire::GetStatusResults>&& reply) -> HRESULT {
            const HRESULT hr = reply.getHr();
            if (FAILED(hr)) return hr;
            CoTaskMemPtr<OPCSERVERSTATUS> status(CoTaskMemAllocArray<OPCSERVERSTATUS>(1));
            if (!status) return E_OUTOFMEMORY;
            FromWire(reply.getStatus(), status.get());
            *ppServerStatus = status.release();
            return hr;
        });
    });
}

HRESULT ObjectProxy::RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) {
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.removeGroupRequest();
        request.setServerGroup(hServerGroup);
        request.setForce(bForce != FALSE);
        return SendForHr(request);
    });
}

HRESULT ObjectProxy::CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN* ppUnk) {
    if (!ppUnk) return E_POINTER;
    *ppUnk = nullptr;
    if (!CanLend(riid)) return E_NOINTERFACE;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.createGroupEnumeratorRequest();
        request.setScope(dwScope);
        request.setIid(WireBytes(riid));
        return SendLending(channel_, request, PickEnumerator, riid, reinterpret_cast<void**>(ppUnk));
    });
}

// --- IOPCCommon -------------------------------------------------------------------------------

HRESULT ObjectProxy::SetLocaleID(LCID dwLcid) {
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.setLocaleIdRequest();
        request.setLocaleId(dwLcid);
        return SendForHr(request);
    });
}

HRESULT ObjectProxy::GetLocaleID(LCID* pdwLcid) {
    if (!pdwLcid) return E_POINTER;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.getLocaleIdRequest();
        return request.send().then([&](Reply<Wire::GetLocaleIdResults>&& reply) -> HRESULT {
            const HRESULT hr = reply.getHr();
            if (SUCCEEDED(hr)) *pdwLcid = reply.getLocaleId();
            return hr;
        });
    });
}

HRESULT ObjectProxy::QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) {
    if (!pdwCount || !pdwLcid) return E_POINTER;
    *pdwCount = 0;
    *pdwLcid = nullptr;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.queryAvailableLocaleIdsRequest();
        return request.send().then([&](Reply<Wire::QueryAvailableLocaleIdsResults>&& reply) -> HRESULT {
            const HRESULT hr = reply.getHr();
            if (FAILED(hr)) return hr;
            const auto ids = reply.getLocaleIds();
            auto out = OutArray<LCID>(ids.size());
            if (!out) return E_OUTOFMEMORY;
            for (unsigned i = 0; i < ids.size(); ++i) out[i] = ids[i];
            *pdwCount = ids.size();
            *pdwLcid = out.Release();
            return hr;
        });
    });
}

HRESULT ObjectProxy::GetErrorString(HRESULT dwError, LPWSTR* ppString) {
    if (!ppString) return E_POINTER;
    *ppString = nullptr;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.getErrorStringCommonRequest();
        request.setError(dwError);
        return SendForText(request, [](auto& reply) { return reply.getText(); }, ppString);
    });
}

HRESULT ObjectProxy::SetClientName(LPCWSTR szName) {
    if (!Given(szName)) return E_INVALIDARG;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.setClientNameRequest();
        request.setName(AsText(Utf8(szName)));
        return SendForHr(request);
    });
}

// --- IConnectionPointContainer ----------------------------------------------------------------

// The wire does not list connection points; FindConnectionPoint knows the only two: a group's
// data callback, and every other object's shutdown point.
HRESULT ObjectProxy::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    if (ppEnum) *ppEnum = nullptr;
    return E_NOTIMPL;
}

HRESULT ObjectProxy::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    const bool group = Answers(IID_IOPCGroupStateMgt);
    const bool offered = (riid == IID_IOPCShutdown && !group) || (riid == IID_IOPCDataCallback && group);
    if (!offered) return CONNECT_E_NOCONNECTION;
    *ppCP = MakeComObject<ConnectionPointProxy>(ComPtr<ObjectProxy>(this), riid).detach();
    return S_OK;
}

// --- IOPCItemProperties -----------------------------------------------------------------------

HRESULT ObjectProxy::QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount, DWORD** ppPropertyIDs,
                                              LPWSTR** ppDescriptions, VARTYPE** ppvtDataTypes) {
    if (!pdwCount || !ppPropertyIDs || !ppDescriptions || !ppvtDataTypes) return E_POINTER;
    *pdwCount = 0;
    *ppPropertyIDs = nullptr;
    *ppDescriptions = nullptr;
    *ppvtDataTypes = nullptr;
    if (!Given(szItemID)) return E_INVALIDARG;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.queryAvailablePropertiesRequest();
        request.setItemId(AsText(Utf8(szItemID)));
        return request.send().then([&](Reply<Wire::QueryAvailablePropertiesResults>&& reply) -> HRESULT {
            return PropertiesOut(reply, pdwCount, ppPropertyIDs, ppDescriptions, ppvtDataTypes);
        });
    });
}

HRESULT ObjectProxy::GetItemProperties(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs, VARIANT** ppvData,
                                       HRESULT** ppErrors) {
    if (const HRESULT hr = CheckItemCall(dwCount, pdwPropertyIDs, ppvData, ppErrors); FAILED(hr)) return hr;
    if (!Given(szItemID)) return E_INVALIDARG;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.getItemPropertiesRequest();
        request.setItemId(AsText(Utf8(szItemID)));
        CopyToWire(pdwPropertyIDs, request.initIds(dwCount));
        return request.send().then([&](Reply<Wire::GetItemPropertiesResults>&& reply) -> HRESULT {
            return ItemsOut(reply.getHr(), reply.getValues(), reply.getErrors(), dwCount, ClearValue, ppvData,
                            ppErrors);
        });
    });
}

HRESULT ObjectProxy::LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs, LPWSTR** ppszNewItemIDs,
                                   HRESULT** ppErrors) {
    if (const HRESULT hr = CheckItemCall(dwCount, pdwPropertyIDs, ppszNewItemIDs, ppErrors); FAILED(hr)) return hr;
    if (!Given(szItemID)) return E_INVALIDARG;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.lookupItemIdsRequest();
        request.setItemId(AsText(Utf8(szItemID)));
        CopyToWire(pdwPropertyIDs, request.initIds(dwCount));
        return request.send().then([&](Reply<Wire::LookupItemIdsResults>&& reply) -> HRESULT {
            return ItemIdsOut(reply, dwCount, ppszNewItemIDs, ppErrors);
        });
    });
}

// --- IOPCBrowseServerAddressSpace -------------------------------------------------------------

HRESULT ObjectProxy::QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) {
    if (!pNameSpaceType) return E_POINTER;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.queryOrganizationRequest();
        return request.send().then([&](Reply<Wire::QueryOrganizationResults>&& reply) -> HRESULT {
            const HRESULT hr = reply.getHr();
            if (SUCCEEDED(hr)) *pNameSpaceType = static_cast<OPCNAMESPACETYPE>(reply.getOrganization());
            return hr;
        });
    });
}

HRESULT ObjectProxy::ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection, LPCWSTR szString) {
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.changeBrowsePositionRequest();
        request.setDirection(dwBrowseDirection);
        request.setName(AsText(Utf8(szString)));
        return SendForHr(request);
    });
}

HRESULT ObjectProxy::BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType, LPCWSTR szFilterCriteria,
                                      VARTYPE vtDataTypeFilter, DWORD dwAccessRightsFilter,
                                      LPENUMSTRING* ppIEnumString) {
    if (!ppIEnumString) return E_POINTER;
    *ppIEnumString = nullptr;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.browseItemIdsRequest();
        request.setFilterType(dwBrowseFilterType);
        request.setCriteria(AsText(Utf8(szFilterCriteria)));
        request.setTypeFilter(vtDataTypeFilter);
        request.setAccessFilter(dwAccessRightsFilter);
        return SendLending(channel_, request, PickEnumerator, IID_IEnumString,
                           reinterpret_cast<void**>(ppIEnumString));
    });
}

HRESULT ObjectProxy::GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) {
    if (!szItemID) return E_POINTER;
    *szItemID = nullptr;
    if (!Given(szItemDataID)) return E_INVALIDARG;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.getItemIdRequest();
        request.setDataId(AsText(Utf8(szItemDataID)));
        return SendForText(request, [](auto& reply) { return reply.getItemId(); }, szItemID);
    });
}

HRESULT ObjectProxy::BrowseAccessPaths(LPCWSTR szItemID, LPENUMSTRING* ppIEnumString) {
    if (!ppIEnumString) return E_POINTER;
    *ppIEnumString = nullptr;
    if (!Given(szItemID)) return E_INVALIDARG;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.browseAccessPathsRequest();
        request.setItemId(AsText(Utf8(szItemID)));
        return SendLending(channel_, request, PickEnumerator, IID_IEnumString,
                           reinterpret_cast<void**>(ppIEnumString));
    });
}

// --- IOPCServerPublicGroups -------------------------------------------------------------------

HRESULT ObjectProxy::GetPublicGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
    if (!ppUnk) return E_POINTER;
    *ppUnk = nullptr;
    if (!Given(szName)) return E_INVALIDARG;
    if (!CanLend(riid)) return E_NOINTERFACE;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.getPublicGroupByNameRequest();
        request.setName(AsText(Utf8(szName)));
        request.setIid(WireBytes(riid));
        return SendLending(channel_, request, PickGroup, riid, reinterpret_cast<void**>(ppUnk));
    });
}

HRESULT ObjectProxy::RemovePublicGroup(OPCHANDLE hServerGroup, BOOL bForce) {
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.removePublicGroupRequest();
        request.setServerGroup(hServerGroup);
        request.setForce(bForce != FALSE);
        return SendForHr(request);
    });
}

// --- IPersistFile -----------------------------------------------------------------------------

HRESULT ObjectProxy::GetClassID(CLSID* pClassID) {
    if (!pClassID) return E_POINTER;
    *pClassID = GUID_NULL;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        return object_.getClassIdRequest().send().then([pClassID](auto&& reply) -> HRESULT {
            const HRESULT hr = reply.getHr();
            if (SUCCEEDED(hr) && !FromWire(reply.getClsid(), pClassID)) return E_UNEXPECTED;
            return hr;
        });
    });
}

HRESULT ObjectProxy::IsDirty() {
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.isDirtyRequest();
        return SendForHr(request);
    });
}

HRESULT ObjectProxy::Load(LPCOLESTR pszFileName, DWORD dwMode) {
    if (!Given(pszFileName)) return E_INVALIDARG;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.loadRequest();
        request.setFileName(AsText(Utf8(pszFileName)));
        request.setMode(dwMode);
        return SendForHr(request);
    });
}

HRESULT ObjectProxy::Save(LPCOLESTR pszFileName, BOOL fRemember) {
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.saveRequest();
        request.setFileName(AsText(Utf8(pszFileName)));
        request.setHasName(pszFileName != nullptr);  // null saves to the current file
        request.setRemember(fRemember != FALSE);
        return SendForHr(request);
    });
}

// The host's Save has finished before it answered: there is nothing left to tell it.
HRESULT ObjectProxy::SaveCompleted(LPCOLESTR) { return S_OK; }

HRESULT ObjectProxy::GetCurFile(LPOLESTR* ppszFileName) {
    if (!ppszFileName) return E_POINTER;
    *ppszFileName = nullptr;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.getCurFileRequest();
        return SendForText(request, [](auto& reply) { return reply.getFileName(); }, ppszFileName);
    });
}

// --- IOPCGroupStateMgt ------------------------------------------------------------------------

HRESULT ObjectProxy::GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName, LONG* pTimeBias,
                              FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup,
                              OPCHANDLE* phServerGroup) {
    if (ppName) *ppName = nullptr;
    if (!pUpdateRate || !pActive || !ppName || !pTimeBias || !pPercentDeadband || !pLCID || !phClientGroup ||
        !phServerGroup)
        return E_POINTER;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.getStateRequest();
        return request.send().then([&](Reply<Wire::GetStateResults>&& reply) -> HRESULT {
            const HRESULT hr = reply.getHr();
            if (FAILED(hr)) return hr;
            const HRESULT copied = GroupStateOut(reply.getState(), pUpdateRate, pActive, ppName, pTimeBias,
                                                 pPercentDeadband, pLCID, phClientGroup, phServerGroup);
            return FAILED(copied) ? copied : hr;
        });
    });
}

HRESULT ObjectProxy::SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate, BOOL* pActive,
                              LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup) {
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.setStateRequest();
        PutState(request, pRequestedUpdateRate, pActive, pTimeBias, pPercentDeadband, pLCID, phClientGroup);
        return request.send().then([&](Reply<Wire::SetStateResults>&& reply) -> HRESULT {
            const HRESULT hr = reply.getHr();
            if (SUCCEEDED(hr) && pRevisedUpdateRate) *pRevisedUpdateRate = reply.getRevisedUpdateRate();
            return hr;
        });
    });
}

HRESULT ObjectProxy::SetName(LPCWSTR szName) {
    if (!Given(szName)) return E_INVALIDARG;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.setNameRequest();
        request.setName(AsText(Utf8(szName)));
        return SendForHr(request);
    });
}

HRESULT ObjectProxy::CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
    if (!ppUnk) return E_POINTER;
    *ppUnk = nullptr;
    if (!CanLend(riid)) return E_NOINTERFACE;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.cloneGroupRequest();
        request.setName(AsText(Utf8(szName)));  // null travels as empty: the server picks a name
        request.setIid(WireBytes(riid));
        return SendLending(channel_, request, PickGroup, riid, reinterpret_cast<void**>(ppUnk));
    });
}

// --- IOPCPublicGroupStateMgt ------------------------------------------------------------------

HRESULT ObjectProxy::GetState(BOOL* pPublic) {
    if (!pPublic) return E_POINTER;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.getPublicStateRequest();
        return request.send().then([&](Reply<Wire::GetPublicStateResults>&& reply) -> HRESULT {
            const HRESULT hr = reply.getHr();
            if (SUCCEEDED(hr)) *pPublic = reply.getIsPublic() ? TRUE : FALSE;
            return hr;
        });
    });
}

HRESULT ObjectProxy::MoveToPublic() {
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.moveToPublicRequest();
        return SendForHr(request);
    });
}

// --- IOPCItemMgt ------------------------------------------------------------------------------

HRESULT ObjectProxy::AddItems(DWORD dwCount, OPCITEMDEF* pItemArray, OPCITEMRESULT** ppAddResults,
                              HRESULT** ppErrors) {
    if (const HRESULT hr = CheckItemCall(dwCount, pItemArray, ppAddResults, ppErrors); FAILED(hr)) return hr;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.addItemsRequest();
        DefsToWire(pItemArray, request.initItems(dwCount));
        return request.send().then([&](Reply<Wire::AddItemsResults>&& reply) -> HRESULT {
            return ItemsOut(reply.getHr(), reply.getResults(), reply.getErrors(), dwCount, FreeBlob, ppAddResults,
                            ppErrors);
        });
    });
}

HRESULT ObjectProxy::ValidateItems(DWORD dwCount, OPCITEMDEF* pItemArray, BOOL bBlobUpdate,
                                   OPCITEMRESULT** ppValidationResults, HRESULT** ppErrors) {
    if (const HRESULT hr = CheckItemCall(dwCount, pItemArray, ppValidationResults, ppErrors); FAILED(hr)) return hr;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.validateItemsRequest();
        DefsToWire(pItemArray, request.initItems(dwCount));
        request.setBlobUpdate(bBlobUpdate != FALSE);
        return request.send().then([&](Reply<Wire::ValidateItemsResults>&& reply) -> HRESULT {
            return ItemsOut(reply.getHr(), reply.getResults(), reply.getErrors(), dwCount, FreeBlob,
                            ppValidationResults, ppErrors);
        });
    });
}

HRESULT ObjectProxy::RemoveItems(DWORD dwCount, OPCHANDLE* phServer, HRESULT** ppErrors) {
    if (const HRESULT hr = CheckItemCall(dwCount, phServer, ppErrors); FAILED(hr)) return hr;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.removeItemsRequest();
        CopyToWire(phServer, request.initServerHandles(dwCount));
        return SendForErrors(request, dwCount, ppErrors);
    });
}

HRESULT ObjectProxy::SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive, HRESULT** ppErrors) {
    if (const HRESULT hr = CheckItemCall(dwCount, phServer, ppErrors); FAILED(hr)) return hr;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.setActiveStateRequest();
        CopyToWire(phServer, request.initServerHandles(dwCount));
        request.setActive(bActive != FALSE);
        return SendForErrors(request, dwCount, ppErrors);
    });
}

HRESULT ObjectProxy::SetClientHandles(DWORD dwCount, OPCHANDLE* phServer, OPCHANDLE* phClient, HRESULT** ppErrors) {
    if (const HRESULT hr = CheckItemCall(dwCount, phServer, ppErrors); FAILED(hr)) return hr;
    if (!phClient) return E_INVALIDARG;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.setClientHandlesRequest();
        CopyToWire(phServer, request.initServerHandles(dwCount));
        CopyToWire(phClient, request.initClientHandles(dwCount));
        return SendForErrors(request, dwCount, ppErrors);
    });
}

HRESULT ObjectProxy::SetDatatypes(DWORD dwCount, OPCHANDLE* phServer, VARTYPE* pRequestedDatatypes,
                                  HRESULT** ppErrors) {
    if (const HRESULT hr = CheckItemCall(dwCount, phServer, ppErrors); FAILED(hr)) return hr;
    if (!pRequestedDatatypes) return E_INVALIDARG;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.setDatatypesRequest();
        CopyToWire(phServer, request.initServerHandles(dwCount));
        CopyToWire(pRequestedDatatypes, request.initTypes(dwCount));
        return SendForErrors(request, dwCount, ppErrors);
    });
}

HRESULT ObjectProxy::CreateEnumerator(REFIID riid, LPUNKNOWN* ppUnk) {
    if (!ppUnk) return E_POINTER;
    *ppUnk = nullptr;
    if (!CanLend(riid)) return E_NOINTERFACE;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.createItemEnumeratorRequest();
        request.setIid(WireBytes(riid));
        return SendLending(channel_, request, PickEnumerator, riid, reinterpret_cast<void**>(ppUnk));
    });
}

// --- IOPCSyncIO -------------------------------------------------------------------------------

HRESULT ObjectProxy::Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer, OPCITEMSTATE** ppItemValues,
                          HRESULT** ppErrors) {
    if (const HRESULT hr = CheckItemCall(dwCount, phServer, ppItemValues, ppErrors); FAILED(hr)) return hr;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.readRequest();
        request.setSource(dwSource);
        CopyToWire(phServer, request.initServerHandles(dwCount));
        return request.send().then([&](Reply<Wire::ReadResults>&& reply) -> HRESULT {
            return ItemsOut(reply.getHr(), reply.getStates(), reply.getErrors(), dwCount, ClearState, ppItemValues,
                            ppErrors);
        });
    });
}

HRESULT ObjectProxy::Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, HRESULT** ppErrors) {
    if (const HRESULT hr = CheckItemCall(dwCount, phServer, ppErrors); FAILED(hr)) return hr;
    if (!pItemValues) return E_INVALIDARG;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.writeRequest();
        CopyToWire(phServer, request.initServerHandles(dwCount));
        if (const HRESULT hr = ValuesToWire(pItemValues, request.initValues(dwCount)); FAILED(hr)) return hr;
        return SendForErrors(request, dwCount, ppErrors);
    });
}

// --- IOPCAsyncIO ------------------------------------------------------------------------------

HRESULT ObjectProxy::Read(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer,
                          DWORD* pTransactionID, HRESULT** ppErrors) {
    if (const HRESULT hr = CheckAsyncCall(dwCount, phServer, pTransactionID, ppErrors); FAILED(hr)) return hr;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.asyncReadRequest();
        request.setConnection(dwConnection);
        request.setSource(dwSource);
        CopyToWire(phServer, request.initServerHandles(dwCount));
        return request.send().then([&](Reply<Wire::AsyncReadResults>&& reply) -> HRESULT {
            const HRESULT hr = ItemErrorsOut(reply, dwCount, ppErrors);
            if (SUCCEEDED(hr)) *pTransactionID = reply.getTransactionId();
            return hr;
        });
    });
}

HRESULT ObjectProxy::Write(DWORD dwConnection, DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                           DWORD* pTransactionID, HRESULT** ppErrors) {
    if (const HRESULT hr = CheckAsyncCall(dwCount, phServer, pTransactionID, ppErrors); FAILED(hr)) return hr;
    if (!pItemValues) return E_INVALIDARG;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.asyncWriteRequest();
        request.setConnection(dwConnection);
        CopyToWire(phServer, request.initServerHandles(dwCount));
        if (const HRESULT hr = ValuesToWire(pItemValues, request.initValues(dwCount)); FAILED(hr)) return hr;
        return request.send().then([&](Reply<Wire::AsyncWriteResults>&& reply) -> HRESULT {
            const HRESULT hr = ItemErrorsOut(reply, dwCount, ppErrors);
            if (SUCCEEDED(hr)) *pTransactionID = reply.getTransactionId();
            return hr;
        });
    });
}

HRESULT ObjectProxy::Refresh(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD* pTransactionID) {
    if (!pTransactionID) return E_POINTER;
    *pTransactionID = 0;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.refreshRequest();
        request.setConnection(dwConnection);
        request.setSource(dwSource);
        return request.send().then([&](Reply<Wire::RefreshResults>&& reply) -> HRESULT {
            const HRESULT hr = reply.getHr();
            if (SUCCEEDED(hr)) *pTransactionID = reply.getTransactionId();
            return hr;
        });
    });
}

HRESULT ObjectProxy::Cancel(DWORD dwTransactionID) {
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.cancelRequest();
        request.setTransactionId(dwTransactionID);
        return SendForHr(request);
    });
}

// --- IOPCAsyncIO2 -----------------------------------------------------------------------------

HRESULT ObjectProxy::Read(DWORD dwCount, OPCHANDLE* phServer, DWORD dwTransactionID, DWORD* pdwCancelID,
                          HRESULT** ppErrors) {
    if (const HRESULT hr = CheckAsyncCall(dwCount, phServer, pdwCancelID, ppErrors); FAILED(hr)) return hr;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.read2Request();
        CopyToWire(phServer, request.initServerHandles(dwCount));
        request.setTransactionId(dwTransactionID);
        return request.send().then([&](Reply<Wire::Read2Results>&& reply) -> HRESULT {
            const HRESULT hr = ItemErrorsOut(reply, dwCount, ppErrors);
            if (SUCCEEDED(hr)) *pdwCancelID = reply.getCancelId();
            return hr;
        });
    });
}

HRESULT ObjectProxy::Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, DWORD dwTransactionID,
                           DWORD* pdwCancelID, HRESULT** ppErrors) {
    if (const HRESULT hr = CheckAsyncCall(dwCount, phServer, pdwCancelID, ppErrors); FAILED(hr)) return hr;
    if (!pItemValues) return E_INVALIDARG;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.write2Request();
        CopyToWire(phServer, request.initServerHandles(dwCount));
        if (const HRESULT hr = ValuesToWire(pItemValues, request.initValues(dwCount)); FAILED(hr)) return hr;
        request.setTransactionId(dwTransactionID);
        return request.send().then([&](Reply<Wire::Write2Results>&& reply) -> HRESULT {
            const HRESULT hr = ItemErrorsOut(reply, dwCount, ppErrors);
            if (SUCCEEDED(hr)) *pdwCancelID = reply.getCancelId();
            return hr;
        });
    });
}

HRESULT ObjectProxy::Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID, DWORD* pdwCancelID) {
    if (!pdwCancelID) return E_POINTER;
    *pdwCancelID = 0;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.refresh2Request();
        request.setSource(dwSource);
        request.setTransactionId(dwTransactionID);
        return request.send().then([&](Reply<Wire::Refresh2Results>&& reply) -> HRESULT {
            const HRESULT hr = reply.getHr();
            if (SUCCEEDED(hr)) *pdwCancelID = reply.getCancelId();
            return hr;
        });
    });
}

HRESULT ObjectProxy::Cancel2(DWORD dwCancelID) {
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.cancel2Request();
        request.setCancelId(dwCancelID);
        return SendForHr(request);
    });
}

HRESULT ObjectProxy::SetEnable(BOOL bEnable) {
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.setEnableRequest();
        request.setEnable(bEnable != FALSE);
        return SendForHr(request);
    });
}

HRESULT ObjectProxy::GetEnable(BOOL* pbEnable) {
    if (!pbEnable) return E_POINTER;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.getEnableRequest();
        return request.send().then([&](Reply<Wire::GetEnableResults>&& reply) -> HRESULT {
            const HRESULT hr = reply.getHr();
            if (SUCCEEDED(hr)) *pbEnable = reply.getEnable() ? TRUE : FALSE;
            return hr;
        });
    });
}

// --- IDataObject ------------------------------------------------------------------------------

// Data reaches the client only through its advices; the wire carries nothing else.
HRESULT ObjectProxy::GetData(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }
HRESULT ObjectProxy::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }
HRESULT ObjectProxy::GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) { return E_NOTIMPL; }
HRESULT ObjectProxy::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }

HRESULT ObjectProxy::EnumFormatEtc(DWORD, IEnumFORMATETC** ppenumFormatEtc) {
    if (ppenumFormatEtc) *ppenumFormatEtc = nullptr;
    return E_NOTIMPL;
}

HRESULT ObjectProxy::EnumDAdvise(IEnumSTATDATA** ppenumAdvise) {
    if (ppenumAdvise) *ppenumAdvise = nullptr;
    return E_NOTIMPL;
}

HRESULT ObjectProxy::QueryGetData(FORMATETC* pformatetc) {
    if (!pformatetc) return E_INVALIDARG;
    // Formats travel by name: the numbers are each process's own.
    const std::string format = GetClipboardFormatName(pformatetc->cfFormat);
    if (format.empty()) return DV_E_FORMATETC;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.queryGetDataRequest();
        request.setFormat(AsText(format));
        request.setTymed(pformatetc->tymed);
        return SendForHr(request);
    });
}

HRESULT ObjectProxy::DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection) {
    if (!pdwConnection) return E_POINTER;
    *pdwConnection = 0;
    if (!pformatetc || !pAdvSink) return E_INVALIDARG;
    const std::string format = GetClipboardFormatName(pformatetc->cfFormat);
    if (format.empty()) return DV_E_FORMATETC;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.dataAdviseRequest();
        request.setFormat(AsText(format));
        request.setTymed(pformatetc->tymed);
        request.setFlags(advf);
        request.setSink(MakeSinkServer(channel_, pAdvSink));
        return request.send().then([&](Reply<Wire::DataAdviseResults>&& reply) -> HRESULT {
            const HRESULT hr = reply.getHr();
            if (SUCCEEDED(hr)) *pdwConnection = reply.getConnection();
            return hr;
        });
    });
}

HRESULT ObjectProxy::DUnadvise(DWORD dwConnection) {
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.dataUnadviseRequest();
        request.setConnection(dwConnection);
        return SendForHr(request);
    });
}

// --- Enumerators ------------------------------------------------------------------------------

HRESULT ObjectProxy::Next(ULONG celt, LPOLESTR* rgelt, ULONG* pceltFetched) {
    if (const HRESULT hr = CheckNext(celt, rgelt, pceltFetched); FAILED(hr)) return hr;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.nextStringsRequest();
        request.setCount(celt);
        return request.send().then([&](Reply<Wire::NextStringsResults>&& reply) -> HRESULT {
            return StringsOut(reply, celt, rgelt, pceltFetched);
        });
    });
}

HRESULT ObjectProxy::Next(ULONG celt, IUnknown** rgelt, ULONG* pceltFetched) {
    if (const HRESULT hr = CheckNext(celt, rgelt, pceltFetched); FAILED(hr)) return hr;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.nextObjectsRequest();
        request.setCount(celt);
        return request.send().then([&](Reply<Wire::NextObjectsResults>&& reply) -> HRESULT {
            return ObjectsOut(channel_, reply, celt, rgelt, pceltFetched);
        });
    });
}

HRESULT ObjectProxy::Next(ULONG celt, OPCITEMATTRIBUTES** ppItemArray, ULONG* pceltFetched) {
    if (ppItemArray) *ppItemArray = nullptr;
    if (const HRESULT hr = CheckNext(celt, ppItemArray, pceltFetched); FAILED(hr)) return hr;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.nextAttributesRequest();
        request.setCount(celt);
        return request.send().then([&](Reply<Wire::NextAttributesResults>&& reply) -> HRESULT {
            return AttributesOut(reply, celt, ppItemArray, pceltFetched);
        });
    });
}

HRESULT ObjectProxy::Skip(ULONG celt) {
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.skipRequest();
        request.setCount(celt);
        return SendForHr(request);
    });
}

HRESULT ObjectProxy::Reset() {
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.resetRequest();
        return SendForHr(request);
    });
}

HRESULT ObjectProxy::Clone(IEnumString** ppenum) { return CloneAs(IID_IEnumString, reinterpret_cast<void**>(ppenum)); }

HRESULT ObjectProxy::Clone(IEnumUnknown** ppenum) {
    return CloneAs(IID_IEnumUnknown, reinterpret_cast<void**>(ppenum));
}

HRESULT ObjectProxy::Clone(IEnumOPCItemAttributes** ppenum) {
    return CloneAs(IID_IEnumOPCItemAttributes, reinterpret_cast<void**>(ppenum));
}

HRESULT ObjectProxy::CloneAs(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return channel_->Call([&]() -> kj::Promise<HRESULT> {
        auto request = object_.cloneEnumeratorRequest();
        return SendLending(channel_, request, PickEnumerator, iid, out);
    });
}

}  // namespace

ComPtr<IUnknown> MakeProxy(const std::shared_ptr<Channel>& channel, rpcwire::Lent::Reader lent) {
    if (!lent.hasObject()) return nullptr;
    std::vector<IID> answers;
    for (capnp::Data::Reader bytes : lent.getInterfaces()) {
        IID iid;
        if (FromWire(bytes, &iid)) answers.push_back(iid);
    }
    const auto proxy = MakeComObject<ObjectProxy>(channel, lent.getObject(), std::move(answers));
    return ComPtr<IUnknown>(proxy->Identity());
}

}  // namespace rpc
