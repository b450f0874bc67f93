// The class registry: classes by CLSID and ProgID with their factories, component
// categories, the older "OPC" key registration, and object creation (CoCreateInstanceEx).
// Creation is in-process for every class context; a server name other than this computer's
// fails as an unreachable computer does.
#pragma once

#include "platform/com/enums.h"
#include "platform/com/unknown.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

using REFCATID = const CATID&;

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
inline constexpr DWORD CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER;

inline constexpr DWORD COINIT_MULTITHREADED = 0x0;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

struct COAUTHINFO;  // authentication is not modelled; must be null

struct COSERVERINFO {
    DWORD dwReserved1 = 0;
    LPWSTR pwszName = nullptr;  // null or empty: this computer
    COAUTHINFO* pAuthInfo = nullptr;
    DWORD dwReserved2 = 0;
};

struct MULTI_QI {
    const IID* pIID = nullptr;
    IUnknown* pItf = nullptr;  // out, with a reference for the caller
    HRESULT hr = S_OK;         // out
};

struct IClassFactory : IUnknown {
    // CLASS_E_NOAGGREGATION for a non-null outer object.
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT LockServer(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};

struct CATEGORYINFO {
    CATID catid;
    LCID lcid = 0;
    OLECHAR szDescription[128] = {};
};

struct IEnumCATEGORYINFO : IEnumOf<CATEGORYINFO, IEnumCATEGORYINFO> {
protected:
    ~IEnumCATEGORYINFO() = default;
};

struct ICatInformation : IUnknown {
    virtual HRESULT EnumCategories(LCID lcid, IEnumCATEGORYINFO** ppenumCategoryInfo) = 0;
    virtual HRESULT GetCategoryDesc(REFCATID rcatid, LCID lcid, LPWSTR* pszDesc) = 0;
    // cImplemented / cRequired of (ULONG)-1 ignore that side. A class matches when it
    // implements one of rgcatidImpl and requires nothing outside rgcatidReq.
    virtual HRESULT EnumClassesOfCategories(ULONG cImplemented, const CATID rgcatidImpl[], ULONG cRequired,
                                            const CATID rgcatidReq[], IEnumGUID** ppenumClsid) = 0;
    virtual HRESULT IsClassOfCategories(REFCLSID rclsid, ULONG cImplemented, const CATID rgcatidImpl[], ULONG cRequired,
                                        const CATID rgcatidReq[]) = 0;
    virtual HRESULT EnumImplCategoriesOfClass(REFCLSID rclsid, IEnumGUID** ppenumCatid) = 0;
    virtual HRESULT EnumReqCategoriesOfClass(REFCLSID rclsid, IEnumGUID** ppenumCatid) = 0;

protected:
    ~ICatInformation() = default;
};

// {00000001-0000-0000-C000-000000000046}
inline constexpr IID IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {0002E013-0000-0000-C000-000000000046}
inline constexpr IID IID_ICatInformation{0x0002E013, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {0002E011-0000-0000-C000-000000000046}
inline constexpr IID IID_IEnumCATEGORYINFO{0x0002E011, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {0002E005-0000-0000-C000-000000000046}
inline constexpr CLSID CLSID_StdComponentCategoriesMgr{0x0002E005, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

COM_INTERFACE_IID(IClassFactory, IID_IClassFactory);
COM_INTERFACE_IID(ICatInformation, IID_ICatInformation);
COM_INTERFACE_IID(IEnumCATEGORYINFO, IID_IEnumCATEGORYINFO);

// A factory whose CreateInstance calls `create` (no aggregation).
using ClassCreateFunction = std::function<HRESULT(REFIID riid, void** ppv)>;
ComPtr<IClassFactory> MakeClassFactory(ClassCreateFunction create);

struct ClassRegistration {
    CLSID clsid;
    std::string progId;       // may be empty
    std::string description;  // the class's user type name
    std::vector<CATID> implementedCategories;
    bool opcKey = false;  // the older registration: a key "OPC" beneath the ProgID
    ComPtr<IClassFactory> factory;
};

// Adds a class, or replaces the one with the same CLSID. E_INVALIDARG without a factory, for
// GUID_NULL, or when the ProgID (compared without regard to case) is another class's.
HRESULT RegisterComClass(ClassRegistration registration);
// REGDB_E_CLASSNOTREG when not registered.
HRESULT UnregisterComClass(REFCLSID clsid);
// Adds or renames a category for EnumCategories / GetCategoryDesc.
HRESULT RegisterComCategory(REFCATID catid, std::string_view description);

// CO_E_CLASSSTRING for an unknown ProgID (compared without regard to case).
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
// The ProgID in task memory; REGDB_E_CLASSNOTREG for an unknown class or one without ProgID.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId);
// ProgID and user type name in task memory (either out pointer may be null).
HRESULT GetClassDetails(REFCLSID clsid, LPOLESTR* progId, LPOLESTR* userType);
// The ProgIDs that carry the older "OPC" key, in the registry's key order (alphabetical,
// without regard to case).
std::vector<std::string> ProgIDsWithOpcKey();

// True for empty, "localhost", "127.0.0.1" and this computer's host name (whole or its first
// label), without regard to case.
bool IsLocalComputerName(std::u16string_view name);

// Counted per thread: S_OK the first time on a thread, S_FALSE again, RPC_E_CHANGED_MODE
// for a different threading model. Creation does not require it.
HRESULT CoInitializeEx(void* reserved, DWORD coInit);
void CoUninitialize();

// Creates objects for a server name that is not this computer: `computer` is that name, and
// the activator fills the requests as CoCreateInstanceEx does.
using RemoteActivator = HRESULT (*)(std::u16string_view computer, REFCLSID clsid, DWORD count, MULTI_QI* results);
// Installed once at start-up by a program that reaches other computers; null removes it.
void SetRemoteActivator(RemoteActivator activator);

// Creates the object and queries it for every request. S_OK when all succeed,
// CO_S_NOTALLINTERFACES when some do, E_NOINTERFACE when none; each request gets its own
// result. A server name that is not this computer goes to the remote activator, or without
// one gives RPC_S_SERVER_UNAVAILABLE_HR to the call and every request; an unknown class
// REGDB_E_CLASSNOTREG.
HRESULT CoCreateInstanceEx(REFCLSID clsid, IUnknown* punkOuter, DWORD dwClsCtx, COSERVERINFO* pServerInfo,
                           DWORD dwCount, MULTI_QI* pResults);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* punkOuter, DWORD dwClsContext, REFIID riid, void** ppv);
HRESULT CoGetClassObject(REFCLSID clsid, DWORD dwClsContext, COSERVERINFO* pServerInfo, REFIID riid, void** ppv);
