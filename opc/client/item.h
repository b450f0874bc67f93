// One OPC item of a group: what the operator asked for, what the server answered when the
// item was added, and its live state (value, quality, timestamp, update count). The live
// state is written by server threads and read by the views and the forwarding links; it is
// guarded by the item's own lock, and mirrored in a snapshot the forwarding links read
// without taking that lock. The plain members are written only by the thread that adds,
// removes or deletes the item, without the lock.
#pragma once

#include "opc/da/opc_types.h"
#include "platform/com/types.h"
#include "platform/concurrency/seqlock_snapshot.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class CVGroup;

class CVItem {
public:
    explicit CVItem(CVGroup* group);
    ~CVItem();
    CVItem(const CVItem&) = delete;
    CVItem& operator=(const CVItem&) = delete;

    // Plain members.
    std::string accessPath;
    std::string itemId;
    BOOL active = FALSE;
    DWORD accessRights = OPC_READABLE;
    OPCHANDLE serverHandle = 0;
    DWORD reserved = 0;
    BOOL pendingWrite = FALSE;
    CVGroup* group;
    CVItem* prev = nullptr;
    CVItem* next = nullptr;
    std::atomic<BOOL> added{FALSE};  // also read by the forwarding links
    // Set on the item's first forwarding reply, from the data type; written under the item
    // lock, as the snapshot below copies them.
    BYTE wireTypeCode = 255;  // 255 = not set
    BYTE valueSize = 255;

    // The 32-bit client handle the server sends back for this item.
    OPCHANDLE ClientHandle() const { return clientHandle_; }

    // Live state; each call is atomic with respect to the others.
    void SetValue(const VARIANT& value, WORD quality);
    void SetValueWithTimestamp(const VARIANT& value, WORD quality, const FILETIME& timestamp);
    // What a forwarding reply needs of the item, read without waiting for the item lock, all
    // of one moment: the value's type and 8 bytes, IsGood, and the record's wire type code and
    // value size. `size` is 255 when the record cannot simply be copied: no wire type yet, no
    // value, or a value that is never sent.
    struct WireSnapshot {
        std::uint64_t bits;  // as held; a VARIANT_BOOL as 1 or 0, as peers get it
        VARTYPE type;
        bool good;
        BYTE code;
        BYTE size;
    };
    WireSnapshot ReadWireSnapshot() const;
    // Deep copy of the value.
    void GetValue(VARIANT* out) const;
    bool IsGood() const;
    WORD GetQuality() const;
    DWORD GetUpdateCount() const;
    void FormatValue(std::string& text) const;
    const std::string& FormatQuality() const;
    // Leaves `text` unchanged when the timestamp cannot be converted.
    void FormatTimestamp(std::string& text) const;

    // Back to "not on the server": value empty, quality out of service, count 0, no
    // timestamp; a failed add also clears the server handle. Until the item is added again,
    // values that arrive late (a delivery already under way) do not land on it.
    void Reset(bool clearServerHandle);
    // The item is about to be added to its server: values may arrive from now on.
    void AcceptValues();

    // Sets the wire type code and value size from the data type; other types leave both.
    void UpdateWireType();
    // The requested data type; the server's canonical type once added. Under the lock: the
    // document's worker sets it while the views and the forwarding links read it.
    VARTYPE DataType() const;
    void SetDataType(VARTYPE type);
    // The type the item is shown and written as: the current value's, else the data type,
    // both read at one moment.
    VARTYPE ShownType() const;
    // Deep copy of the value, with the data type of the same moment.
    void GetValueAndDataType(VARIANT* out, VARTYPE* type) const;

private:
    void StoreValue(const VARIANT& value, WORD quality);
    // Copies the value's type, bits and quality and the wire type to the snapshot; called
    // with lock_ held.
    void PublishSnapshot();

    // Written with lock_ held, so one writer at a time; `good` leaves out whether the item is
    // added, which the reader checks.
    SeqLockSnapshot<WireSnapshot> snapshot_;
    mutable std::mutex lock_;
    VARIANT value_;
    FILETIME timestamp_;
    DWORD updateCount_ = 0;
    WORD quality_ = OPC_QUALITY_OUT_OF_SERVICE;
    BOOL timestampPresent_ = FALSE;
    bool acceptsValues_ = true;  // false from a reset until the item is added again
    OPCHANDLE clientHandle_;
    VARTYPE dataType_ = VT_EMPTY;
};

// Inline: a forwarding reply reads it for every item it carries.
inline CVItem::WireSnapshot CVItem::ReadWireSnapshot() const {
    WireSnapshot value = snapshot_.Load();
    value.good &= added != FALSE;  // no branch: most items are added
    return value;
}

// The server handles of `count` items, in their order, for a call that names them.
std::vector<OPCHANDLE> ServerHandles(CVItem* const* items, std::size_t count);
