// OPC DA custom interfaces of the group object: state management, item management, the item
// attribute enumerator, synchronous and asynchronous I/O, and the client's IOPCDataCallback.
// Arrays returned through [out] pointers are allocated with CoTaskMemAlloc and freed by the
// caller, together with the strings, blobs and VARIANT contents inside them.
#pragma once

#include "opc/da/iids.h"
#include "opc/da/opc_types.h"
#include "platform/com/unknown.h"

struct IOPCGroupStateMgt : IUnknown {
    virtual HRESULT GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName, LONG* pTimeBias,
                             FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup,
                             OPCHANDLE* phServerGroup) = 0;
    // Null input pointers leave the corresponding property unchanged.
    virtual HRESULT SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate, BOOL* pActive, LONG* pTimeBias,
                             FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup) = 0;
    virtual HRESULT SetName(LPCWSTR szName) = 0;
    virtual HRESULT CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) = 0;

protected:
    ~IOPCGroupStateMgt() = default;
};

struct IOPCPublicGroupStateMgt : IUnknown {
    virtual HRESULT GetState(BOOL* pPublic) = 0;
    virtual HRESULT MoveToPublic() = 0;

protected:
    ~IOPCPublicGroupStateMgt() = default;
};

struct IOPCItemMgt : IUnknown {
    virtual HRESULT AddItems(DWORD dwCount, OPCITEMDEF* pItemArray, OPCITEMRESULT** ppAddResults,
                             HRESULT** ppErrors) = 0;
    virtual HRESULT ValidateItems(DWORD dwCount, OPCITEMDEF* pItemArray, BOOL bBlobUpdate,
                                  OPCITEMRESULT** ppValidationResults, HRESULT** ppErrors) = 0;
    virtual HRESULT RemoveItems(DWORD dwCount, OPCHANDLE* phServer, HRESULT** ppErrors) = 0;
    virtual HRESULT SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive, HRESULT** ppErrors) = 0;
    virtual HRESULT SetClientHandles(DWORD dwCount, OPCHANDLE* phServer, OPCHANDLE* phClient, HRESULT** ppErrors) = 0;
    virtual HRESULT SetDatatypes(DWORD dwCount, OPCHANDLE* phServer, VARTYPE* pRequestedDatatypes,
                                 HRESULT** ppErrors) = 0;
    virtual HRESULT CreateEnumerator(REFIID riid, LPUNKNOWN* ppUnk) = 0;

protected:
    ~IOPCItemMgt() = default;
};

struct IEnumOPCItemAttributes : IUnknown {
    virtual HRESULT Next(ULONG celt, OPCITEMATTRIBUTES** ppItemArray, ULONG* pceltFetched) = 0;
    virtual HRESULT Skip(ULONG celt) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumOPCItemAttributes** ppEnumItemAttributes) = 0;

protected:
    ~IEnumOPCItemAttributes() = default;
};

struct IOPCSyncIO : IUnknown {
    virtual HRESULT Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer, OPCITEMSTATE** ppItemValues,
                         HRESULT** ppErrors) = 0;
    virtual HRESULT Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, HRESULT** ppErrors) = 0;

protected:
    ~IOPCSyncIO() = default;
};

// OPC DA 1.0 asynchronous I/O; completions go to the IDataObject advices named by dwConnection.
struct IOPCAsyncIO : IUnknown {
    virtual HRESULT Read(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer,
                         DWORD* pTransactionID, HRESULT** ppErrors) = 0;
    virtual HRESULT Write(DWORD dwConnection, DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                          DWORD* pTransactionID, HRESULT** ppErrors) = 0;
    virtual HRESULT Refresh(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD* pTransactionID) = 0;
    virtual HRESULT Cancel(DWORD dwTransactionID) = 0;

protected:
    ~IOPCAsyncIO() = default;
};

// OPC DA 2.0 asynchronous I/O; completions go to the group's IOPCDataCallback sinks.
struct IOPCAsyncIO2 : IUnknown {
    virtual HRESULT Read(DWORD dwCount, OPCHANDLE* phServer, DWORD dwTransactionID, DWORD* pdwCancelID,
                         HRESULT** ppErrors) = 0;
    virtual HRESULT Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, DWORD dwTransactionID,
                          DWORD* pdwCancelID, HRESULT** ppErrors) = 0;
    virtual HRESULT Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID, DWORD* pdwCancelID) = 0;
    virtual HRESULT Cancel2(DWORD dwCancelID) = 0;
    virtual HRESULT SetEnable(BOOL bEnable) = 0;
    virtual HRESULT GetEnable(BOOL* pbEnable) = 0;

protected:
    ~IOPCAsyncIO2() = default;
};

// Implemented by the client; the server calls it through the group's connection point.
struct IOPCDataCallback : IUnknown {
    virtual HRESULT OnDataChange(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality, HRESULT hrMastererror,
                                 DWORD dwCount, OPCHANDLE* phClientItems, VARIANT* pvValues, WORD* pwQualities,
                                 FILETIME* pftTimeStamps, HRESULT* pErrors) = 0;
    virtual HRESULT OnReadComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality, HRESULT hrMastererror,
                                   DWORD dwCount, OPCHANDLE* phClientItems, VARIANT* pvValues, WORD* pwQualities,
                                   FILETIME* pftTimeStamps, HRESULT* pErrors) = 0;
    virtual HRESULT OnWriteComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMastererr, DWORD dwCount,
                                    OPCHANDLE* pClienthandles, HRESULT* pErrors) = 0;
    virtual HRESULT OnCancelComplete(DWORD dwTransid, OPCHANDLE hGroup) = 0;

protected:
    ~IOPCDataCallback() = default;
};

COM_INTERFACE_IID(IOPCGroupStateMgt, IID_IOPCGroupStateMgt);
COM_INTERFACE_IID(IOPCPublicGroupStateMgt, IID_IOPCPublicGroupStateMgt);
COM_INTERFACE_IID(IOPCItemMgt, IID_IOPCItemMgt);
COM_INTERFACE_IID(IEnumOPCItemAttributes, IID_IEnumOPCItemAttributes);
COM_INTERFACE_IID(IOPCSyncIO, IID_IOPCSyncIO);
COM_INTERFACE_IID(IOPCAsyncIO, IID_IOPCAsyncIO);
COM_INTERFACE_IID(IOPCAsyncIO2, IID_IOPCAsyncIO2);
COM_INTERFACE_IID(IOPCDataCallback, IID_IOPCDataCallback);
