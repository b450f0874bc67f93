// The groups of one server object: private and public groups by server handle and by
// name. The IOPCServer and IOPCServerPublicGroups methods of the server forward here; the
// methods take the interface arguments as they are and check them as the standard says.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "opc/da/opc_types.h"
#include "platform/com/unknown.h"
#include "simserver/group.h"

namespace simserver {

class GroupTable : public std::enable_shared_from_this<GroupTable> {
public:
    static std::shared_ptr<GroupTable> Create(GroupServices services);
    ~GroupTable();
    GroupTable(const GroupTable&) = delete;
    GroupTable& operator=(const GroupTable&) = delete;

    // --- IOPCServer ---
    // Null szName or "" lets the table choose a unique name. OPC_S_UNSUPPORTEDRATE when the
    // rate was revised, OPC_E_DUPLICATENAME, E_INVALIDARG (deadband outside 0..100),
    // E_POINTER (null out pointers), E_NOINTERFACE (riid; no group is created then).
    HRESULT AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate, OPCHANDLE hClientGroup, LONG* pTimeBias,
                     FLOAT* pPercentDeadband, DWORD dwLCID, OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate,
                     REFIID riid, LPUNKNOWN* ppUnk);
    // Private groups only; E_INVALIDARG when there is none of that name.
    HRESULT GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk);
    // S_OK; OPC_S_INUSE when the client still holds references and bForce is FALSE (the group
    // leaves the table and ends when released); E_INVALIDARG for an unknown handle.
    HRESULT RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce);
    // IID_IEnumString (names) or IID_IEnumUnknown (groups); S_FALSE with an empty
    // enumerator when there is nothing in the scope.
    HRESULT CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN* ppUnk);

    // --- IOPCServerPublicGroups ---
    HRESULT GetPublicGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk);
    HRESULT RemovePublicGroup(OPCHANDLE hServerGroup, BOOL bForce);

    // Private and public groups together, for OPCSERVERSTATUS::dwGroupCount.
    DWORD GroupCount() const;

    // Ends every group (the server object is going away); groups that clients still hold
    // answer E_FAIL from then on.
    void RemoveAll();

    // --- used by the groups ---
    const GroupServices& services() const { return services_; }
    bool IsNameTaken(const std::u16string& name, bool isPublic) const;
    // Renames a private group; OPC_E_DUPLICATENAME, E_INVALIDARG for an empty name.
    HRESULT Rename(OPCHANDLE handle, const std::u16string& name);
    // Creates a private group (empty name: a unique one) and enters it; for CloneGroup.
    HRESULT AddPrivate(GroupParams params, ComPtr<Group>* group);
    // Moves a private group into the public groups; OPC_E_DUPLICATENAME, OPC_E_PUBLIC.
    HRESULT MoveToPublic(OPCHANDLE handle);

private:
    explicit GroupTable(GroupServices services);
    std::u16string UniqueNameLocked();
    HRESULT RemoveFrom(std::map<OPCHANDLE, ComPtr<Group>>& groups, OPCHANDLE handle, BOOL bForce);
    HRESULT FindByName(bool isPublic, LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk);

    GroupServices services_;
    mutable std::mutex mutex_;
    std::map<OPCHANDLE, ComPtr<Group>> private_;
    std::map<OPCHANDLE, ComPtr<Group>> public_;
    unsigned nextNameNumber_ = 1;
};

}  // namespace simserver
