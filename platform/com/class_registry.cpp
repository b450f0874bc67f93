#include "platform/com/class_registry.h"

#include "platform/com/bstr.h"
#include "platform/com/class_registry_store.h"
#include "platform/com/hresult.h"
#include "platform/com/memory.h"

#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <mutex>

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) { return a.size() == b.size() && Lower(a) == Lower(b); }

class Store {
public:
    // Never destroyed: factories registered by other parts must not be released during exit
    // after the objects they use are gone.
    static Store& Instance() {
        static Store* store = new Store;
        return *store;
    }

    HRESULT Register(ClassRegistration registration) {
        if (!registration.factory || registration.clsid == GUID_NULL) return E_INVALIDARG;
        std::lock_guard lock(mutex_);
        for (const ClassRegistration& existing : classes_)
            if (existing.clsid != registration.clsid && !registration.progId.empty() &&
                SameIgnoringCase(existing.progId, registration.progId))
                return E_INVALIDARG;
        const auto found = FindLocked(registration.clsid);
        if (found != classes_.end())
            *found = std::move(registration);
        else
            classes_.push_back(std::move(registration));
        return S_OK;
    }

    HRESULT Unregister(REFCLSID clsid) {
        std::lock_guard lock(mutex_);
        const auto found = FindLocked(clsid);
        if (found == classes_.end()) return REGDB_E_CLASSNOTREG;
        classes_.erase(found);
        return S_OK;
    }

    void RegisterCategory(REFCATID catid, std::string_view description) {
        std::lock_guard lock(mutex_);
        for (class_registry::CategoryEntry& entry : categories_) {
            if (entry.catid == catid) {
                entry.description = description;
                return;
            }
        }
        categories_.push_back({catid, std::string(description)});
    }

    std::optional<ClassRegistration> ByClsid(REFCLSID clsid) {
        std::lock_guard lock(mutex_);
        const auto found = FindLocked(clsid);
        if (found == classes_.end()) return std::nullopt;
        return *found;
    }

    std::optional<ClassRegistration> ByProgId(std::string_view progId) {
        if (progId.empty()) return std::nullopt;
        std::lock_guard lock(mutex_);
        for (const ClassRegistration& entry : classes_)
            if (SameIgnoringCase(entry.progId, progId)) return entry;
        return std::nullopt;
    }

    std::vector<ClassRegistration> Classes() {
        std::lock_guard lock(mutex_);
        return classes_;
    }

    std::vector<class_registry::CategoryEntry> Categories() {
        std::lock_guard lock(mutex_);
        return categories_;
    }

private:
    Store() {
        ClassRegistration manager;
        manager.clsid = CLSID_StdComponentCategoriesMgr;
        manager.description = "Component Categories Manager";
        manager.factory = class_registry::MakeCategoryManagerFactory();
        classes_.push_back(std::move(manager));
    }

    std::vector<ClassRegistration>::iterator FindLocked(REFCLSID clsid) {
        return std::find_if(classes_.begin(), classes_.end(),
                            [&clsid](const ClassRegistration& c) { return c.clsid == clsid; });
    }

    std::mutex mutex_;
    std::vector<ClassRegistration> classes_;  // in registration order
    std::vector<class_registry::CategoryEntry> categories_;
};

class FunctionClassFactory final : public ComObject<IClassFactory> {
public:
    explicit FunctionClassFactory(ClassCreateFunction create) : create_(std::move(create)) {}

    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override {
        if (!ppvObject) return E_POINTER;
        *ppvObject = nullptr;
        if (pUnkOuter) return CLASS_E_NOAGGREGATION;
        return create_(riid, ppvObject);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    ClassCreateFunction create_;
};

struct ApartmentState {
    unsigned count = 0;
    DWORD model = COINIT_MULTITHREADED;
};
thread_local ApartmentState tApartment;

// Servers run in this process: every context that allows a server is answered the same way.
bool AllowsServer(DWORD clsctx) {
    return (clsctx & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)) != 0;
}

std::string LocalHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

}  // namespace

namespace class_registry {

std::optional<ClassRegistration> FindByClsid(REFCLSID clsid) { return Store::Instance().ByClsid(clsid); }

std::optional<ClassRegistration> FindByProgId(std::string_view progId) { return Store::Instance().ByProgId(progId); }

std::vector<ClassRegistration> AllClasses() { return Store::Instance().Classes(); }

std::vector<CategoryEntry> AllCategories() { return Store::Instance().Categories(); }

}  // namespace class_registry

ComPtr<IClassFactory> MakeClassFactory(ClassCreateFunction create) {
    return MakeComObject<FunctionClassFactory>(std::move(create));
}

HRESULT RegisterComClass(ClassRegistration registration) { return Store::Instance().Register(std::move(registration)); }

HRESULT UnregisterComClass(REFCLSID clsid) { return Store::Instance().Unregister(clsid); }

HRESULT RegisterComCategory(REFCATID catid, std::string_view description) {
    Store::Instance().RegisterCategory(catid, description);
    return S_OK;
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
    if (!progId || !clsid) return E_INVALIDARG;
    const auto entry = Store::Instance().ByProgId(Utf8FromWide(progId));
    if (!entry) return CO_E_CLASSSTRING;
    *clsid = entry->clsid;
    return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) {
    if (!progId) return E_INVALIDARG;
    *progId = nullptr;
    const auto entry = Store::Instance().ByClsid(clsid);
    if (!entry || entry->progId.empty()) return REGDB_E_CLASSNOTREG;
    *progId = CoTaskWideFromUtf8(entry->progId);
    return *progId ? S_OK : E_OUTOFMEMORY;
}

HRESULT GetClassDetails(REFCLSID clsid, LPOLESTR* progId, LPOLESTR* userType) {
    if (progId) *progId = nullptr;
    if (userType) *userType = nullptr;
    const auto entry = Store::Instance().ByClsid(clsid);
    if (!entry) return REGDB_E_CLASSNOTREG;
    CoTaskMemPtr<OLECHAR> progText(progId ? CoTaskWideFromUtf8(entry->progId) : nullptr);
    CoTaskMemPtr<OLECHAR> typeText(userType ? CoTaskWideFromUtf8(entry->description) : nullptr);
    if ((progId && !progText) || (userType && !typeText)) return E_OUTOFMEMORY;
    if (progId) *progId = progText.release();
    if (userType) *userType = typeText.release();
    return S_OK;
}

std::vector<std::string> ProgIDsWithOpcKey() {
    std::vector<std::string> names;
    for (const ClassRegistration& entry : Store::Instance().Classes())
        if (entry.opcKey && !entry.progId.empty()) names.push_back(entry.progId);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
    return names;
}

bool IsLocalComputerName(std::u16string_view name) {
    if (name.empty()) return true;
    const std::string wanted = Lower(Utf8FromWide(name));
    if (wanted == "localhost" || wanted == "127.0.0.1") return true;
    const std::string host = Lower(LocalHostName());
    if (host.empty()) return false;
    return wanted == host || wanted == host.substr(0, host.find('.'));
}

HRESULT CoInitializeEx(void*, DWORD coInit) {
    const DWORD model = coInit & COINIT_APARTMENTTHREADED;
    if (tApartment.count > 0 && tApartment.model != model) return RPC_E_CHANGED_MODE;
    tApartment.model = model;
    return tApartment.count++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (tApartment.count > 0) --tApartment.count;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD dwClsContext, COSERVERINFO* pServerInfo, REFIID riid, void** ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (!AllowsServer(dwClsContext)) return E_INVALIDARG;
    if (pServerInfo && pServerInfo->pwszName &&
        !IsLocalComputerName(std::u16string_view(pServerInfo->pwszName, WideLength(pServerInfo->pwszName))))
        return RPC_S_SERVER_UNAVAILABLE_HR;
    const auto entry = Store::Instance().ByClsid(clsid);
    if (!entry) return REGDB_E_CLASSNOTREG;
    return entry->factory->QueryInterface(riid, ppv);
}

namespace {
std::atomic<RemoteActivator> gRemoteActivator{nullptr};
}  // namespace

void SetRemoteActivator(RemoteActivator activator) {
    gRemoteActivator.store(activator);
}

HRESULT CoCreateInstanceEx(REFCLSID clsid, IUnknown* punkOuter, DWORD dwClsCtx, COSERVERINFO* pServerInfo,
                           DWORD dwCount, MULTI_QI* pResults) {
    if (dwCount == 0 || !pResults) return E_INVALIDARG;
    for (DWORD i = 0; i < dwCount; ++i)
        if (!pResults[i].pIID) return E_INVALIDARG;
    auto failAll = [&](HRESULT hr) {
        for (DWORD i = 0; i < dwCount; ++i) {
            pResults[i].pItf = nullptr;
            pResults[i].hr = hr;
        }
        return hr;
    };
    if (pServerInfo && pServerInfo->pwszName) {
        const std::u16string_view computer(pServerInfo->pwszName, WideLength(pServerInfo->pwszName));
        const RemoteActivator remote = gRemoteActivator.load();
        if (!IsLocalComputerName(computer) && remote && AllowsServer(dwClsCtx)) {
            if (punkOuter) return failAll(CLASS_E_NOAGGREGATION);
            for (DWORD i = 0; i < dwCount; ++i) pResults[i].pItf = nullptr;
            return remote(computer, clsid, dwCount, pResults);
        }
    }

    ComPtr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(clsid, dwClsCtx, pServerInfo, IID_IClassFactory, factory.putVoid());
    if (FAILED(hr)) return failAll(hr);
    ComPtr<IUnknown> object;
    hr = factory->CreateInstance(punkOuter, IID_IUnknown, object.putVoid());
    if (FAILED(hr)) return failAll(hr);
    if (!object) return failAll(E_UNEXPECTED);

    DWORD answered = 0;
    for (DWORD i = 0; i < dwCount; ++i) {
        void* itf = nullptr;
        pResults[i].hr = object->QueryInterface(*pResults[i].pIID, &itf);
        if (SUCCEEDED(pResults[i].hr) && !itf) pResults[i].hr = E_NOINTERFACE;
        pResults[i].pItf = SUCCEEDED(pResults[i].hr) ? static_cast<IUnknown*>(itf) : nullptr;
        if (SUCCEEDED(pResults[i].hr)) ++answered;
    }
    if (answered == dwCount) return S_OK;
    return answered > 0 ? CO_S_NOTALLINTERFACES : E_NOINTERFACE;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* punkOuter, DWORD dwClsContext, REFIID riid, void** ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    MULTI_QI request{&riid, nullptr, S_OK};
    const HRESULT hr = CoCreateInstanceEx(clsid, punkOuter, dwClsContext, nullptr, 1, &request);
    if (FAILED(hr)) return hr;
    *ppv = request.pItf;
    return S_OK;
}
