// Cloning a group on the server: the server copies the group and its items; the new group
// takes the copy's state and enumerates the copied items into items of its own.
#include "opc/client/group.h"

#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/server.h"
#include "platform/com/bstr.h"
#include "platform/com/memory.h"
#include "platform/com/variant.h"
#include "platform/shell/shell.h"

#include <algorithm>
#include <memory>

namespace {

void FreeAttributes(OPCITEMATTRIBUTES& attributes) {
    CoTaskMemFree(attributes.szAccessPath);
    CoTaskMemFree(attributes.szItemID);
    CoTaskMemFree(attributes.pBlob);
    VariantClear(&attributes.vEUInfo);
}

}  // namespace

void CVGroup::CopyItemsFrom(IOPCItemMgt* itemMgt, CItemAddressRegistry& registry) {
    ComPtr<IEnumOPCItemAttributes> items;
    const HRESULT hr = itemMgt->CreateEnumerator(IID_IEnumOPCItemAttributes, reinterpret_cast<LPUNKNOWN*>(items.put()));
    if (hr != S_OK || !items) return;

    for (;;) {
        TaskMemArray<OPCITEMATTRIBUTES> attributes(FreeAttributes);
        ULONG fetched = 0;
        const HRESULT next = items->Next(1, attributes.put(), &fetched);
        attributes.SetFilled(std::min<ULONG>(fetched, 1));
        if (next != S_OK || !attributes || fetched != 1) break;
        const OPCITEMATTRIBUTES& source = attributes[0];
        auto* item = new CVItem(this);
        LinkItem(item);
        item->itemId = Utf8FromWide(source.szItemID);
        registry.Register(item);
        if (source.szAccessPath) item->accessPath = Utf8FromWide(source.szAccessPath);
        item->active = source.bActive;
        item->serverHandle = source.hServer;
        item->accessRights = source.dwAccessRights;
        item->SetDataType(source.vtCanonicalDataType);
        item->added = TRUE;

        // The copy still carries the source group's client handle for the item.
        OPCHANDLE serverHandle = source.hServer;
        OPCHANDLE clientHandle = item->ClientHandle();
        TaskMemArray<HRESULT> errors;
        itemMgt->SetClientHandles(1, &serverHandle, &clientHandle, errors.put());
    }
}

CVGroup* CVGroup::Clone(CItemAddressRegistry& registry) {
    const std::string sourceName = Name();
    const std::string& progId = server->progId;
    auto copy = std::make_unique<CVGroup>(server);

    ComPtr<IOPCGroupStateMgt> stateMgt = GroupStateMgt();
    ComPtr<IUnknown> groupObject;
    const HRESULT hr = stateMgt ? stateMgt->CloneGroup(u"", IID_IUnknown, groupObject.put()) : E_NOINTERFACE;
    if (FAILED(hr)) {
        ReportServerError(server, IDS_CLONE_FAILED, sourceName.c_str(), progId.c_str(), HrBits(hr));
        copy->DetachInterfaces(true);
        return nullptr;
    }

    copy->onServer = TRUE;
    if (!groupObject) {
        ReportServerError(server, IDS_CLONE_NO_OBJECT, sourceName.c_str(), progId.c_str());
    } else {
        copy->AttachInterfaces(groupObject.get());
        groupObject = nullptr;
        if (ComPtr<IOPCGroupStateMgt> copyState = copy->GroupStateMgt()) {
            OPCHANDLE clientHandle = copy->ClientHandle();
            DWORD revisedRate = 0;
            copyState->SetState(nullptr, &revisedRate, nullptr, nullptr, nullptr, nullptr, &clientHandle);
        }
        if (ComPtr<IOPCItemMgt> copyItems = copy->ItemMgt()) copy->CopyItemsFrom(copyItems.get(), registry);
    }

    CVGroup* group = copy.release();
    server->LinkGroup(group);
    LogEvent(IDS_GROUP_CLONED, group->Name().c_str(), sourceName.c_str(), static_cast<int>(group->ItemCount()),
             progId.c_str());
    return group;
}
