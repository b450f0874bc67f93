// The simulation server's server object: IOPCServer, IOPCCommon, IConnectionPointContainer
// (with the IOPCShutdown point), IOPCItemProperties, IOPCBrowseServerAddressSpace,
// IOPCServerPublicGroups and IPersistFile. Groups live in the server's GroupTable; the
// interfaces a configuration leaves out are not answered by QueryInterface.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "opc/da/opcda.h"
#include "platform/com/connection_point.h"
#include "simserver/address_space.h"
#include "simserver/server_browse.h"
#include "simserver/sim_config.h"

namespace simserver {

class GroupTable;

class SimServer final : public ComObject<IOPCServer, IOPCCommon, IConnectionPointContainer, IOPCItemProperties,
                                         IOPCBrowseServerAddressSpace, IOPCServerPublicGroups, IPersistFile> {
public:
    SimServer(std::string progId, const CLSID& clsid, std::shared_ptr<const SimConfig> config);
    ~SimServer() override;

    const std::string& ProgId() const { return progId_; }
    // The shutdown sinks advised now, each with a reference.
    std::vector<ComPtr<IOPCShutdown>> ShutdownSinks() const;

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

protected:
    void* FindInterface(REFIID iid) override;

private:
    HRESULT ErrorString(HRESULT code, LCID locale, LPWSTR* ppString) const;
    HRESULT ResolveForProperties(LPCWSTR itemId, const Tag** tag) const;

    const std::string progId_;
    const CLSID clsid_;
    const std::shared_ptr<const SimConfig> config_;
    const std::shared_ptr<AddressSpace> space_;
    const std::shared_ptr<GroupTable> groups_;
    const FILETIME startTime_;
    BrowseSession browse_;
    ConnectionPoint shutdownPoint_;
    std::atomic<LCID> locale_{0x0409};
    std::atomic<unsigned> statusCalls_{0};
    std::atomic<unsigned> browseCalls_{0};

    mutable std::mutex mutex_;  // the members below
    std::u16string clientName_;
    std::u16string currentFile_;
    std::uint64_t savedVersion_ = 0;
};

}  // namespace simserver
