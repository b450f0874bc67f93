// One OPC item of a group: what the operator asked for, what the server answered when the
// item was added, and its live state (value, quality, timestamp, update count). The live
// state is written by server threads and read by the views and the forwarding links; it is
// guarded by the item's own lock. The plain members are written only by the thread that adds,
// removes or deletes the item, without the lock.
#pragma once

#include "opc/da/opc_types.h"
#include "platform/com/types.h"

#include <atomic>
#include <mutex>
#include <string>

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
    std::atomic<BOOL> added{FALSE};  // also read by the forwarding links under the item lock
    BOOL pendingWrite = FALSE;
    BYTE wireTypeCode = 255;  // 255 = not set
    BYTE valueSize = 255;
    CVGroup* group;
    CVItem* prev = nullptr;
    CVItem* next = nullptr;

    // The 32-bit client handle the server sends back for this item.
    OPCHANDLE ClientHandle() const { return clientHandle_; }

    // Live state; each call is atomic with respect to the others.
    void SetValue(const VARIANT& value, WORD quality);
    void SetValueWithTimestamp(const VARIANT& value, WORD quality, const FILETIME& timestamp);
    // The 16 bytes of the value as held, sharing any string or array with the item: only for
    // numeric values, which own nothing.
    VARIANT GetValueCopy() const;
    // GetValueCopy and IsGood under one lock: what a forwarding reply needs of the item.
    VARIANT GetValueCopy(bool* good) const;
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
    // timestamp; a failed add also clears the server handle.
    void Reset(bool clearServerHandle);

    // Sets the wire type code and value size from the data type; other types leave both.
    void UpdateWireType();

private:
    void StoreValue(const VARIANT& value, WORD quality);

    mutable std::mutex lock_;
    VARIANT value_;
    FILETIME timestamp_;
    DWORD updateCount_ = 0;
    WORD quality_ = OPC_QUALITY_OUT_OF_SERVICE;
    BOOL timestampPresent_ = FALSE;
    OPCHANDLE clientHandle_;
};
