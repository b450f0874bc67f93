#include "simserver/group_item_enum.h"

#include <memory>
#include <mutex>

#include "platform/com/bstr.h"
#include "platform/com/enums.h"
#include "simserver/group_core.h"
#include "simserver/group_values.h"

namespace simserver {

ItemAttributesRecord ItemAttributesRecord::Of(const GroupItem& item) {
    ItemAttributesRecord r;
    r.accessPath = item.accessPath;
    r.itemId = item.itemId;
    r.active = item.active;
    r.clientHandle = item.clientHandle;
    r.serverHandle = item.serverHandle;
    r.accessRights = item.tag->AccessRights();
    r.requestedType = item.requestedType;
    r.canonicalType = item.tag->CanonicalType();
    r.euType = item.tag->EuType();
    item.tag->GetEuInfo(r.euInfo.get());
    return r;
}

namespace {

using Records = std::vector<ItemAttributesRecord>;

// Fills one attribute block; false when out of memory (what was filled is freed by Free).
bool Fill(const ItemAttributesRecord& r, OPCITEMATTRIBUTES* out) {
    out->szAccessPath = CoTaskWideFromWide(r.accessPath);
    out->szItemID = CoTaskWideFromWide(r.itemId);
    out->bActive = r.active ? TRUE : FALSE;
    out->hClient = r.clientHandle;
    out->hServer = r.serverHandle;
    out->dwAccessRights = r.accessRights;
    out->dwBlobSize = 0;
    out->pBlob = nullptr;
    out->vtRequestedDataType = r.requestedType;
    out->vtCanonicalDataType = r.canonicalType;
    out->dwEUType = r.euType;
    return out->szAccessPath && out->szItemID && SUCCEEDED(VariantCopy(&out->vEUInfo, r.euInfo.get()));
}

void Free(OPCITEMATTRIBUTES& attributes) {
    CoTaskMemFree(attributes.szAccessPath);
    CoTaskMemFree(attributes.szItemID);
    VariantClear(&attributes.vEUInfo);
}

class ItemAttributesEnum final : public ComObject<IEnumOPCItemAttributes> {
public:
    ItemAttributesEnum(std::shared_ptr<const Records> records, std::size_t position)
        : records_(std::move(records)), position_(position) {}

    HRESULT Next(ULONG celt, OPCITEMATTRIBUTES** ppItemArray, ULONG* pceltFetched) override {
        if (pceltFetched) *pceltFetched = 0;
        if (!ppItemArray) return E_POINTER;
        *ppItemArray = nullptr;
        if (celt > 1 && !pceltFetched) return E_INVALIDARG;
        std::lock_guard lock(mutex_);
        const std::size_t left = records_->size() - position_;
        const ULONG count = static_cast<ULONG>(std::min<std::size_t>(celt, left));
        if (count == 0) return celt == 0 ? S_OK : S_FALSE;
        TaskMemArray<OPCITEMATTRIBUTES> block(CoTaskMemAllocArray<OPCITEMATTRIBUTES>(count), count, Free);
        if (!block) return E_OUTOFMEMORY;
        for (ULONG i = 0; i < count; ++i)
            if (!Fill((*records_)[position_ + i], &block[i])) return E_OUTOFMEMORY;
        position_ += count;
        *ppItemArray = block.Release();
        if (pceltFetched) *pceltFetched = count;
        return count == celt ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG celt) override {
        std::lock_guard lock(mutex_);
        return SkipWithin(position_, records_->size(), celt);
    }
    HRESULT Reset() override {
        std::lock_guard lock(mutex_);
        position_ = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumOPCItemAttributes** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        std::lock_guard lock(mutex_);
        *ppEnum = MakeComObject<ItemAttributesEnum>(records_, position_).detach();
        return S_OK;
    }

private:
    const std::shared_ptr<const Records> records_;
    std::mutex mutex_;
    std::size_t position_;
};

}  // namespace

ComPtr<IEnumOPCItemAttributes> MakeItemAttributesEnum(Records records) {
    return MakeComObject<ItemAttributesEnum>(std::make_shared<const Records>(std::move(records)), 0);
}

}  // namespace simserver
