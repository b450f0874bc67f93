#include "simserver/server_properties.h"

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"
#include "platform/com/variant.h"
#include "simserver/sim_time.h"

namespace simserver {

namespace {

// Update rate the server samples its signals at, for "Server Scan Rate".
constexpr float kScanRateMs = 10.0f;

const char16_t* ShapeName(SignalShape shape) {
    switch (shape) {
    case SignalShape::Memory: return u"Memory";
    case SignalShape::Fixed: return u"Constant";
    case SignalShape::Ramp: return u"Ramp";
    case SignalShape::Random: return u"Random";
    case SignalShape::Sine: return u"Sine";
    case SignalShape::Square: return u"Square";
    case SignalShape::TextCycle: return u"Text";
    case SignalShape::QualityCycle: return u"Quality cycle";
    case SignalShape::Bit: return u"Bit";
    }
    return u"";
}

bool IsTimeDriven(SignalShape shape) {
    return shape != SignalShape::Memory && shape != SignalShape::Fixed && shape != SignalShape::Bit;
}

void SetBstr(VARIANT* out, std::u16string_view text) {
    out->vt = VT_BSTR;
    out->bstrVal = BstrFromWide(text);
}

}  // namespace

std::vector<PropertyInfo> AvailableProperties(const Tag& tag) {
    std::vector<PropertyInfo> props = {
        {OPC_PROP_CDT, u"Item Canonical DataType", VT_I2}, {OPC_PROP_VALUE, u"Item Value", tag.CanonicalType()},
        {OPC_PROP_QUALITY, u"Item Quality", VT_I2},        {OPC_PROP_TIME, u"Item Timestamp", VT_DATE},
        {OPC_PROP_RIGHTS, u"Item Access Rights", VT_I4},   {OPC_PROP_SCANRATE, u"Server Scan Rate", VT_R4},
        {OPC_PROP_EUTYPE, u"Item EU Type", VT_I4},
    };
    if (tag.EuType() == OPC_ANALOG) props.push_back({OPC_PROP_EUINFO, u"Item EUInfo", VT_ARRAY | VT_R8});
    if (!tag.Unit().empty()) props.push_back({OPC_PROP_UNIT, u"EU Units", VT_BSTR});
    if (!tag.Description().empty()) props.push_back({OPC_PROP_DESC, u"Item Description", VT_BSTR});
    if (tag.EuType() == OPC_ANALOG) {
        props.push_back({OPC_PROP_HIEU, u"High EU", VT_R8});
        props.push_back({OPC_PROP_LOEU, u"Low EU", VT_R8});
    }
    props.push_back({kPropSignal, u"Simulation Signal", VT_BSTR});
    if (IsTimeDriven(tag.Shape())) props.push_back({kPropStep, u"Simulation Step (ms)", VT_UI4});
    const auto& linked = tag.PropertyItemIds();
    if (linked.count(kPropAlarmItem)) props.push_back({kPropAlarmItem, u"Alarm Item", VT_BOOL});
    if (linked.count(kPropTrendItem)) props.push_back({kPropTrendItem, u"Trend Item", VT_BOOL});
    if (linked.count(kPropWordItem)) props.push_back({kPropWordItem, u"Word Item", VT_UI2});
    return props;
}

HRESULT PropertyValue(const AddressSpace& space, const Tag& tag, DWORD id, FILETIME now, VARIANT* out) {
    VariantClear(out);
    bool offered = false;
    for (const auto& p : AvailableProperties(tag)) offered = offered || p.id == id;
    if (!offered) return OPC_E_INVALID_PID;

    // A property with an item of its own has that item's value.
    if (auto it = tag.PropertyItemIds().find(id); it != tag.PropertyItemIds().end()) {
        const Tag* linked = space.Find(it->second);
        if (!linked) return E_FAIL;
        WORD quality = 0;
        FILETIME stamp;
        linked->Read(now, out, &quality, &stamp);
        return S_OK;
    }

    WORD quality = 0;
    FILETIME stamp;
    switch (id) {
    case OPC_PROP_CDT:
        out->vt = VT_I2;
        out->iVal = static_cast<SHORT>(tag.CanonicalType());
        return S_OK;
    case OPC_PROP_VALUE:
        if (!(tag.AccessRights() & OPC_READABLE)) return OPC_E_BADRIGHTS;
        tag.Read(now, out, &quality, &stamp);
        return S_OK;
    case OPC_PROP_QUALITY: {
        Variant value;
        tag.Read(now, value.get(), &quality, &stamp);
        out->vt = VT_I2;
        out->iVal = static_cast<SHORT>(quality);
        return S_OK;
    }
    case OPC_PROP_TIME: {
        Variant value;
        tag.Read(now, value.get(), &quality, &stamp);
        out->vt = VT_DATE;
        out->date = DateFromFileTime(stamp);
        return S_OK;
    }
    case OPC_PROP_RIGHTS:
        out->vt = VT_I4;
        out->lVal = static_cast<LONG>(tag.AccessRights());
        return S_OK;
    case OPC_PROP_SCANRATE:
        out->vt = VT_R4;
        out->fltVal = kScanRateMs;
        return S_OK;
    case OPC_PROP_EUTYPE:
        out->vt = VT_I4;
        out->lVal = static_cast<LONG>(tag.EuType());
        return S_OK;
    case OPC_PROP_EUINFO: tag.GetEuInfo(out); return S_OK;
    case OPC_PROP_UNIT: SetBstr(out, WideFromUtf8(tag.Unit())); return S_OK;
    case OPC_PROP_DESC: SetBstr(out, WideFromUtf8(tag.Description())); return S_OK;
    case OPC_PROP_HIEU:
        out->vt = VT_R8;
        out->dblVal = tag.EuHigh();
        return S_OK;
    case OPC_PROP_LOEU:
        out->vt = VT_R8;
        out->dblVal = tag.EuLow();
        return S_OK;
    case kPropSignal: SetBstr(out, ShapeName(tag.Shape())); return S_OK;
    case kPropStep:
        out->vt = VT_UI4;
        out->ulVal = tag.StepMs();
        return S_OK;
    default: return OPC_E_INVALID_PID;
    }
}

HRESULT PropertyItemId(const Tag& tag, DWORD id, std::u16string* itemId) {
    bool offered = false;
    for (const auto& p : AvailableProperties(tag)) offered = offered || p.id == id;
    if (!offered || id < OPC_PROP_UNIT) return OPC_E_INVALID_PID;
    auto it = tag.PropertyItemIds().find(id);
    if (it == tag.PropertyItemIds().end()) return E_FAIL;
    *itemId = it->second;
    return S_OK;
}

}  // namespace simserver
