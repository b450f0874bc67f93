#include "rpc/wire_convert.h"

#include "platform/com/bstr.h"
#include "platform/com/memory.h"
#include "platform/com/safearray.h"

#include <cstring>

namespace rpc {
namespace {

bool IsPlainType(VARTYPE vt) {
    return PlainValueSize(vt) > 0;
}

// Element count of the bounds, or false when it cannot be (empty, too many dimensions, overflow).
bool ElementCount(capnp::List<rpcwire::SafeArray::Bound>::Reader bounds, uint64_t* count) {
    if (bounds.size() == 0 || bounds.size() > kSafeArrayMaxDims) return false;
    uint64_t total = 1;
    for (auto bound : bounds) {
        total *= bound.getCount();
        if (total > (uint64_t{1} << 32)) return false;
    }
    *count = total;
    return true;
}

HRESULT ArrayToWire(SAFEARRAY* array, VARTYPE element, rpcwire::SafeArray::Builder out) {
    if (!array || array->cDims == 0) return E_INVALIDARG;
    const UINT dims = array->cDims;
    auto bounds = out.initBounds(dims);
    for (UINT i = 0; i < dims; ++i) {
        const SAFEARRAYBOUND& b = array->rgsabound[dims - 1 - i];  // stored last dimension first
        bounds[i].setLower(b.lLbound);
        bounds[i].setCount(b.cElements);
    }
    const ULONG count = SafeArrayElementCount(array);
    if (count > 0 && !array->pvData) return E_INVALIDARG;
    if (element == VT_BSTR) {
        auto texts = out.initTexts(count);
        const BSTR* items = static_cast<const BSTR*>(array->pvData);
        for (ULONG i = 0; i < count; ++i) texts.set(i, Utf8FromBstr(items[i]));
        return S_OK;
    }
    if (element == VT_VARIANT) {
        auto variants = out.initVariants(count);
        const VARIANT* items = static_cast<const VARIANT*>(array->pvData);
        for (ULONG i = 0; i < count; ++i) {
            const HRESULT hr = ToWire(items[i], variants[i]);
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    }
    if (!IsPlainType(element)) return DISP_E_BADVARTYPE;
    const std::size_t size = std::size_t{count} * SafeArrayElementSize(element);
    out.setPlain(kj::arrayPtr(static_cast<const capnp::byte*>(array->pvData), size));
    return S_OK;
}

HRESULT ArrayFromWire(VARTYPE element, rpcwire::SafeArray::Reader in, SAFEARRAY** out) {
    uint64_t count = 0;
    if (!ElementCount(in.getBounds(), &count)) return E_INVALIDARG;
    std::vector<SAFEARRAYBOUND> bounds;
    for (auto b : in.getBounds()) bounds.push_back(SAFEARRAYBOUND{b.getCount(), b.getLower()});

    // The elements must be in the message, so the count is bounded by its size.
    switch (in.which()) {
    case rpcwire::SafeArray::PLAIN:
        if (!IsPlainType(element) || in.getPlain().size() != count * SafeArrayElementSize(element))
            return E_INVALIDARG;
        break;
    case rpcwire::SafeArray::TEXTS:
        if (element != VT_BSTR || in.getTexts().size() != count) return E_INVALIDARG;
        break;
    case rpcwire::SafeArray::VARIANTS:
        if (element != VT_VARIANT || in.getVariants().size() != count) return E_INVALIDARG;
        break;
    default:
        return E_INVALIDARG;
    }
    SAFEARRAY* array = SafeArrayCreate(element, static_cast<UINT>(bounds.size()), bounds.data());
    if (!array) return count == 0 ? E_INVALIDARG : E_OUTOFMEMORY;

    HRESULT hr = S_OK;
    switch (in.which()) {
    case rpcwire::SafeArray::PLAIN: {
        const auto plain = in.getPlain();
        if (count > 0) std::memcpy(array->pvData, plain.begin(), plain.size());
        break;
    }
    // Each list is taken once: a reader counts every reading of a list against its traversal
    // limit, so reading it again per element would refuse a few thousand elements.
    case rpcwire::SafeArray::TEXTS: {
        BSTR* items = static_cast<BSTR*>(array->pvData);
        const auto texts = in.getTexts();
        for (uint64_t i = 0; i < count; ++i) {
            const auto text = texts[static_cast<unsigned>(i)];
            items[i] = BstrFromUtf8(std::string_view(text.cStr(), text.size()));
        }
        break;
    }
    default: {
        VARIANT* items = static_cast<VARIANT*>(array->pvData);
        const auto variants = in.getVariants();
        for (uint64_t i = 0; i < count && SUCCEEDED(hr); ++i) hr = FromWire(variants[static_cast<unsigned>(i)], &items[i]);
        break;
    }
    }
    if (FAILED(hr)) {
        SafeArrayDestroy(array);
        return hr;
    }
    *out = array;
    return S_OK;
}

}  // namespace

HRESULT ToWire(const VARIANT& value, rpcwire::Variant::Builder out) {
    const VARTYPE vt = value.vt;
    out.setVt(vt);
    if (vt == VT_EMPTY || vt == VT_NULL) {
        out.setEmpty();
        return S_OK;
    }
    if (vt == VT_BSTR) {
        out.setText(Utf8FromBstr(value.bstrVal));
        return S_OK;
    }
    if (vt & VT_ARRAY) {
        const VARTYPE element = vt & VT_TYPEMASK;
        if (vt & VT_BYREF) return DISP_E_BADVARTYPE;
        return ArrayToWire(value.parray, element, out.initArray());
    }
    if (!IsPlainType(vt)) {
        out.setEmpty();
        out.setVt(VT_EMPTY);
        return DISP_E_BADVARTYPE;
    }
    uint64_t bits = 0;
    InlineBits(value, &bits);
    out.setBits(bits);
    return S_OK;
}

bool InlineBits(const VARIANT& value, uint64_t* bits) {
    const std::size_t size = PlainValueSize(value.vt);
    *bits = 0;
    if (size == 0) return value.vt == VT_EMPTY || value.vt == VT_NULL;
    std::memcpy(bits, &value.llVal, sizeof *bits);  // the value area is at least 8 bytes
    if (size < sizeof *bits) *bits &= (uint64_t{1} << (8 * size)) - 1;
    return true;
}

HRESULT InlineFromWire(VARTYPE vt, uint64_t bits, VARIANT* out) {
    VariantInit(out);
    const std::size_t size = PlainValueSize(vt);
    if (size == 0 && vt != VT_EMPTY && vt != VT_NULL) return DISP_E_BADVARTYPE;
    std::memcpy(&out->llVal, &bits, size);
    out->vt = vt;
    return S_OK;
}

HRESULT FromWire(rpcwire::Variant::Reader in, VARIANT* out) {
    VariantInit(out);
    const VARTYPE vt = in.getVt();
    switch (in.which()) {
    case rpcwire::Variant::EMPTY:
        if (vt != VT_EMPTY && vt != VT_NULL) return DISP_E_BADVARTYPE;
        out->vt = vt;
        return S_OK;
    case rpcwire::Variant::BITS:
        if (!IsPlainType(vt)) return DISP_E_BADVARTYPE;
        return InlineFromWire(vt, in.getBits(), out);
    case rpcwire::Variant::TEXT: {
        if (vt != VT_BSTR) return DISP_E_BADVARTYPE;
        const auto text = in.getText();
        out->bstrVal = BstrFromUtf8(std::string_view(text.cStr(), text.size()));
        if (!out->bstrVal) return E_OUTOFMEMORY;
        out->vt = VT_BSTR;
        return S_OK;
    }
    case rpcwire::Variant::ARRAY: {
        if (!(vt & VT_ARRAY) || (vt & VT_BYREF) || !IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
        SAFEARRAY* array = nullptr;
        const HRESULT hr = ArrayFromWire(vt & VT_TYPEMASK, in.getArray(), &array);
        if (FAILED(hr)) return hr;
        out->parray = array;
        out->vt = vt;
        return S_OK;
    }
    default:
        return DISP_E_BADVARTYPE;
    }
}

std::string Utf8(const char16_t* wide) {
    return wide ? Utf8FromWide(wide) : std::string();
}

std::u16string Wide(capnp::Text::Reader text) {
    return WideFromUtf8(std::string_view(text.cStr(), text.size()));
}

LPWSTR TaskWide(capnp::Text::Reader text) {
    return CoTaskWideFromUtf8(std::string_view(text.cStr(), text.size()));
}

capnp::Data::Reader WireBytes(const GUID& guid) {
    return capnp::Data::Reader(reinterpret_cast<const capnp::byte*>(&guid), sizeof(GUID));
}

void ToWire(const GUID& guid, capnp::Data::Builder out) {
    if (out.size() == sizeof(GUID)) std::memcpy(out.begin(), &guid, sizeof(GUID));
}

bool FromWire(capnp::Data::Reader in, GUID* out) {
    if (in.size() != sizeof(GUID)) return false;
    std::memcpy(out, in.begin(), sizeof(GUID));
    return true;
}

FILETIME FromWire(rpcwire::FileTime::Reader in) {
    FILETIME time;
    time.dwLowDateTime = in.getLow();
    time.dwHighDateTime = in.getHigh();
    return time;
}

void ToWire(const FILETIME& time, rpcwire::FileTime::Builder out) {
    out.setLow(time.dwLowDateTime);
    out.setHigh(time.dwHighDateTime);
}

BYTE* TaskBlob(capnp::Data::Reader in, DWORD* size) {
    *size = 0;
    if (in.size() == 0) return nullptr;
    BYTE* blob = CoTaskMemAllocArray<BYTE>(in.size());
    if (!blob) return nullptr;
    std::memcpy(blob, in.begin(), in.size());
    *size = static_cast<DWORD>(in.size());
    return blob;
}

ItemDefs::ItemDefs(capnp::List<rpcwire::ItemDef>::Reader in) {
    const unsigned count = in.size();
    ids_.reserve(count);
    paths_.reserve(count);
    blobs_.reserve(count);
    defs_.resize(count);
    for (unsigned i = 0; i < count; ++i) {
        const auto def = in[i];
        ids_.push_back(Wide(def.getItemId()));
        paths_.push_back(Wide(def.getAccessPath()));
        const auto blob = def.getBlob();
        blobs_.emplace_back(blob.begin(), blob.end());
        OPCITEMDEF& d = defs_[i];
        d.szItemID = ids_.back().data();
        d.szAccessPath = paths_.back().data();
        d.bActive = def.getActive() ? TRUE : FALSE;
        d.hClient = def.getClientHandle();
        d.dwBlobSize = static_cast<DWORD>(blobs_.back().size());
        d.pBlob = blobs_.back().empty() ? nullptr : blobs_.back().data();
        d.vtRequestedDataType = def.getRequestedType();
    }
}

void ToWire(const OPCITEMDEF& def, rpcwire::ItemDef::Builder out) {
    out.setAccessPath(Utf8(def.szAccessPath));
    out.setItemId(Utf8(def.szItemID));
    out.setActive(def.bActive != FALSE);
    out.setClientHandle(def.hClient);
    if (def.pBlob && def.dwBlobSize > 0) out.setBlob(kj::arrayPtr(def.pBlob, def.dwBlobSize));
    out.setRequestedType(def.vtRequestedDataType);
}

void ToWire(const OPCITEMRESULT& result, rpcwire::ItemResult::Builder out) {
    out.setServerHandle(result.hServer);
    out.setCanonicalType(result.vtCanonicalDataType);
    out.setAccessRights(result.dwAccessRights);
    if (result.pBlob && result.dwBlobSize > 0) out.setBlob(kj::arrayPtr(result.pBlob, result.dwBlobSize));
}

void FromWire(rpcwire::ItemResult::Reader in, OPCITEMRESULT* out) {
    out->hServer = in.getServerHandle();
    out->vtCanonicalDataType = in.getCanonicalType();
    out->wReserved = 0;
    out->dwAccessRights = in.getAccessRights();
    out->pBlob = TaskBlob(in.getBlob(), &out->dwBlobSize);
}

HRESULT ToWire(const OPCITEMSTATE& state, rpcwire::ItemState::Builder out) {
    out.setClientHandle(state.hClient);
    ToWire(state.ftTimeStamp, out.initTimeStamp());
    out.setQuality(state.wQuality);
    return ToWire(state.vDataValue, out.initValue());
}

HRESULT FromWire(rpcwire::ItemState::Reader in, OPCITEMSTATE* out) {
    out->hClient = in.getClientHandle();
    out->ftTimeStamp = FromWire(in.getTimeStamp());
    out->wQuality = in.getQuality();
    out->wReserved = 0;
    return FromWire(in.getValue(), &out->vDataValue);
}

HRESULT ToWire(const OPCITEMATTRIBUTES& a, rpcwire::ItemAttributes::Builder out) {
    out.setAccessPath(Utf8(a.szAccessPath));
    out.setItemId(Utf8(a.szItemID));
    out.setActive(a.bActive != FALSE);
    out.setClientHandle(a.hClient);
    out.setServerHandle(a.hServer);
    out.setAccessRights(a.dwAccessRights);
    if (a.pBlob && a.dwBlobSize > 0) out.setBlob(kj::arrayPtr(a.pBlob, a.dwBlobSize));
    out.setRequestedType(a.vtRequestedDataType);
    out.setCanonicalType(a.vtCanonicalDataType);
    out.setEuType(static_cast<uint32_t>(a.dwEUType));
    return ToWire(a.vEUInfo, out.initEuInfo());
}

HRESULT FromWire(rpcwire::ItemAttributes::Reader in, OPCITEMATTRIBUTES* out) {
    out->szAccessPath = TaskWide(in.getAccessPath());
    out->szItemID = TaskWide(in.getItemId());
    out->bActive = in.getActive() ? TRUE : FALSE;
    out->hClient = in.getClientHandle();
    out->hServer = in.getServerHandle();
    out->dwAccessRights = in.getAccessRights();
    out->pBlob = TaskBlob(in.getBlob(), &out->dwBlobSize);
    out->vtRequestedDataType = in.getRequestedType();
    out->vtCanonicalDataType = in.getCanonicalType();
    out->dwEUType = static_cast<OPCEUTYPE>(in.getEuType());
    return FromWire(in.getEuInfo(), &out->vEUInfo);
}

void ToWire(const OPCSERVERSTATUS& status, rpcwire::ServerStatus::Builder out) {
    ToWire(status.ftStartTime, out.initStartTime());
    ToWire(status.ftCurrentTime, out.initCurrentTime());
    ToWire(status.ftLastUpdateTime, out.initLastUpdateTime());
    out.setServerState(static_cast<uint32_t>(status.dwServerState));
    out.setGroupCount(status.dwGroupCount);
    out.setBandWidth(status.dwBandWidth);
    out.setMajorVersion(status.wMajorVersion);
    out.setMinorVersion(status.wMinorVersion);
    out.setBuildNumber(status.wBuildNumber);
    out.setVendorInfo(Utf8(status.szVendorInfo));
}

void FromWire(rpcwire::ServerStatus::Reader in, OPCSERVERSTATUS* out) {
    out->ftStartTime = FromWire(in.getStartTime());
    out->ftCurrentTime = FromWire(in.getCurrentTime());
    out->ftLastUpdateTime = FromWire(in.getLastUpdateTime());
    out->dwServerState = static_cast<OPCSERVERSTATE>(in.getServerState());
    out->dwGroupCount = in.getGroupCount();
    out->dwBandWidth = in.getBandWidth();
    out->wMajorVersion = in.getMajorVersion();
    out->wMinorVersion = in.getMinorVersion();
    out->wBuildNumber = in.getBuildNumber();
    out->wReserved = 0;
    out->szVendorInfo = TaskWide(in.getVendorInfo());
}

WireVariants::WireVariants(capnp::List<rpcwire::Variant>::Reader in) {
    values_.resize(in.size());
    for (unsigned i = 0; i < in.size() && SUCCEEDED(status_); ++i) status_ = FromWire(in[i], &values_[i]);
}

WireVariants::~WireVariants() {
    for (VARIANT& value : values_) VariantClear(&value);
}

HRESULT* TaskErrors(capnp::List<int32_t>::Reader in) {
    if (in.size() == 0) return nullptr;
    HRESULT* errors = CoTaskMemAllocArray<HRESULT>(in.size());
    if (!errors) return nullptr;
    for (unsigned i = 0; i < in.size(); ++i) errors[i] = in[i];
    return errors;
}

void ErrorsToWire(const HRESULT* errors, DWORD count, capnp::List<int32_t>::Builder out) {
    if (!errors) return;
    for (DWORD i = 0; i < count && i < out.size(); ++i) out.set(i, errors[i]);
}

}  // namespace rpc
