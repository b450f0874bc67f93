// One OPC group of a server connection: its properties, its interfaces on the server, the
// data-change subscription (OPC DA 2.0 callback, or a 1.0 data stream), and the items, which
// it owns in an intrusive list (newest first). A check thread asks the server for a refresh
// from cache while an item is not of good quality.
//
// Threads: the operations run on the GUI thread or the document's worker. The check thread,
// the sinks (server threads) and the reads and writes read the group through the accessors
// below: the interfaces are ComPtr copies taken under a small lock, the connection numbers and
// the mode are atomic, the name is copied under the lock. The item list is changed under the
// same lock, so the check thread can walk it while the GUI thread removes items.
#pragma once

#include "opc/client/intrusive_list.h"
#include "opc/client/thread_start.h"
#include "opc/da/opcda.h"
#include "platform/com/connection_point.h"
#include "platform/com/data_object.h"
#include "platform/com/unknown.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CItemAddressRegistry;
class CVItem;
class CVServer;
class CVAdviseSink;
class IVDataSink20;

// Data-change modes: the 1.0 streams without and with timestamps, and the 2.0 callback.
inline constexpr DWORD kDataChangeMode10Data = 0;
inline constexpr DWORD kDataChangeMode10DataTime = 1;
inline constexpr DWORD kDataChangeMode20 = 2;

class CVGroup {
public:
    explicit CVGroup(CVServer* owner, ThreadStart checkThread = ThreadStart::kNow);
    // Starts the check thread if it is not running; without a thread the group still works,
    // only its bad items are not refreshed.
    void StartCheckThread();
    // Stops the check thread (never while it holds an item lock or is inside a server call),
    // then deletes any items that are still in the list.
    ~CVGroup();
    CVGroup(const CVGroup&) = delete;
    CVGroup& operator=(const CVGroup&) = delete;

    // Plain members (GUI thread / document worker).
    DWORD updateRate = 100;  // ms; replaced by the server's revised rate
    LCID lcid = 1033;
    // Also read by the views while the document's worker connects.
    std::atomic<BOOL> active{TRUE};
    LONG timeBias = 0;  // minutes
    FLOAT percentDeadband = 0.0f;
    OPCHANDLE serverGroupHandle = 0;
    std::atomic<BOOL> onServer{FALSE};  // also read by the views
    DWORD flags = 0;  // bit 0: force flag when the group is removed from the server
    CVServer* const server;
    CVGroup* prev = nullptr;  // links of the server's group list
    CVGroup* next = nullptr;
    void* treeItem = nullptr;  // the group's node in the group tree view

    // Shared state, safe from any thread.
    std::string Name() const;
    void SetName(std::string name);
    DWORD RefreshInterval() const { return refreshInterval_.load(); }  // minutes
    void SetRefreshInterval(DWORD minutes);
    // For tests: a check period in milliseconds that replaces the minutes; 0 restores them.
    void SetCheckPeriodForTests(std::chrono::milliseconds period);
    DWORD DataChangeMode() const { return dataChangeMode_.load(); }
    void SetDataChangeMode(DWORD mode) { dataChangeMode_.store(mode); }
    DWORD DataConnection() const { return dataConnection_.load(); }
    DWORD WriteConnection() const { return writeConnection_.load(); }
    bool IsServerConnected() const;
    OPCHANDLE ClientHandle() const { return clientHandle_; }  // its GroupHandles() handle

    ComPtr<IOPCGroupStateMgt> GroupStateMgt() const;
    ComPtr<IOPCPublicGroupStateMgt> PublicGroupStateMgt() const;
    ComPtr<IOPCItemMgt> ItemMgt() const;
    ComPtr<IOPCSyncIO> SyncIO() const;
    ComPtr<IOPCAsyncIO> AsyncIO() const;
    ComPtr<IDataObject> DataObject() const;
    ComPtr<IOPCAsyncIO2> AsyncIO2() const;
    ComPtr<IConnectionPointContainer> ConnectionPointContainer() const;

    // The item list (GUI thread / document worker). A walk from FirstItem() is for the thread
    // that links and unlinks; any other thread takes Items(), a copy under the lock.
    CVItem* FirstItem() const { return items_.First(); }
    std::vector<CVItem*> Items() const;
    DWORD ItemCount() const;
    void LinkItem(CVItem* item);
    void UnlinkItem(CVItem* item);
    void DeleteAllItems();

    // Adds the items to the server (linking them first unless already listed). Reports
    // 16007, 16010, 16006 per failed item and 15006.
    void AddItems(CVItem* const* items, int count, bool alreadyListed);
    void AddAllItems();
    // Removes the items from the server; with `deleteItems` also unlinks and deletes them,
    // otherwise resets them. Reports 16005 or 15005.
    void RemoveItems(CVItem* const* items, int count, bool deleteItems);
    void RemoveAllItems(bool deleteItems);
    // True when at least one item changed its active state. Reports 16016, 15013.
    bool SetItemsActive(CVItem* const* items, int count, bool activate);
    // An added item whose quality is not GOOD (local override counts as not good).
    bool HasItemNotGood() const;

    // Takes the group object that the server returned and subscribes (2.0, or 1.0 with 16013
    // as the fallback).
    void AttachInterfaces(IUnknown* groupObject);
    // Cancels the subscriptions, removes the items from the server, releases the interfaces.
    void DetachInterfaces(bool deleteItems);
    // A copy of the group on the server with its items, linked into the same server; null on
    // failure (16026). Reports 15025. The copied items take addresses in `registry`.
    CVGroup* Clone(CItemAddressRegistry& registry);

    // Reads, writes and refreshes; each needs a connected server and the interface named.
    void SyncRead(CVItem* const* items, int count, bool fromDevice);
    void AsyncRead10(CVItem* const* items, int count, bool fromDevice);
    void AsyncRefresh10(bool fromDevice);
    void AsyncRead20(CVItem* const* items, int count);
    void AsyncRefresh20(bool fromDevice);
    // The writes return the outcome of the server call: S_OK when the server took every item,
    // else the first failure (the call's, an item's error, DISP_E_TYPEMISMATCH for a text that
    // cannot become the item's type, CONNECT_E_NOCONNECTION or E_NOINTERFACE when no call was
    // made). How the asynchronous writes end is reported by their completions.
    HRESULT SyncWrite(CVItem* const* items, const std::string* texts, int count);
    HRESULT AsyncWrite10(CVItem* const* items, const std::string* texts, int count);
    HRESULT AsyncWrite20(CVItem* const* items, const std::string* texts, int count);

private:
    struct Interfaces {
        ComPtr<IOPCGroupStateMgt> stateMgt;
        ComPtr<IOPCPublicGroupStateMgt> publicStateMgt;
        ComPtr<IOPCItemMgt> itemMgt;
        ComPtr<IOPCSyncIO> syncIO;
        ComPtr<IOPCAsyncIO> asyncIO;
        ComPtr<IDataObject> dataObject;
        ComPtr<IOPCAsyncIO2> asyncIO2;
        ComPtr<IConnectionPointContainer> container;
    };

    void ReadStateFromServer(IOPCGroupStateMgt* stateMgt);
    HRESULT Subscribe20(IConnectionPointContainer* container);
    void Subscribe10(IDataObject* dataObject);
    // Cancels both kinds of subscription and releases the sinks.
    void DropSubscription();
    void CopyItemsFrom(IOPCItemMgt* sourceItems, CItemAddressRegistry& registry);
    void CheckLoop();
    std::chrono::milliseconds CheckPeriod() const;

    // Guards the name, the interfaces and the item list links.
    mutable std::mutex lock_;
    std::string name_;
    Interfaces interfaces_;

    std::atomic<DWORD> refreshInterval_{1};
    std::atomic<DWORD> dataChangeMode_{kDataChangeMode20};
    std::atomic<DWORD> dataConnection_{0};
    std::atomic<DWORD> writeConnection_{0};

    ComPtr<IVDataSink20> sink20_;
    DWORD cookie20_ = 0;
    ComPtr<CVAdviseSink> sink10_;

    IntrusiveList<CVItem> items_;
    const OPCHANDLE clientHandle_;

    // Check thread.
    std::atomic<long long> checkPeriodOverrideMs_{0};
    bool stopCheck_ = false;
    std::mutex checkMutex_;
    std::condition_variable checkWake_;
    std::thread checkThread_;
};
