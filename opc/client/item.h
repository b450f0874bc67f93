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
    VARTYPE dataType = VT_EMPTY;  // requested type; the canonical type once added
    DWORD accessRights = OPC_READABLE;
    OPCHANDLE serverHandle = 0;
    DWORD reserved = 0;
    BOOL pendingWrite = FALSE;
    CVGroup* group;
    CVItem* prev = nullptr;
    CVItem* next = nullptr;
    std::atomic<BOOL> added{FALSE};  // also read by the forwarding links
    // Set on the item's first forwarding reply, from the data type, and kept; written and
    // read on the GUI thread only.
    BYTE wireTypeCode = 255;  // 255 = not set
    BYTE valueSize = 255;

    // The 32-bit client handle the server sends back for this item.
    OPCHANDLE ClientHandle() const { return clientHandle_; }

    // Live state; each call is atomic with respect to the others.
    void SetValue(const VARIANT& value, WORD quality);
    void SetValueWithTimestamp(const VARIANT& value, WORD quality, const FILETIME& timestamp);
    // The 16 bytes of the value as held, sharing any string or array with the item: only for
    // numeric values, which own nothing.
    VARIANT GetValueCopy() const;
    // The live value as the forwarding links read it, without waiting for the item lock and
    // all of one moment: the value's type and 8 bytes as held, and IsGood.
    struct ValueSnapshot {
        std::uint64_t bits;
        VARTYPE type;
        bool good;  // quality GOOD, with any limit bits
    };
    ValueSnapshot ReadValueSnapshot() const {
        ValueSnapshot value = snapshot_.Load();
        value.good = value.good && added;
        return value;
    }
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
    // The data type the server answered with. Written under the lock, which UpdateWireType
    // reads it under: peers are served while the document's worker adds items.
    void SetCanonicalType(VARTYPE type);

private:
    void StoreValue(const VARIANT& value, WORD quality);
    // Copies the value's type, bits and quality to the snapshot; called with lock_ held.
    void PublishSnapshot();

    // Written with lock_ held, beside the fields a reply reads with it.
    SeqLockSnapshot<ValueSnapshot> snapshot_;
    mutable std::mutex lock_;
    VARIANT value_;
    FILETIME timestamp_;
    DWORD updateCount_ = 0;
    WORD quality_ = OPC_QUALITY_OUT_OF_SERVICE;
    BOOL timestampPresent_ = FALSE;
    bool acceptsValues_ = true;  // false from a reset until the item is added again
    OPCHANDLE clientHandle_;
};

// The server handles of `count` items, in their order, for a call that names them.
std::vector<OPCHANDLE> ServerHandles(CVItem* const* items, std::size_t count);
