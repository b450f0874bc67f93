#include "opc/client/item.h"

#include "opc/client/client_handles.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/value_text.h"
#include "opc/client/wire_type.h"
#include "platform/com/filetime.h"
#include "platform/com/variant.h"
#include "platform/shell/shell.h"

#include <cstdio>
#include <cstring>

CVItem::CVItem(CVGroup* owner) : group(owner), timestamp_(FileTimeNow()), clientHandle_(ItemHandles().Add(this)) {
    VariantInit(&value_);
    PublishSnapshot();
    QualityText(0);  // loads the shared text table with the first item
}

CVItem::~CVItem() {
    ItemHandles().Remove(clientHandle_);
    VariantClear(&value_);
    CItemAddressRegistry::Instance().Unregister(this);
}

void CVItem::StoreValue(const VARIANT& value, WORD quality) {
    VARIANT copy;
    VariantInit(&copy);
    if (FAILED(VariantCopy(&copy, &value))) VariantInit(&copy);
    VariantClear(&value_);
    value_ = copy;  // takes over what the copy owns
    ++updateCount_;
    quality_ = quality;
    PublishSnapshot();
}

void CVItem::PublishSnapshot() {
    std::uint64_t bits;
    static_assert(sizeof bits == sizeof value_.llVal);
    std::memcpy(&bits, &value_.llVal, sizeof bits);
    // A VARIANT_BOOL is -1 or 0 in its low 16 bits; peers get 1 or 0.
    if (value_.vt == VT_BOOL) bits = static_cast<std::uint16_t>(bits) ? 1 : 0;
    const bool copied = valueSize <= 8 && wireTypeCode <= 0x7F && value_.vt != VT_EMPTY && !HoldsPointer(value_.vt);
    const bool good = (quality_ & OPC_STATUS_MASK) == OPC_QUALITY_GOOD;
    snapshot_.Store(WireSnapshot{bits, value_.vt, good, static_cast<BYTE>(wireTypeCode & 0x7F),
                                 copied ? valueSize : BYTE{255}});
}

void CVItem::SetValue(const VARIANT& value, WORD quality) {
    std::lock_guard lock(lock_);
    if (!acceptsValues_) return;
    StoreValue(value, quality);
    timestampPresent_ = FALSE;
}

void CVItem::SetValueWithTimestamp(const VARIANT& value, WORD quality, const FILETIME& timestamp) {
    std::lock_guard lock(lock_);
    if (!acceptsValues_) return;
    StoreValue(value, quality);
    timestampPresent_ = TRUE;
    timestamp_ = timestamp;
}

void CVItem::GetValue(VARIANT* out) const {
    std::lock_guard lock(lock_);
    VariantInit(out);
    VariantCopy(out, &value_);
}

bool CVItem::IsGood() const {
    std::lock_guard lock(lock_);
    return added && (quality_ & OPC_STATUS_MASK) == OPC_QUALITY_GOOD;
}

WORD CVItem::GetQuality() const {
    std::lock_guard lock(lock_);
    return quality_;
}

DWORD CVItem::GetUpdateCount() const {
    std::lock_guard lock(lock_);
    return updateCount_;
}

void CVItem::FormatValue(std::string& text) const {
    bool valid;
    {
        std::lock_guard lock(lock_);
        if (!added) {
            text = UnknownText();
            return;
        }
        valid = FormatVariant(value_, text);
    }
    // Reported outside the lock: the event log must never wait on an item.
    if (!valid) LogEvent(IDS_INVALID_ARRAY, itemId.c_str());
}

const std::string& CVItem::FormatQuality() const {
    std::lock_guard lock(lock_);
    return added ? QualityText(quality_) : NoValueText();
}

void CVItem::FormatTimestamp(std::string& text) const {
    std::lock_guard lock(lock_);
    if (!timestampPresent_) {
        text = NoTimestampText();
        return;
    }
    FILETIME local;
    SYSTEMTIME st;
    if (!FileTimeToLocalFileTime(&timestamp_, &local) || !FileTimeToSystemTime(&local, &st)) return;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d:%03d", st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    text = buffer;
}

void CVItem::Reset(bool clearServerHandle) {
    added = FALSE;
    if (clearServerHandle) serverHandle = 0;
    std::lock_guard lock(lock_);
    acceptsValues_ = false;
    quality_ = OPC_QUALITY_OUT_OF_SERVICE;
    updateCount_ = 0;
    timestampPresent_ = FALSE;
    VariantClear(&value_);
    PublishSnapshot();
}

void CVItem::AcceptValues() {
    std::lock_guard lock(lock_);
    acceptsValues_ = true;
}

VARTYPE CVItem::DataType() const {
    std::lock_guard lock(lock_);
    return dataType_;
}

void CVItem::SetDataType(VARTYPE type) {
    std::lock_guard lock(lock_);
    dataType_ = type;
}

VARTYPE CVItem::ShownType() const {
    std::lock_guard lock(lock_);
    return value_.vt != VT_EMPTY ? value_.vt : dataType_;
}

void CVItem::GetValueAndDataType(VARIANT* out, VARTYPE* type) const {
    std::lock_guard lock(lock_);
    VariantInit(out);
    VariantCopy(out, &value_);
    *type = dataType_;
}

void CVItem::UpdateWireType() {
    std::lock_guard lock(lock_);
    if (const auto wire = WireTypeOf(dataType_)) {
        wireTypeCode = wire->code;
        valueSize = wire->size;
        PublishSnapshot();
    }
}

std::vector<OPCHANDLE> ServerHandles(CVItem* const* items, std::size_t count) {
    std::vector<OPCHANDLE> handles(count);
    for (std::size_t i = 0; i < count; ++i) handles[i] = items[i]->serverHandle;
    return handles;
}
