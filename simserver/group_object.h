// The group COM object: the interfaces a client reaches a group through. Each method checks
// its arguments and works on the group's core (simserver/group_core.h) under its mutex.
#pragma once

#include <memory>

#include "opc/da/group_interfaces.h"
#include "platform/com/connection_point.h"
#include "platform/com/data_object.h"
#include "simserver/group.h"
#include "simserver/group_core.h"

namespace simserver {

class Group final : public ComObject<IOPCGroupStateMgt, IOPCPublicGroupStateMgt, IOPCItemMgt, IOPCSyncIO, IOPCAsyncIO,
                                     IOPCAsyncIO2, IDataObject, IConnectionPointContainer> {
public:
    Group(const GroupParams& params, const GroupServices& services, std::weak_ptr<GroupTable> table,
          OPCHANDLE serverHandle);
    ~Group() override;

    OPCHANDLE ServerHandle() const { return serverHandle_; }
    std::u16string Name();
    bool IsPublic();
    // Leaves the table: with `end`, the group stops working for good (its methods answer
    // E_FAIL); without, it goes on until the client lets it go.
    void Detach(bool end);
    void SetNameFromTable(const std::u16string& name);
    void SetPublicFromTable();
    // The current count of references (a snapshot).
    ULONG References();

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
    HRESULT SetDatatypes(DWORD dwCount, OPCHANDLE* phServer, VARTYPE* pRequestedDatatypes, HRESULT** ppErrors) override;
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

    // IDataObject: only the advices of the three 1.0 stream formats.
    HRESULT GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) override;
    HRESULT GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) override;
    HRESULT QueryGetData(FORMATETC* pformatetc) override;
    HRESULT GetCanonicalFormatEtc(FORMATETC* pformatectIn, FORMATETC* pformatetcOut) override;
    HRESULT SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium, BOOL fRelease) override;
    HRESULT EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) override;
    HRESULT DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
    HRESULT DUnadvise(DWORD dwConnection) override;
    HRESULT EnumDAdvise(IEnumSTATDATA** ppenumAdvise) override;

    // IConnectionPointContainer: the IOPCDataCallback point.
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

protected:
    void* FindInterface(REFIID iid) override;

private:
    // Common checks of the item-handle methods: the group is alive, the arrays are there.
    HRESULT CheckHandleCall(DWORD count, const void* handles, HRESULT** ppErrors);
    // The table of a private group still attached to its server, for renaming or making it
    // public; E_FAIL once shut down or detached, OPC_E_PUBLIC for a public group.
    HRESULT PrivateGroupTable(std::shared_ptr<GroupTable>& table);
    HRESULT ResolveItems(DWORD count, const OPCITEMDEF* defs, bool add, OPCITEMRESULT** ppResults, HRESULT** ppErrors);
    // For the async calls: keeps the handles that name items (readable / writable ones).
    HRESULT CheckAsyncItems(DWORD count, const OPCHANDLE* handles, bool write, std::vector<OPCHANDLE>* valid,
                            std::vector<std::size_t>* positions, HRESULT** ppErrors);
    HRESULT QueueRefresh(bool v2, DWORD connection, OPCDATASOURCE source, DWORD transactionId, DWORD* pId);

    const std::shared_ptr<GroupCore> core_;
    std::weak_ptr<GroupTable> table_;  // under core_->mutex; empty once detached
    const OPCHANDLE serverHandle_;
    const bool hasConnectionPoints_;
};

}  // namespace simserver
