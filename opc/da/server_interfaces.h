// OPC DA custom interfaces of the server object: IOPCServer, IOPCCommon,
// IOPCServerPublicGroups, IOPCBrowseServerAddressSpace, IOPCItemProperties, and the client's
// IOPCShutdown callback. Memory returned through [out] pointers is allocated with
// CoTaskMemAlloc (strings included) and freed by the caller.
#pragma once

#include "opc/da/iids.h"
#include "opc/da/opc_types.h"
#include "platform/com/unknown.h"

struct IEnumString;
using LPENUMSTRING = IEnumString*;

struct IOPCServer : IUnknown {
    virtual HRESULT AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate, OPCHANDLE hClientGroup,
                             LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD dwLCID, OPCHANDLE* phServerGroup,
                             DWORD* pRevisedUpdateRate, REFIID riid, LPUNKNOWN* ppUnk) = 0;
    virtual HRESULT GetErrorString(HRESULT dwError, LCID dwLocale, LPWSTR* ppString) = 0;
    virtual HRESULT GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) = 0;
    virtual HRESULT GetStatus(OPCSERVERSTATUS** ppServerStatus) = 0;
    virtual HRESULT RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) = 0;
    virtual HRESULT CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN* ppUnk) = 0;

protected:
    ~IOPCServer() = default;
};

struct IOPCCommon : IUnknown {
    virtual HRESULT SetLocaleID(LCID dwLcid) = 0;
    virtual HRESULT GetLocaleID(LCID* pdwLcid) = 0;
    virtual HRESULT QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) = 0;
    virtual HRESULT GetErrorString(HRESULT dwError, LPWSTR* ppString) = 0;
    virtual HRESULT SetClientName(LPCWSTR szName) = 0;

protected:
    ~IOPCCommon() = default;
};

struct IOPCServerPublicGroups : IUnknown {
    virtual HRESULT GetPublicGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) = 0;
    virtual HRESULT RemovePublicGroup(OPCHANDLE hServerGroup, BOOL bForce) = 0;

protected:
    ~IOPCServerPublicGroups() = default;
};

struct IOPCBrowseServerAddressSpace : IUnknown {
    virtual HRESULT QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) = 0;
    virtual HRESULT ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection, LPCWSTR szString) = 0;
    virtual HRESULT BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType, LPCWSTR szFilterCriteria,
                                     VARTYPE vtDataTypeFilter, DWORD dwAccessRightsFilter,
                                     LPENUMSTRING* ppIEnumString) = 0;
    virtual HRESULT GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) = 0;
    virtual HRESULT BrowseAccessPaths(LPCWSTR szItemID, LPENUMSTRING* ppIEnumString) = 0;

protected:
    ~IOPCBrowseServerAddressSpace() = default;
};

struct IOPCItemProperties : IUnknown {
    virtual HRESULT QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount, DWORD** ppPropertyIDs,
                                             LPWSTR** ppDescriptions, VARTYPE** ppvtDataTypes) = 0;
    virtual HRESULT GetItemProperties(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs, VARIANT** ppvData,
                                      HRESULT** ppErrors) = 0;
    virtual HRESULT LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs, LPWSTR** ppszNewItemIDs,
                                  HRESULT** ppErrors) = 0;

protected:
    ~IOPCItemProperties() = default;
};

// Implemented by the client; the server calls it through its IOPCShutdown connection point.
struct IOPCShutdown : IUnknown {
    virtual HRESULT ShutdownRequest(LPCWSTR szReason) = 0;

protected:
    ~IOPCShutdown() = default;
};

COM_INTERFACE_IID(IOPCServer, IID_IOPCServer);
COM_INTERFACE_IID(IOPCCommon, IID_IOPCCommon);
COM_INTERFACE_IID(IOPCServerPublicGroups, IID_IOPCServerPublicGroups);
COM_INTERFACE_IID(IOPCBrowseServerAddressSpace, IID_IOPCBrowseServerAddressSpace);
COM_INTERFACE_IID(IOPCItemProperties, IID_IOPCItemProperties);
COM_INTERFACE_IID(IOPCShutdown, IID_IOPCShutdown);
