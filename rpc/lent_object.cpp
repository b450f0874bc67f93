// The host's lent objects. Every method checks what the client sent before the COM call, and
// frees whatever the call handed back on every path: a client may be hostile, the host must
// neither crash nor leak for it.
#include "rpc/lent_object.h"

#include "platform/com/clipboard_format.h"
#include "platform/com/memory.h"
#include "platform/com/variant.h"
#include "rpc/lendable_interfaces.h"
#include "rpc/off_loop.h"
#include "rpc/persist_folder.h"
#include "rpc/wire_convert.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace rpc {

namespace {

// A larger count for an enumerator's Next is refused: the host allocates a buffer of that size.
constexpr ULONG kMaxFetch = 65536;
// Windows caps clipboard format names at this length; longer names are refused rather than
// kept in the format table for good.
constexpr std::size_t kMaxFormatName = 255;
constexpr unsigned kIidBytes = 16;

template <class Results>
void Fail(Results results, HRESULT hr) {
    results.setHr(hr);
}

BOOL Bool(bool value) { return value ? TRUE : FALSE; }

capnp::Text::Reader AsText(const std::string& text) { return capnp::Text::Reader(text.data(), text.size()); }

template <class T>
std::vector<T> ToVector(typename capnp::List<T>::Reader in) {
    std::vector<T> out;
    out.reserve(in.size());
    for (T value : in) out.push_back(value);
    return out;
}

template <class T>
DWORD CountOf(const std::vector<T>& items) {
    return static_cast<DWORD>(items.size());
}

template <class T, class List>
void CopyTo(const T* in, DWORD count, List out) {
    for (DWORD i = 0; i < count; ++i) out.set(i, in[i]);
}

// The per-item errors of a call, when it handed them back.
template <class Results>
void SetErrors(Results results, const TaskMemArray<HRESULT>& errors, DWORD count) {
    if (errors) ErrorsToWire(errors.get(), count, results.initErrors(count));
}

// An item whose value cannot travel fails with the conversion's error instead.
template <class Results>
void FailItem(Results results, const TaskMemArray<HRESULT>& errors, DWORD index, HRESULT hr) {
    if (FAILED(hr) && errors) results.getErrors().set(index, hr);
}

// The values a client sent with its handles: a malformed one gives its error, a count other
// than the handles' E_INVALIDARG.
HRESULT CheckValues(const WireVariants& values, std::size_t handleCount) {
    if (FAILED(values.Status())) return values.Status();
    return values.Count() == handleCount ? S_OK : E_INVALIDARG;
}

void FreeString(LPWSTR& text) { CoTaskMemFree(text); }
void ClearValue(VARIANT& value) { VariantClear(&value); }
void ReleaseObject(IUnknown*& object) {
    if (object) object->Release();
}
void FreeResult(OPCITEMRESULT& result) { CoTaskMemFree(result.pBlob); }
void FreeState(OPCITEMSTATE& state) { VariantClear(&state.vDataValue); }
void FreeStatus(OPCSERVERSTATUS& status) { CoTaskMemFree(status.szVendorInfo); }
void FreeAttributes(OPCITEMATTRIBUTES& attributes) {
    CoTaskMemFree(attributes.szAccessPath);
    CoTaskMemFree(attributes.szItemID);
    CoTaskMemFree(attributes.pBlob);
    VariantClear(&attributes.vEUInfo);
}

// A string a callee handed out in task memory.
class TaskString {
public:
    TaskString() = default;
    ~TaskString() { CoTaskMemFree(text_); }
    TaskString(const TaskString&) = delete;
    TaskString& operator=(const TaskString&) = delete;

    LPWSTR* put() { return &text_; }
    explicit operator bool() const { return text_ != nullptr; }
    std::string ToUtf8() const { return Utf8(text_); }

private:
    LPWSTR text_ = nullptr;
};

// The caller's buffer for an enumerator's Next. Only the elements the enumerator says it
// fetched are the caller's, and those are released with the buffer.
template <class T>
class NextBuffer {
public:
    using Release = void (*)(T& element);

    // Never a null buffer, even for a count of 0: the enumerator judges the count.
    NextBuffer(ULONG count, Release release)
        : items_(std::max<ULONG>(count, 1)), count_(count), release_(release) {}
    ~NextBuffer() {
        for (ULONG i = 0; i < Fetched(); ++i) release_(items_[i]);
    }
    NextBuffer(const NextBuffer&) = delete;
    NextBuffer& operator=(const NextBuffer&) = delete;

    T* Data() { return items_.data(); }
    ULONG* FetchedSlot() { return &fetched_; }
    // An enumerator claiming more than it was asked for is not believed.
    ULONG Fetched() const { return std::min(fetched_, count_); }
    T& operator[](ULONG index) { return items_[index]; }

private:
    std::vector<T> items_;
    ULONG count_;
    ULONG fetched_ = 0;
    Release release_;
};

// Skip, Reset and Clone are alike on every enumerator the wire carries.
template <class Call>
HRESULT OnEnumerator(const ComPtr<IUnknown>& object, Call call) {
    if (auto strings = object.As<IEnumString>()) return call(strings);
    if (auto objects = object.As<IEnumUnknown>()) return call(objects);
    if (auto attributes = object.As<IEnumOPCItemAttributes>()) return call(attributes);
    return E_NOINTERFACE;
}

// The format a client names by its clipboard format name, for its whole content. Names are
// looked up, never registered: a client cannot fill the host's format table, and a format the
// host's servers have not registered is one none of them offers.
HRESULT MakeFormat(capnp::Text::Reader name, DWORD tymed, FORMATETC* format) {
    if (name.size() > kMaxFormatName) return DV_E_FORMATETC;
    const UINT clipFormat = FindClipboardFormat(std::string_view(name.cStr(), name.size()));
    if (clipFormat == 0) return DV_E_FORMATETC;
    *format = FORMATETC{static_cast<CLIPFORMAT>(clipFormat), nullptr, DVASPECT_CONTENT, -1, tymed};
    return S_OK;
}

// Lends `object` in `out` on the lending object's connection; a client that has used its
// budget gets E_OUTOFMEMORY instead.
template <class Lender, class Results>
void LendOrFail(Lender& lender, IUnknown* object, rpcwire::Lent::Builder out, Results results) {
    if (!Lend(lender.host, lender.budget, object, out)) results.setHr(E_OUTOFMEMORY);
}

}  // namespace

bool Lend(HostContext& context, const Budget& budget, IUnknown* object, rpcwire::Lent::Builder out) {
    if (!object) return true;
    if (!budget->TakeObject()) return false;
    std::vector<const IID*> answered;
    for (const IID* iid : kLendableInterfaces) {
        ComPtr<IUnknown> itf;
        if (SUCCEEDED(object->QueryInterface(*iid, itf.putVoid())) && itf) answered.push_back(iid);
    }
    auto interfaces = out.initInterfaces(static_cast<unsigned>(answered.size()));
    for (unsigned i = 0; i < answered.size(); ++i) ToWire(*answered[i], interfaces.init(i, kIidBytes));
    out.setObject(kj::heap<LentObject>(context, budget, ComPtr<IUnknown>(object)));
    return true;
}

LentObject::LentObject(HostContext& context, Budget budget, ComPtr<IUnknown> object)
    : state_(std::make_shared<State>(context, std::move(budget), std::move(object))) {}

// --- IOPCServer ----------------------------------------------------------------------------

kj::Promise<void> LentObject::addGroup(AddGroupContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto server = self->As<IOPCServer>();
        if (!server) return Fail(results, E_NOINTERFACE);
        IID iid;
        if (!FromWire(params.getIid(), &iid)) return Fail(results, E_INVALIDARG);
        const std::u16string name = Wide(params.getName());
        LONG timeBias = params.getTimeBias();
        FLOAT deadband = params.getPercentDeadband();
        OPCHANDLE serverGroup = 0;
        DWORD revisedRate = 0;
        ComPtr<IUnknown> group;
        results.setHr(server->AddGroup(name.c_str(), Bool(params.getActive()), params.getRequestedUpdateRate(),
                                       params.getClientGroup(), params.getHasTimeBias() ? &timeBias : nullptr,
                                       params.getHasDeadband() ? &deadband : nullptr, params.getLocaleId(), &serverGroup,
                                       &revisedRate, iid, group.put()));
        results.setServerGroup(serverGroup);
        results.setRevisedUpdateRate(revisedRate);
        if (group) LendOrFail(*self, group.get(), results.initGroup(), results);
        return;
    });
}

kj::Promise<void> LentObject::getErrorString(GetErrorStringContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto server = self->As<IOPCServer>();
        if (!server) return Fail(results, E_NOINTERFACE);
        TaskString text;
        results.setHr(server->GetErrorString(params.getError(), params.getLocaleId(), text.put()));
        if (text) results.setText(AsText(text.ToUtf8()));
        return;
    });
}

kj::Promise<void> LentObject::getGroupByName(GetGroupByNameContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto server = self->As<IOPCServer>();
        if (!server) return Fail(results, E_NOINTERFACE);
        IID iid;
        if (!FromWire(params.getIid(), &iid)) return Fail(results, E_INVALIDARG);
        const std::u16string name = Wide(params.getName());
        ComPtr<IUnknown> group;
        results.setHr(server->GetGroupByName(name.c_str(), iid, group.put()));
        if (group) LendOrFail(*self, group.get(), results.initGroup(), results);
        return;
    });
}

kj::Promise<void> LentObject::getStatus(GetStatusContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto results = context.getResults();
        auto server = self->As<IOPCServer>();
        if (!server) return Fail(results, E_NOINTERFACE);
        TaskMemArray<OPCSERVERSTATUS> status(FreeStatus);
        results.setHr(server->GetStatus(status.put()));
        status.SetFilled(1);
        if (status) ToWire(status[0], results.initStatus());
        return;
    });
}

kj::Promise<void> LentObject::removeGroup(RemoveGroupContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto server = self->As<IOPCServer>();
        if (!server) return Fail(results, E_NOINTERFACE);
        results.setHr(server->RemoveGroup(params.getServerGroup(), Bool(params.getForce())));
        return;
    });
}

kj::Promise<void> LentObject::createGroupEnumerator(CreateGroupEnumeratorContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto server = self->As<IOPCServer>();
        if (!server) return Fail(results, E_NOINTERFACE);
        IID iid;
        if (!FromWire(params.getIid(), &iid)) return Fail(results, E_INVALIDARG);
        ComPtr<IUnknown> enumerator;
        results.setHr(server->CreateGroupEnumerator(static_cast<OPCENUMSCOPE>(params.getScope()), iid, enumerator.put()));
        if (enumerator) LendOrFail(*self, enumerator.get(), results.initEnumerator(), results);
        return;
    });
}

// --- IOPCCommon ----------------------------------------------------------------------------

kj::Promise<void> LentObject::setLocaleId(SetLocaleIdContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto common = self->As<IOPCCommon>();
        if (!common) return Fail(results, E_NOINTERFACE);
        results.setHr(common->SetLocaleID(params.getLocaleId()));
        return;
    });
}

kj::Promise<void> LentObject::getLocaleId(GetLocaleIdContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto results = context.getResults();
        auto common = self->As<IOPCCommon>();
        if (!common) return Fail(results, E_NOINTERFACE);
        LCID localeId = 0;
        results.setHr(common->GetLocaleID(&localeId));
        results.setLocaleId(localeId);
        return;
    });
}

kj::Promise<void> LentObject::queryAvailableLocaleIds(QueryAvailableLocaleIdsContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto results = context.getResults();
        auto common = self->As<IOPCCommon>();
        if (!common) return Fail(results, E_NOINTERFACE);
        DWORD count = 0;
        TaskMemArray<LCID> localeIds;
        results.setHr(common->QueryAvailableLocaleIDs(&count, localeIds.put()));
        if (localeIds) CopyTo(localeIds.get(), count, results.initLocaleIds(count));
        return;
    });
}

kj::Promise<void> LentObject::getErrorStringCommon(GetErrorStringCommonContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto common = self->As<IOPCCommon>();
        if (!common) return Fail(results, E_NOINTERFACE);
        TaskString text;
        results.setHr(common->GetErrorString(params.getError(), text.put()));
        if (text) results.setText(AsText(text.ToUtf8()));
        return;
    });
}

kj::Promise<void> LentObject::setClientName(SetClientNameContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto common = self->As<IOPCCommon>();
        if (!common) return Fail(results, E_NOINTERFACE);
        const std::u16string name = Wide(params.getName());
        results.setHr(common->SetClientName(name.c_str()));
        return;
    });
}

// --- IOPCBrowseServerAddressSpace ----------------------------------------------------------

kj::Promise<void> LentObject::queryOrganization(QueryOrganizationContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto results = context.getResults();
        auto browse = self->As<IOPCBrowseServerAddressSpace>();
        if (!browse) return Fail(results, E_NOINTERFACE);
        OPCNAMESPACETYPE organization = OPC_NS_HIERARCHIAL;
        results.setHr(browse->QueryOrganization(&organization));
        results.setOrganization(organization);
        return;
    });
}

kj::Promise<void> LentObject::changeBrowsePosition(ChangeBrowsePositionContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto browse = self->As<IOPCBrowseServerAddressSpace>();
        if (!browse) return Fail(results, E_NOINTERFACE);
        const std::u16string name = Wide(params.getName());
        results.setHr(browse->ChangeBrowsePosition(static_cast<OPCBROWSEDIRECTION>(params.getDirection()), name.c_str()));
        return;
    });
}

kj::Promise<void> LentObject::browseItemIds(BrowseItemIdsContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto browse = self->As<IOPCBrowseServerAddressSpace>();
        if (!browse) return Fail(results, E_NOINTERFACE);
        const std::u16string criteria = Wide(params.getCriteria());
        ComPtr<IEnumString> enumerator;
        results.setHr(browse->BrowseOPCItemIDs(static_cast<OPCBROWSETYPE>(params.getFilterType()), criteria.c_str(),
                                               params.getTypeFilter(), params.getAccessFilter(), enumerator.put()));
        if (enumerator) LendOrFail(*self, enumerator.get(), results.initEnumerator(), results);
        return;
    });
}

kj::Promise<void> LentObject::getItemId(GetItemIdContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto browse = self->As<IOPCBrowseServerAddressSpace>();
        if (!browse) return Fail(results, E_NOINTERFACE);
        std::u16string dataId = Wide(params.getDataId());
        TaskString itemId;
        results.setHr(browse->GetItemID(dataId.data(), itemId.put()));
        if (itemId) results.setItemId(AsText(itemId.ToUtf8()));
        return;
    });
}

kj::Promise<void> LentObject::browseAccessPaths(BrowseAccessPathsContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto browse = self->As<IOPCBrowseServerAddressSpace>();
        if (!browse) return Fail(results, E_NOINTERFACE);
        const std::u16string itemId = Wide(params.getItemId());
        ComPtr<IEnumString> enumerator;
        results.setHr(browse->BrowseAccessPaths(itemId.c_str(), enumerator.put()));
        if (enumerator) LendOrFail(*self, enumerator.get(), results.initEnumerator(), results);
        return;
    });
}

// --- IOPCItemProperties --------------------------------------------------------------------

kj::Promise<void> LentObject::queryAvailableProperties(QueryAvailablePropertiesContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto properties = self->As<IOPCItemProperties>();
        if (!properties) return Fail(results, E_NOINTERFACE);
        std::u16string itemId = Wide(params.getItemId());
        DWORD count = 0;
        TaskMemArray<DWORD> ids;
        TaskMemArray<LPWSTR> descriptions(FreeString);
        TaskMemArray<VARTYPE> types;
        results.setHr(
            properties->QueryAvailableProperties(itemId.data(), &count, ids.put(), descriptions.put(), types.put()));
        descriptions.SetFilled(count);
        if (ids) CopyTo(ids.get(), count, results.initIds(count));
        if (types) CopyTo(types.get(), count, results.initTypes(count));
        if (descriptions) {
            auto list = results.initDescriptions(count);
            for (DWORD i = 0; i < count; ++i) list.set(i, AsText(Utf8(descriptions[i])));
        }
        return;
    });
}

kj::Promise<void> LentObject::getItemProperties(GetItemPropertiesContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto properties = self->As<IOPCItemProperties>();
        if (!properties) return Fail(results, E_NOINTERFACE);
        std::u16string itemId = Wide(params.getItemId());
        std::vector<DWORD> ids = ToVector<DWORD>(params.getIds());
        const DWORD count = CountOf(ids);
        TaskMemArray<VARIANT> values(ClearValue);
        TaskMemArray<HRESULT> errors;
        results.setHr(properties->GetItemProperties(itemId.data(), count, ids.data(), values.put(), errors.put()));
        values.SetFilled(count);
        SetErrors(results, errors, count);
        if (values) {
            auto list = results.initValues(count);
            for (DWORD i = 0; i < count; ++i) FailItem(results, errors, i, ToWire(values[i], list[i]));
        }
        return;
    });
}

kj::Promise<void> LentObject::lookupItemIds(LookupItemIdsContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto properties = self->As<IOPCItemProperties>();
        if (!properties) return Fail(results, E_NOINTERFACE);
        std::u16string itemId = Wide(params.getItemId());
        std::vector<DWORD> ids = ToVector<DWORD>(params.getIds());
        const DWORD count = CountOf(ids);
        TaskMemArray<LPWSTR> itemIds(FreeString);
        TaskMemArray<HRESULT> errors;
        results.setHr(properties->LookupItemIDs(itemId.data(), count, ids.data(), itemIds.put(), errors.put()));
        itemIds.SetFilled(count);
        SetErrors(results, errors, count);
        if (itemIds) {
            auto list = results.initItemIds(count);
            for (DWORD i = 0; i < count; ++i) list.set(i, AsText(Utf8(itemIds[i])));
        }
        return;
    });
}

// --- IPersistFile --------------------------------------------------------------------------

kj::Promise<void> LentObject::isDirty(IsDirtyContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto results = context.getResults();
        auto file = self->As<IPersistFile>();
        if (!file) return Fail(results, E_NOINTERFACE);
        results.setHr(file->IsDirty());
        return;
    });
}

kj::Promise<void> LentObject::getClassId(GetClassIdContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto results = context.getResults();
        auto file = self->As<IPersistFile>();
        if (!file) return Fail(results, E_NOINTERFACE);
        CLSID clsid{};
        results.setHr(file->GetClassID(&clsid));
        results.setClsid(WireBytes(clsid));
        return;
    });
}

// Files are reached only inside the host's persist folder, by plain name; without that folder a
// client has no file access at all.
kj::Promise<void> LentObject::load(LoadContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        std::lock_guard lock(self->persistMutex);
        auto params = context.getParams();
        auto results = context.getResults();
        auto file = self->As<IPersistFile>();
        if (!file) return Fail(results, E_NOINTERFACE);
        if (!self->host.persistFolder) return Fail(results, E_ACCESSDENIED);
        const std::string name(params.getFileName().cStr(), params.getFileName().size());
        OpenFile opened;
        const HRESULT hr = self->host.persistFolder->OpenForLoad(name, &opened);
        if (FAILED(hr)) return Fail(results, hr);
        const HRESULT loaded = file->Load(opened.ServerPath().c_str(), params.getMode());
        if (SUCCEEDED(loaded)) self->persistName = name;
        results.setHr(loaded);
        return;
    });
}

kj::Promise<void> LentObject::save(SaveContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        std::lock_guard lock(self->persistMutex);
        auto params = context.getParams();
        auto results = context.getResults();
        auto file = self->As<IPersistFile>();
        if (!file) return Fail(results, E_NOINTERFACE);
        if (!self->host.persistFolder) return Fail(results, E_ACCESSDENIED);
        // No name saves to the current file.
        const std::string name =
            params.getHasName() ? std::string(params.getFileName().cStr(), params.getFileName().size()) : self->persistName;
        if (!params.getHasName() && name.empty()) return Fail(results, E_INVALIDARG);  // no current file
        OpenFile opened;
        bool created = false;
        const HRESULT hr = self->host.persistFolder->OpenForSave(name, &opened, &created);
        if (FAILED(hr)) return Fail(results, hr);
        const bool remember = params.getRemember() || !params.getHasName();
        const HRESULT saved = file->Save(opened.ServerPath().c_str(), Bool(remember));
        if (FAILED(saved) && created) self->host.persistFolder->Remove(name);
        if (SUCCEEDED(saved) && remember) self->persistName = name;
        results.setHr(saved);
        return;
    });
}

kj::Promise<void> LentObject::getCurFile(GetCurFileContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        std::lock_guard lock(self->persistMutex);
        auto results = context.getResults();
        auto file = self->As<IPersistFile>();
        if (!file) return Fail(results, E_NOINTERFACE);
        if (!self->persistName.empty()) {
            results.setHr(S_OK);
            results.setFileName(AsText(self->persistName));
            return;
        }
        // The server's own default name; only its last part, never a path of the host's.
        TaskString name;
        results.setHr(file->GetCurFile(name.put()));
        if (name) {
            const std::string path = name.ToUtf8();
            results.setFileName(AsText(path.substr(path.find_last_of('/') + 1)));
        }
        return;
    });
}

// --- IConnectionPointContainer / IConnectionPoint ------------------------------------------

kj::Promise<void> LentObject::advise(AdviseContext context) {
    return OnLoop(context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto container = self->As<IConnectionPointContainer>();
        if (!container) return Fail(results, E_NOINTERFACE);
        IID iid;
        if (!FromWire(params.getIid(), &iid)) return Fail(results, E_INVALIDARG);
        ComPtr<IConnectionPoint> point;
        const HRESULT found = container->FindConnectionPoint(iid, point.put());
        if (!point) return Fail(results, FAILED(found) ? found : E_FAIL);
        ComPtr<IUnknown> proxy = MakeSinkProxy(self->host, self->budget, params.getSink());
        if (!proxy) return Fail(results, CONNECT_E_ADVISELIMIT);
        DWORD cookie = 0;
        results.setHr(point->Advise(proxy.get(), &cookie));
        results.setCookie(cookie);
        return;
    });
}

kj::Promise<void> LentObject::unadvise(UnadviseContext context) {
    return OnLoop(context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto container = self->As<IConnectionPointContainer>();
        if (!container) return Fail(results, E_NOINTERFACE);
        IID iid;
        if (!FromWire(params.getIid(), &iid)) return Fail(results, E_INVALIDARG);
        ComPtr<IConnectionPoint> point;
        const HRESULT found = container->FindConnectionPoint(iid, point.put());
        if (!point) return Fail(results, FAILED(found) ? found : E_FAIL);
        results.setHr(point->Unadvise(params.getCookie()));
        return;
    });
}

// --- IOPCGroupStateMgt ---------------------------------------------------------------------

kj::Promise<void> LentObject::getState(GetStateContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto results = context.getResults();
        auto group = self->As<IOPCGroupStateMgt>();
        if (!group) return Fail(results, E_NOINTERFACE);
        DWORD updateRate = 0;
        BOOL active = FALSE;
        TaskString name;
        LONG timeBias = 0;
        FLOAT deadband = 0;
        LCID localeId = 0;
        OPCHANDLE clientGroup = 0;
        OPCHANDLE serverGroup = 0;
        const HRESULT hr = group->GetState(&updateRate, &active, name.put(), &timeBias, &deadband, &localeId,
                                           &clientGroup, &serverGroup);
        results.setHr(hr);
        if (FAILED(hr)) return;
        auto state = results.initState();
        state.setUpdateRate(updateRate);
        state.setActive(active != FALSE);
        state.setName(AsText(name.ToUtf8()));
        state.setTimeBias(timeBias);
        state.setPercentDeadband(deadband);
        state.setLocaleId(localeId);
        state.setClientGroup(clientGroup);
        state.setServerGroup(serverGroup);
        return;
    });
}

kj::Promise<void> LentObject::setState(SetStateContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto group = self->As<IOPCGroupStateMgt>();
        if (!group) return Fail(results, E_NOINTERFACE);
        DWORD updateRate = params.getRequestedUpdateRate();
        BOOL active = Bool(params.getActive());
        LONG timeBias = params.getTimeBias();
        FLOAT deadband = params.getPercentDeadband();
        LCID localeId = params.getLocaleId();
        OPCHANDLE clientGroup = params.getClientGroup();
        DWORD revisedRate = 0;
        results.setHr(group->SetState(params.getHasUpdateRate() ? &updateRate : nullptr, &revisedRate,
                                      params.getHasActive() ? &active : nullptr,
                                      params.getHasTimeBias() ? &timeBias : nullptr,
                                      params.getHasDeadband() ? &deadband : nullptr,
                                      params.getHasLocaleId() ? &localeId : nullptr,
                                      params.getHasClientGroup() ? &clientGroup : nullptr));
        results.setRevisedUpdateRate(revisedRate);
        return;
    });
}

kj::Promise<void> LentObject::setName(SetNameContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto group = self->As<IOPCGroupStateMgt>();
        if (!group) return Fail(results, E_NOINTERFACE);
        const std::u16string name = Wide(params.getName());
        results.setHr(group->SetName(name.c_str()));
        return;
    });
}

kj::Promise<void> LentObject::cloneGroup(CloneGroupContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto group = self->As<IOPCGroupStateMgt>();
        if (!group) return Fail(results, E_NOINTERFACE);
        IID iid;
        if (!FromWire(params.getIid(), &iid)) return Fail(results, E_INVALIDARG);
        const std::u16string name = Wide(params.getName());
        ComPtr<IUnknown> clone;
        results.setHr(group->CloneGroup(name.c_str(), iid, clone.put()));
        if (clone) LendOrFail(*self, clone.get(), results.initGroup(), results);
        return;
    });
}

// --- IOPCItemMgt ---------------------------------------------------------------------------

namespace {

template <class Results>
void SetItemResults(Results results, const TaskMemArray<OPCITEMRESULT>& items, DWORD count) {
    if (!items) return;
    auto list = results.initResults(count);
    for (DWORD i = 0; i < count; ++i) ToWire(items[i], list[i]);
}

}  // namespace

kj::Promise<void> LentObject::addItems(AddItemsContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto items = self->As<IOPCItemMgt>();
        if (!items) return Fail(results, E_NOINTERFACE);
        ItemDefs defs(params.getItems());
        const DWORD count = defs.Count();
        TaskMemArray<OPCITEMRESULT> itemResults(FreeResult);
        TaskMemArray<HRESULT> errors;
        results.setHr(items->AddItems(count, defs.Data(), itemResults.put(), errors.put()));
        itemResults.SetFilled(count);
        SetItemResults(results, itemResults, count);
        SetErrors(results, errors, count);
        return;
    });
}

kj::Promise<void> LentObject::validateItems(ValidateItemsContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto items = self->As<IOPCItemMgt>();
        if (!items) return Fail(results, E_NOINTERFACE);
        ItemDefs defs(params.getItems());
        const DWORD count = defs.Count();
        TaskMemArray<OPCITEMRESULT> itemResults(FreeResult);
        TaskMemArray<HRESULT> errors;
        results.setHr(
            items->ValidateItems(count, defs.Data(), Bool(params.getBlobUpdate()), itemResults.put(), errors.put()));
        itemResults.SetFilled(count);
        SetItemResults(results, itemResults, count);
        SetErrors(results, errors, count);
        return;
    });
}

kj::Promise<void> LentObject::removeItems(RemoveItemsContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto items = self->As<IOPCItemMgt>();
        if (!items) return Fail(results, E_NOINTERFACE);
        std::vector<OPCHANDLE> handles = ToVector<OPCHANDLE>(params.getServerHandles());
        const DWORD count = CountOf(handles);
        TaskMemArray<HRESULT> errors;
        results.setHr(items->RemoveItems(count, handles.data(), errors.put()));
        SetErrors(results, errors, count);
        return;
    });
}

kj::Promise<void> LentObject::setActiveState(SetActiveStateContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto items = self->As<IOPCItemMgt>();
        if (!items) return Fail(results, E_NOINTERFACE);
        std::vector<OPCHANDLE> handles = ToVector<OPCHANDLE>(params.getServerHandles());
        const DWORD count = CountOf(handles);
        TaskMemArray<HRESULT> errors;
        results.setHr(items->SetActiveState(count, handles.data(), Bool(params.getActive()), errors.put()));
        SetErrors(results, errors, count);
        return;
    });
}

kj::Promise<void> LentObject::setClientHandles(SetClientHandlesContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto items = self->As<IOPCItemMgt>();
        if (!items) return Fail(results, E_NOINTERFACE);
        if (params.getServerHandles().size() != params.getClientHandles().size()) return Fail(results, E_INVALIDARG);
        std::vector<OPCHANDLE> handles = ToVector<OPCHANDLE>(params.getServerHandles());
        std::vector<OPCHANDLE> clientHandles = ToVector<OPCHANDLE>(params.getClientHandles());
        const DWORD count = CountOf(handles);
        TaskMemArray<HRESULT> errors;
        results.setHr(items->SetClientHandles(count, handles.data(), clientHandles.data(), errors.put()));
        SetErrors(results, errors, count);
        return;
    });
}

kj::Promise<void> LentObject::setDatatypes(SetDatatypesContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto items = self->As<IOPCItemMgt>();
        if (!items) return Fail(results, E_NOINTERFACE);
        if (params.getServerHandles().size() != params.getTypes().size()) return Fail(results, E_INVALIDARG);
        std::vector<OPCHANDLE> handles = ToVector<OPCHANDLE>(params.getServerHandles());
        std::vector<VARTYPE> types = ToVector<VARTYPE>(params.getTypes());
        const DWORD count = CountOf(handles);
        TaskMemArray<HRESULT> errors;
        results.setHr(items->SetDatatypes(count, handles.data(), types.data(), errors.put()));
        SetErrors(results, errors, count);
        return;
    });
}

kj::Promise<void> LentObject::createItemEnumerator(CreateItemEnumeratorContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto items = self->As<IOPCItemMgt>();
        if (!items) return Fail(results, E_NOINTERFACE);
        IID iid;
        if (!FromWire(params.getIid(), &iid)) return Fail(results, E_INVALIDARG);
        ComPtr<IUnknown> enumerator;
        results.setHr(items->CreateEnumerator(iid, enumerator.put()));
        if (enumerator) LendOrFail(*self, enumerator.get(), results.initEnumerator(), results);
        return;
    });
}

// --- IOPCSyncIO ----------------------------------------------------------------------------

kj::Promise<void> LentObject::read(ReadContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto io = self->As<IOPCSyncIO>();
        if (!io) return Fail(results, E_NOINTERFACE);
        std::vector<OPCHANDLE> handles = ToVector<OPCHANDLE>(params.getServerHandles());
        const DWORD count = CountOf(handles);
        TaskMemArray<OPCITEMSTATE> states(FreeState);
        TaskMemArray<HRESULT> errors;
        results.setHr(io->Read(static_cast<OPCDATASOURCE>(params.getSource()), count, handles.data(), states.put(),
                               errors.put()));
        states.SetFilled(count);
        SetErrors(results, errors, count);
        if (states) {
            auto list = results.initStates(count);
            for (DWORD i = 0; i < count; ++i) FailItem(results, errors, i, ToWire(states[i], list[i]));
        }
        return;
    });
}

kj::Promise<void> LentObject::write(WriteContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto io = self->As<IOPCSyncIO>();
        if (!io) return Fail(results, E_NOINTERFACE);
        std::vector<OPCHANDLE> handles = ToVector<OPCHANDLE>(params.getServerHandles());
        WireVariants values(params.getValues());
        if (HRESULT hr = CheckValues(values, handles.size()); FAILED(hr)) return Fail(results, hr);
        const DWORD count = CountOf(handles);
        TaskMemArray<HRESULT> errors;
        results.setHr(io->Write(count, handles.data(), values.Data(), errors.put()));
        SetErrors(results, errors, count);
        return;
    });
}

// --- IOPCAsyncIO ---------------------------------------------------------------------------

kj::Promise<void> LentObject::asyncRead(AsyncReadContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto io = self->As<IOPCAsyncIO>();
        if (!io) return Fail(results, E_NOINTERFACE);
        std::vector<OPCHANDLE> handles = ToVector<OPCHANDLE>(params.getServerHandles());
        const DWORD count = CountOf(handles);
        DWORD transactionId = 0;
        TaskMemArray<HRESULT> errors;
        results.setHr(io->Read(params.getConnection(), static_cast<OPCDATASOURCE>(params.getSource()), count,
                               handles.data(), &transactionId, errors.put()));
        results.setTransactionId(transactionId);
        SetErrors(results, errors, count);
        return;
    });
}

kj::Promise<void> LentObject::asyncWrite(AsyncWriteContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto io = self->As<IOPCAsyncIO>();
        if (!io) return Fail(results, E_NOINTERFACE);
        std::vector<OPCHANDLE> handles = ToVector<OPCHANDLE>(params.getServerHandles());
        WireVariants values(params.getValues());
        if (HRESULT hr = CheckValues(values, handles.size()); FAILED(hr)) return Fail(results, hr);
        const DWORD count = CountOf(handles);
        DWORD transactionId = 0;
        TaskMemArray<HRESULT> errors;
        results.setHr(
            io->Write(params.getConnection(), count, handles.data(), values.Data(), &transactionId, errors.put()));
        results.setTransactionId(transactionId);
        SetErrors(results, errors, count);
        return;
    });
}

kj::Promise<void> LentObject::refresh(RefreshContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto io = self->As<IOPCAsyncIO>();
        if (!io) return Fail(results, E_NOINTERFACE);
        DWORD transactionId = 0;
        results.setHr(
            io->Refresh(params.getConnection(), static_cast<OPCDATASOURCE>(params.getSource()), &transactionId));
        results.setTransactionId(transactionId);
        return;
    });
}

kj::Promise<void> LentObject::cancel(CancelContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto io = self->As<IOPCAsyncIO>();
        if (!io) return Fail(results, E_NOINTERFACE);
        results.setHr(io->Cancel(params.getTransactionId()));
        return;
    });
}

// --- IOPCAsyncIO2 --------------------------------------------------------------------------

kj::Promise<void> LentObject::read2(Read2Context context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto io = self->As<IOPCAsyncIO2>();
        if (!io) return Fail(results, E_NOINTERFACE);
        std::vector<OPCHANDLE> handles = ToVector<OPCHANDLE>(params.getServerHandles());
        const DWORD count = CountOf(handles);
        DWORD cancelId = 0;
        TaskMemArray<HRESULT> errors;
        results.setHr(io->Read(count, handles.data(), params.getTransactionId(), &cancelId, errors.put()));
        results.setCancelId(cancelId);
        SetErrors(results, errors, count);
        return;
    });
}

kj::Promise<void> LentObject::write2(Write2Context context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto io = self->As<IOPCAsyncIO2>();
        if (!io) return Fail(results, E_NOINTERFACE);
        std::vector<OPCHANDLE> handles = ToVector<OPCHANDLE>(params.getServerHandles());
        WireVariants values(params.getValues());
        if (HRESULT hr = CheckValues(values, handles.size()); FAILED(hr)) return Fail(results, hr);
        const DWORD count = CountOf(handles);
        DWORD cancelId = 0;
        TaskMemArray<HRESULT> errors;
        results.setHr(
            io->Write(count, handles.data(), values.Data(), params.getTransactionId(), &cancelId, errors.put()));
        results.setCancelId(cancelId);
        SetErrors(results, errors, count);
        return;
    });
}

kj::Promise<void> LentObject::refresh2(Refresh2Context context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto io = self->As<IOPCAsyncIO2>();
        if (!io) return Fail(results, E_NOINTERFACE);
        DWORD cancelId = 0;
        results.setHr(
            io->Refresh2(static_cast<OPCDATASOURCE>(params.getSource()), params.getTransactionId(), &cancelId));
        results.setCancelId(cancelId);
        return;
    });
}

kj::Promise<void> LentObject::cancel2(Cancel2Context context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto io = self->As<IOPCAsyncIO2>();
        if (!io) return Fail(results, E_NOINTERFACE);
        results.setHr(io->Cancel2(params.getCancelId()));
        return;
    });
}

kj::Promise<void> LentObject::setEnable(SetEnableContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto io = self->As<IOPCAsyncIO2>();
        if (!io) return Fail(results, E_NOINTERFACE);
        results.setHr(io->SetEnable(Bool(params.getEnable())));
        return;
    });
}

kj::Promise<void> LentObject::getEnable(GetEnableContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto results = context.getResults();
        auto io = self->As<IOPCAsyncIO2>();
        if (!io) return Fail(results, E_NOINTERFACE);
        BOOL enable = FALSE;
        results.setHr(io->GetEnable(&enable));
        results.setEnable(enable != FALSE);
        return;
    });
}

// --- IDataObject ---------------------------------------------------------------------------

kj::Promise<void> LentObject::dataAdvise(DataAdviseContext context) {
    return OnLoop(context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto data = self->As<IDataObject>();
        if (!data) return Fail(results, E_NOINTERFACE);
        FORMATETC format;
        if (HRESULT hr = MakeFormat(params.getFormat(), params.getTymed(), &format); FAILED(hr))
            return Fail(results, hr);
        ComPtr<IUnknown> proxy = MakeSinkProxy(self->host, self->budget, params.getSink());
        if (!proxy) return Fail(results, CONNECT_E_ADVISELIMIT);
        ComPtr<IAdviseSink> sink = proxy.As<IAdviseSink>();
        if (!sink) return Fail(results, E_FAIL);
        DWORD connection = 0;
        results.setHr(data->DAdvise(&format, params.getFlags(), sink.get(), &connection));
        results.setConnection(connection);
        return;
    });
}

kj::Promise<void> LentObject::dataUnadvise(DataUnadviseContext context) {
    return OnLoop(context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto data = self->As<IDataObject>();
        if (!data) return Fail(results, E_NOINTERFACE);
        results.setHr(data->DUnadvise(params.getConnection()));
        return;
    });
}

kj::Promise<void> LentObject::queryGetData(QueryGetDataContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto data = self->As<IDataObject>();
        if (!data) return Fail(results, E_NOINTERFACE);
        FORMATETC format;
        if (HRESULT hr = MakeFormat(params.getFormat(), params.getTymed(), &format); FAILED(hr))
            return Fail(results, hr);
        results.setHr(data->QueryGetData(&format));
        return;
    });
}

// --- Enumerators ---------------------------------------------------------------------------

kj::Promise<void> LentObject::nextStrings(NextStringsContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto enumerator = self->As<IEnumString>();
        if (!enumerator) return Fail(results, E_NOINTERFACE);
        const ULONG count = params.getCount();
        if (count > kMaxFetch) return Fail(results, E_INVALIDARG);
        NextBuffer<LPOLESTR> strings(count, FreeString);
        results.setHr(enumerator->Next(count, strings.Data(), strings.FetchedSlot()));
        auto list = results.initStrings(strings.Fetched());
        for (ULONG i = 0; i < strings.Fetched(); ++i) list.set(i, AsText(Utf8(strings[i])));
        return;
    });
}

kj::Promise<void> LentObject::nextObjects(NextObjectsContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto enumerator = self->As<IEnumUnknown>();
        if (!enumerator) return Fail(results, E_NOINTERFACE);
        const ULONG count = params.getCount();
        if (count > kMaxFetch) return Fail(results, E_INVALIDARG);
        NextBuffer<IUnknown*> objects(count, ReleaseObject);
        results.setHr(enumerator->Next(count, objects.Data(), objects.FetchedSlot()));
        auto list = results.initObjects(objects.Fetched());
        for (ULONG i = 0; i < objects.Fetched(); ++i)
            LendOrFail(*self, objects[i], list[i], results);
        return;
    });
}

kj::Promise<void> LentObject::nextAttributes(NextAttributesContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto enumerator = self->As<IEnumOPCItemAttributes>();
        if (!enumerator) return Fail(results, E_NOINTERFACE);
        const ULONG count = params.getCount();
        if (count > kMaxFetch) return Fail(results, E_INVALIDARG);
        TaskMemArray<OPCITEMATTRIBUTES> attributes(FreeAttributes);
        ULONG fetched = 0;
        HRESULT hr = enumerator->Next(count, attributes.put(), &fetched);
        fetched = std::min(fetched, count);
        attributes.SetFilled(fetched);
        if (attributes) {
            auto list = results.initAttributes(fetched);
            // There is no per-item error here: a record that cannot travel fails the call.
            for (ULONG i = 0; i < fetched; ++i) {
                const HRESULT converted = ToWire(attributes[i], list[i]);
                if (FAILED(converted) && SUCCEEDED(hr)) hr = converted;
            }
        }
        results.setHr(hr);
        return;
    });
}

kj::Promise<void> LentObject::skip(SkipContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        const ULONG count = context.getParams().getCount();
        context.getResults().setHr(OnEnumerator(self->object, [count](auto& enumerator) { return enumerator->Skip(count); }));
        return;
    });
}

kj::Promise<void> LentObject::reset(ResetContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        context.getResults().setHr(OnEnumerator(self->object, [](auto& enumerator) { return enumerator->Reset(); }));
        return;
    });
}

kj::Promise<void> LentObject::cloneEnumerator(CloneEnumeratorContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto results = context.getResults();
        results.setHr(OnEnumerator(self->object, [&](auto& enumerator) {
            using Itf = std::remove_pointer_t<decltype(enumerator.get())>;
            ComPtr<Itf> clone;
            const HRESULT hr = enumerator->Clone(clone.put());
            if (clone) LendOrFail(*self, clone.get(), results.initEnumerator(), results);
            return hr;
        }));
        return;
    });
}

// --- IOPCPublicGroupStateMgt, IOPCServerPublicGroups ---------------------------------------

kj::Promise<void> LentObject::getPublicState(GetPublicStateContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto results = context.getResults();
        auto group = self->As<IOPCPublicGroupStateMgt>();
        if (!group) return Fail(results, E_NOINTERFACE);
        BOOL isPublic = FALSE;
        results.setHr(group->GetState(&isPublic));
        results.setIsPublic(isPublic != FALSE);
        return;
    });
}

kj::Promise<void> LentObject::moveToPublic(MoveToPublicContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto results = context.getResults();
        auto group = self->As<IOPCPublicGroupStateMgt>();
        if (!group) return Fail(results, E_NOINTERFACE);
        results.setHr(group->MoveToPublic());
        return;
    });
}

kj::Promise<void> LentObject::getPublicGroupByName(GetPublicGroupByNameContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto server = self->As<IOPCServerPublicGroups>();
        if (!server) return Fail(results, E_NOINTERFACE);
        IID iid;
        if (!FromWire(params.getIid(), &iid)) return Fail(results, E_INVALIDARG);
        const std::u16string name = Wide(params.getName());
        ComPtr<IUnknown> group;
        results.setHr(server->GetPublicGroupByName(name.c_str(), iid, group.put()));
        if (group) LendOrFail(*self, group.get(), results.initGroup(), results);
        return;
    });
}

kj::Promise<void> LentObject::removePublicGroup(RemovePublicGroupContext context) {
    return OffLoop(state_->host, context, [self = state_](auto& context) {
        auto params = context.getParams();
        auto results = context.getResults();
        auto server = self->As<IOPCServerPublicGroups>();
        if (!server) return Fail(results, E_NOINTERFACE);
        results.setHr(server->RemovePublicGroup(params.getServerGroup(), Bool(params.getForce())));
        return;
    });
}

}  // namespace rpc
