#include "opc/client/group.h"

#include "opc/client/advise_sink.h"
#include "opc/client/client_handles.h"
#include "opc/client/data_sink20.h"
#include "opc/client/item.h"
#include "opc/client/server.h"
#include "platform/shell/shell.h"

#include <algorithm>

namespace {
constexpr auto kMinute = std::chrono::minutes(1);
// Longer intervals are waited as 30 days, so the deadline cannot overflow the clock.
constexpr DWORD kLongestIntervalMinutes = 30 * 24 * 60;
}  // namespace

CVGroup::CVGroup(CVServer* owner, ThreadStart checkThread) : server(owner), clientHandle_(GroupHandles().Add(this)) {
    if (checkThread == ThreadStart::kNow) StartCheckThread();
}

void CVGroup::StartCheckThread() {
    StartObjectThread(checkThread_, "check thread", [this] { CheckLoop(); });
}

CVGroup::~CVGroup() {
    {
        std::lock_guard lock(checkMutex_);
        stopCheck_ = true;
    }
    checkWake_.notify_all();
    if (checkThread_.joinable()) checkThread_.join();

    // Deliveries that found this group by its handle finish first.
    GroupHandles().Remove(clientHandle_);
    // Normally the server has detached the group and deleted its items already.
    if (GroupStateMgt() || ItemMgt() || DataObject() || ConnectionPointContainer()) DetachInterfaces(true);
    DeleteAllItems();
}

std::string CVGroup::Name() const {
    std::lock_guard lock(lock_);
    return name_;
}

void CVGroup::SetName(std::string name) {
    std::lock_guard lock(lock_);
    name_ = std::move(name);
}

void CVGroup::SetRefreshInterval(DWORD minutes) {
    {
        std::lock_guard lock(checkMutex_);  // the check thread cannot miss the change
        refreshInterval_.store(minutes);
    }
    checkWake_.notify_all();
}

void CVGroup::SetCheckPeriodForTests(std::chrono::milliseconds period) {
    {
        std::lock_guard lock(checkMutex_);
        checkPeriodOverrideMs_.store(period.count());
    }
    checkWake_.notify_all();
}

bool CVGroup::IsServerConnected() const { return server && server->IsConnected(); }

ComPtr<IOPCGroupStateMgt> CVGroup::GroupStateMgt() const {
    std::lock_guard lock(lock_);
    return interfaces_.stateMgt;
}
ComPtr<IOPCPublicGroupStateMgt> CVGroup::PublicGroupStateMgt() const {
    std::lock_guard lock(lock_);
    return interfaces_.publicStateMgt;
}
ComPtr<IOPCItemMgt> CVGroup::ItemMgt() const {
    std::lock_guard lock(lock_);
    return interfaces_.itemMgt;
}
ComPtr<IOPCSyncIO> CVGroup::SyncIO() const {
    std::lock_guard lock(lock_);
    return interfaces_.syncIO;
}
ComPtr<IOPCAsyncIO> CVGroup::AsyncIO() const {
    std::lock_guard lock(lock_);
    return interfaces_.asyncIO;
}
ComPtr<IDataObject> CVGroup::DataObject() const {
    std::lock_guard lock(lock_);
    return interfaces_.dataObject;
}
ComPtr<IOPCAsyncIO2> CVGroup::AsyncIO2() const {
    std::lock_guard lock(lock_);
    return interfaces_.asyncIO2;
}
ComPtr<IConnectionPointContainer> CVGroup::ConnectionPointContainer() const {
    std::lock_guard lock(lock_);
    return interfaces_.container;
}

std::vector<CVItem*> CVGroup::Items() const {
    std::lock_guard lock(lock_);
    std::vector<CVItem*> items;
    items.reserve(static_cast<std::size_t>(items_.Count()));
    for (CVItem* item = items_.First(); item; item = item->next) items.push_back(item);
    return items;
}

DWORD CVGroup::ItemCount() const {
    std::lock_guard lock(lock_);
    return static_cast<DWORD>(items_.Count());
}

void CVGroup::LinkItem(CVItem* item) {
    {
        std::lock_guard lock(lock_);
        items_.PushFront(item);
    }
    AddToItemCount(1);
}

void CVGroup::UnlinkItem(CVItem* item) {
    {
        std::lock_guard lock(lock_);
        items_.Unlink(item);
    }
    AddToItemCount(-1);
}

void CVGroup::DeleteAllItems() {
    IntrusiveList<CVItem> taken;  // deleted outside the lock
    {
        std::lock_guard lock(lock_);
        taken.Swap(items_);
    }
    const int count = taken.Count();
    taken.DeleteAll();
    if (count) AddToItemCount(-count);
}

bool CVGroup::HasItemNotGood() const {
    std::lock_guard lock(lock_);
    if (!items_.First() || !interfaces_.itemMgt) return false;
    for (const CVItem* item = items_.First(); item; item = item->next)
        if (item->added && !item->IsGood()) return true;
    return false;
}

std::chrono::milliseconds CVGroup::CheckPeriod() const {
    if (const long long override = checkPeriodOverrideMs_.load(); override > 0)
        return std::chrono::milliseconds(override);
    // An interval of 0 would refresh in a tight loop; a minute is the shortest period.
    const DWORD minutes = refreshInterval_.load();
    if (minutes == 0) return kMinute;
    return std::min(minutes, kLongestIntervalMinutes) * std::chrono::milliseconds(kMinute);
}

void CVGroup::CheckLoop() {
    std::unique_lock lock(checkMutex_);
    while (!stopCheck_) {
        // The period is read anew for every wait; a change of it starts the wait over.
        const std::chrono::milliseconds period = CheckPeriod();
        const auto deadline = std::chrono::steady_clock::now() + period;
        bool changed = false;
        checkWake_.wait_until(lock, deadline, [&] {
            changed = CheckPeriod() != period;
            return stopCheck_ || changed;
        });
        if (stopCheck_) return;
        if (changed) continue;
        lock.unlock();
        if (HasItemNotGood()) AsyncRefresh10(false);
        lock.lock();
    }
}
