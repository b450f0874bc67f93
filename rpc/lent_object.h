// A COM object lent to a client: each wire method is one call of one of the object's
// interfaces, made on the host's call pool (see off_loop.h); only the calls that take a sink
// capability are made on the loop thread.
#pragma once

#include "platform/com/unknown.h"
#include "rpc/host_loop.h"
#include "rpc/opc.capnp.h"

#include <memory>
#include <mutex>
#include <string>

namespace rpc {

class LentObject final : public rpcwire::Object::Server {
public:
    // `budget` has given the object its share already; it gets it back when the object goes.
    LentObject(HostContext& context, Budget budget, ComPtr<IUnknown> object);

protected:
    // IOPCServer
    kj::Promise<void> addGroup(AddGroupContext context) override;
    kj::Promise<void> getErrorString(GetErrorStringContext context) override;
    kj::Promise<void> getGroupByName(GetGroupByNameContext context) override;
    kj::Promise<void> getStatus(GetStatusContext context) override;
    kj::Promise<void> removeGroup(RemoveGroupContext context) override;
    kj::Promise<void> createGroupEnumerator(CreateGroupEnumeratorContext context) override;

    // IOPCCommon
    kj::Promise<void> setLocaleId(SetLocaleIdContext context) override;
    kj::Promise<void> getLocaleId(GetLocaleIdContext context) override;
    kj::Promise<void> queryAvailableLocaleIds(QueryAvailableLocaleIdsContext context) override;
    kj::Promise<void> getErrorStringCommon(GetErrorStringCommonContext context) override;
    kj::Promise<void> setClientName(SetClientNameContext context) override;

    // IOPCBrowseServerAddressSpace
    kj::Promise<void> queryOrganization(QueryOrganizationContext context) override;
    kj::Promise<void> changeBrowsePosition(ChangeBrowsePositionContext context) override;
    kj::Promise<void> browseItemIds(BrowseItemIdsContext context) override;
    kj::Promise<void> getItemId(GetItemIdContext context) override;
    kj::Promise<void> browseAccessPaths(BrowseAccessPathsContext context) override;

    // IOPCItemProperties
    kj::Promise<void> queryAvailableProperties(QueryAvailablePropertiesContext context) override;
    kj::Promise<void> getItemProperties(GetItemPropertiesContext context) override;
    kj::Promise<void> lookupItemIds(LookupItemIdsContext context) override;

    // IPersistFile
    kj::Promise<void> isDirty(IsDirtyContext context) override;
    kj::Promise<void> load(LoadContext context) override;
    kj::Promise<void> save(SaveContext context) override;
    kj::Promise<void> getCurFile(GetCurFileContext context) override;
    kj::Promise<void> getClassId(GetClassIdContext context) override;

    // IConnectionPointContainer / IConnectionPoint
    kj::Promise<void> advise(AdviseContext context) override;
    kj::Promise<void> unadvise(UnadviseContext context) override;

    // IOPCGroupStateMgt
    kj::Promise<void> getState(GetStateContext context) override;
    kj::Promise<void> setState(SetStateContext context) override;
    kj::Promise<void> setName(SetNameContext context) override;
    kj::Promise<void> cloneGroup(CloneGroupContext context) override;

    // IOPCItemMgt
    kj::Promise<void> addItems(AddItemsContext context) override;
    kj::Promise<void> validateItems(ValidateItemsContext context) override;
    kj::Promise<void> removeItems(RemoveItemsContext context) override;
    kj::Promise<void> setActiveState(SetActiveStateContext context) override;
    kj::Promise<void> setClientHandles(SetClientHandlesContext context) override;
    kj::Promise<void> setDatatypes(SetDatatypesContext context) override;
    kj::Promise<void> createItemEnumerator(CreateItemEnumeratorContext context) override;

    // IOPCSyncIO
    kj::Promise<void> read(ReadContext context) override;
    kj::Promise<void> write(WriteContext context) override;

    // IOPCAsyncIO
    kj::Promise<void> asyncRead(AsyncReadContext context) override;
    kj::Promise<void> asyncWrite(AsyncWriteContext context) override;
    kj::Promise<void> refresh(RefreshContext context) override;
    kj::Promise<void> cancel(CancelContext context) override;

    // IOPCAsyncIO2
    kj::Promise<void> read2(Read2Context context) override;
    kj::Promise<void> write2(Write2Context context) override;
    kj::Promise<void> refresh2(Refresh2Context context) override;
    kj::Promise<void> cancel2(Cancel2Context context) override;
    kj::Promise<void> setEnable(SetEnableContext context) override;
    kj::Promise<void> getEnable(GetEnableContext context) override;

    // IDataObject
    kj::Promise<void> dataAdvise(DataAdviseContext context) override;
    kj::Promise<void> dataUnadvise(DataUnadviseContext context) override;
    kj::Promise<void> queryGetData(QueryGetDataContext context) override;

    // IEnumString, IEnumUnknown, IEnumOPCItemAttributes
    kj::Promise<void> nextStrings(NextStringsContext context) override;
    kj::Promise<void> nextObjects(NextObjectsContext context) override;
    kj::Promise<void> nextAttributes(NextAttributesContext context) override;
    kj::Promise<void> skip(SkipContext context) override;
    kj::Promise<void> reset(ResetContext context) override;
    kj::Promise<void> cloneEnumerator(CloneEnumeratorContext context) override;

    // IOPCPublicGroupStateMgt, IOPCServerPublicGroups
    kj::Promise<void> getPublicState(GetPublicStateContext context) override;
    kj::Promise<void> moveToPublic(MoveToPublicContext context) override;
    kj::Promise<void> getPublicGroupByName(GetPublicGroupByNameContext context) override;
    kj::Promise<void> removePublicGroup(RemovePublicGroupContext context) override;

private:
    // What the object's calls share; a call running on the pool holds it until it ends.
    struct State {
        State(HostContext& context, Budget connectionBudget, ComPtr<IUnknown> lent)
            : host(context), budget(std::move(connectionBudget)), object(std::move(lent)) {}
        ~State() { budget->ReturnObject(); }
        State(const State&) = delete;
        State& operator=(const State&) = delete;
        // The object's Itf; empty when the object does not answer it.
        template <class Itf>
        ComPtr<Itf> As() {
            return object.As<Itf>();
        }

        HostContext& host;
        Budget budget;
        ComPtr<IUnknown> object;
        std::mutex persistMutex;  // one load or save at a time, and the name with it
        std::string persistName;  // the plain name last loaded or saved as current
    };

    std::shared_ptr<State> state_;
};

}  // namespace rpc
