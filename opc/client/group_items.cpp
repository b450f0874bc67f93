// Adding items to the server, removing them, and changing their active state.
#include "opc/client/group.h"

#include "opc/client/item.h"
#include "opc/client/server.h"
#include "platform/com/bstr.h"
#include "platform/com/memory.h"
#include "platform/shell/shell.h"

#include <vector>

namespace {

// The item's own error when the server gave a negative one, else the call's result.
HRESULT ItemError(HRESULT call, const HRESULT* errors, int index) {
    if (SUCCEEDED(call) && errors && FAILED(errors[index])) return errors[index];
    return call;
}

bool ItemSucceeded(HRESULT call, const HRESULT* errors, int index) {
    return SUCCEEDED(call) && errors && SUCCEEDED(errors[index]);
}

}  // namespace

void CVGroup::AddItems(CVItem* const* items, int count, bool alreadyListed) {
    if (!items || count <= 0) return;
    if (!alreadyListed)
        for (int i = 0; i < count; ++i) LinkItem(items[i]);

    const std::string name = Name();
    if (!IsServerConnected()) {
        ReportServerError(server, IDS_ADD_ITEMS_NO_CONNECTION, name.c_str());
        return;
    }
    ComPtr<IOPCItemMgt> itemMgt = ItemMgt();
    if (!itemMgt) {
        ReportServerError(server, IDS_ADD_ITEMS_NO_INTERFACE, name.c_str());
        return;
    }

    const auto n = static_cast<std::size_t>(count);
    std::vector<std::u16string> accessPaths(n), itemIds(n);
    std::vector<OPCITEMDEF> definitions(n);
    for (std::size_t i = 0; i < n; ++i) {
        const CVItem& item = *items[i];
        accessPaths[i] = WideFromUtf8(item.accessPath);
        itemIds[i] = WideFromUtf8(item.itemId);
        OPCITEMDEF& def = definitions[i];
        def.szAccessPath = item.accessPath.empty() ? nullptr : accessPaths[i].data();
        def.szItemID = itemIds[i].data();
        def.bActive = item.active;
        def.hClient = item.ClientHandle();
        def.vtRequestedDataType = item.ShownType();
        items[i]->AcceptValues();  // the server may send values before AddItems returns
    }

    TaskMemArray<OPCITEMRESULT> results([](OPCITEMRESULT& result) { CoTaskMemFree(result.pBlob); });
    TaskMemArray<HRESULT> errors;
    const HRESULT hr = itemMgt->AddItems(static_cast<DWORD>(count), definitions.data(), results.put(), errors.put());
    if (SUCCEEDED(hr)) results.SetFilled(static_cast<std::size_t>(count));
    // Per-item results are only read from a successful call that returned both arrays.
    const HRESULT* itemErrors = results ? errors.get() : nullptr;

    int added = 0;
    for (int i = 0; i < count; ++i) {
        CVItem& item = *items[i];
        if (ItemSucceeded(hr, itemErrors, i)) {
            const OPCITEMRESULT& result = results[i];
            item.serverHandle = result.hServer;
            item.SetDataType(result.vtCanonicalDataType);
            item.accessRights = result.dwAccessRights;
            item.added = TRUE;
            ++added;
        } else {
            ReportServerError(server, IDS_ADD_ITEM_FAILED, item.itemId.c_str(), name.c_str(),
                              HrBits(ItemError(hr, itemErrors, i)));
            item.Reset(true);
        }
    }
    if (added > 0) LogEvent(IDS_ITEMS_ADDED, added, name.c_str());
}

void CVGroup::AddAllItems() {
    std::vector<CVItem*> all;
    for (CVItem* item = items_.First(); item; item = item->next) all.push_back(item);
    if (!all.empty()) AddItems(all.data(), static_cast<int>(all.size()), true);
}

void CVGroup::RemoveItems(CVItem* const* items, int count, bool deleteItems) {
    if (!items || count <= 0) return;
    ComPtr<IOPCItemMgt> itemMgt = ItemMgt();
    if (!IsServerConnected() || !itemMgt) {
        if (deleteItems)
            for (int i = 0; i < count; ++i) {
                UnlinkItem(items[i]);
                delete items[i];
            }
        return;
    }

    std::vector<OPCHANDLE> handles = ServerHandles(items, static_cast<std::size_t>(count));
    TaskMemArray<HRESULT> errors;
    const HRESULT hr = itemMgt->RemoveItems(static_cast<DWORD>(count), handles.data(), errors.put());

    int failed = 0;
    for (int i = 0; i < count; ++i) {
        CVItem* item = items[i];
        // A call that fails as a whole leaves every added item on the server.
        const bool notRemoved = FAILED(hr) || (errors && FAILED(errors[i]));
        if (item->added && notRemoved) ++failed;
        if (deleteItems) {
            UnlinkItem(item);
            delete item;
        } else {
            item->Reset(false);
        }
    }

    const std::string name = Name();
    if (failed > 0)
        ReportServerError(server, IDS_REMOVE_ITEMS_FAILED, failed, count, name.c_str());
    else
        LogEvent(IDS_ITEMS_REMOVED, count, name.c_str());
}

void CVGroup::RemoveAllItems(bool deleteItems) {
    if (!items_.First()) return;
    if (!ItemMgt()) {
        if (deleteItems) DeleteAllItems();
        return;
    }
    // Each item is reset as it is collected: it is off the server whatever the server says,
    // so RemoveItems counts no failure for it.
    std::vector<CVItem*> onServer;
    for (CVItem* item = items_.First(); item; item = item->next) {
        if (!item->added) continue;
        item->Reset(false);
        onServer.push_back(item);
    }
    if (!onServer.empty()) RemoveItems(onServer.data(), static_cast<int>(onServer.size()), deleteItems);
    if (deleteItems) DeleteAllItems();
}

bool CVGroup::SetItemsActive(CVItem* const* items, int count, bool activate) {
    if (!items || count <= 0) return false;
    ComPtr<IOPCItemMgt> itemMgt = ItemMgt();
    if (!IsServerConnected() || !itemMgt) return false;

    std::vector<OPCHANDLE> handles = ServerHandles(items, static_cast<std::size_t>(count));
    TaskMemArray<HRESULT> errors;
    const BOOL state = activate ? TRUE : FALSE;
    const HRESULT hr = itemMgt->SetActiveState(static_cast<DWORD>(count), handles.data(), state, errors.put());

    const std::string name = Name();
    int changed = 0;
    for (int i = 0; i < count; ++i) {
        CVItem& item = *items[i];
        if (ItemSucceeded(hr, errors.get(), i)) {
            if (item.active != state) {
                item.active = state;
                ++changed;
            }
        } else {
            ReportServerError(server, IDS_SET_ACTIVE_FAILED, state, item.itemId.c_str(), name.c_str(),
                              HrBits(ItemError(hr, errors.get(), i)));
        }
    }
    if (changed > 0) LogEvent(IDS_ACTIVE_STATE_SET, state, changed, name.c_str());
    return changed > 0;
}
