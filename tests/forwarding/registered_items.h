// Items placed at fixed forwarding addresses, with a value and a quality, for the forwarding
// tests. Destroying the set unregisters them.
#pragma once

#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "platform/com/bstr.h"
#include "platform/com/variant.h"

#include <memory>
#include <string>
#include <vector>

inline VARIANT MakeVariant(VARTYPE type, auto assign) {
    VARIANT v;
    v.vt = type;
    assign(v);
    return v;
}
inline VARIANT I4(LONG x) {
    return MakeVariant(VT_I4, [&](VARIANT& v) { v.lVal = x; });
}
inline VARIANT R4(FLOAT x) {
    return MakeVariant(VT_R4, [&](VARIANT& v) { v.fltVal = x; });
}
inline VARIANT R8(DOUBLE x) {
    return MakeVariant(VT_R8, [&](VARIANT& v) { v.dblVal = x; });
}
inline VARIANT Bool(bool x) {
    return MakeVariant(VT_BOOL, [&](VARIANT& v) { v.boolVal = x ? VARIANT_TRUE : VARIANT_FALSE; });
}
inline VARIANT Empty() { return VARIANT{}; }

class RegisteredItems {
public:
    // An item of `dataType` at `address` holding `value` (copied) with `quality`.
    CVItem& Add(int address, VARTYPE dataType, const VARIANT& value, WORD quality = 0xC0, bool added = true) {
        auto item = std::make_unique<CVItem>(nullptr);
        item->itemId = "Tag" + std::to_string(address);
        item->SetDataType(dataType);
        item->added = added ? TRUE : FALSE;
        if (value.vt != VT_EMPTY) item->SetValue(value, quality);
        CItemAddressRegistry::Instance().RegisterAt(item.get(), address);
        items_.push_back(std::move(item));
        return *items_.back();
    }
    // A string-valued item; `dataType` may claim a number.
    CVItem& AddString(int address, VARTYPE dataType, const char* text) {
        VARIANT value;
        value.vt = VT_BSTR;
        value.bstrVal = BstrFromUtf8(text);
        CVItem& item = Add(address, dataType, value);
        VariantClear(&value);
        return item;
    }
    void Clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<CVItem>> items_;
};
