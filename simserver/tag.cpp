#include "simserver/tag.h"

#include <cmath>
#include <numbers>

#include "platform/com/bstr.h"
#include "platform/com/filetime.h"
#include "platform/com/hresult.h"
#include "platform/com/safearray.h"
#include "platform/com/variant.h"

namespace simserver {

namespace {

constexpr ULONGLONG kTicksPerMs = 10000;

// Texts of the text signals: plain words, Chinese, an empty string, punctuation.
constexpr std::u16string_view kWords[] = {
    u"alpha", u"beta", u"gamma", u"温度", u"压力", u"", u"Orvane OPC", u"x=1, y=2",
};

// Qualities of the quality-cycling signal, in order.
constexpr WORD kQualityCycle[] = {
    OPC_QUALITY_GOOD, OPC_QUALITY_UNCERTAIN,    OPC_QUALITY_LAST_USABLE,    OPC_QUALITY_SENSOR_CAL,
    OPC_QUALITY_BAD,  OPC_QUALITY_COMM_FAILURE, OPC_QUALITY_OUT_OF_SERVICE, OPC_QUALITY_LOCAL_OVERRIDE,
};

std::uint64_t SplitMix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

bool IsFloat(VARTYPE base) { return base == VT_R4 || base == VT_R8 || base == VT_DATE; }

// One numeric value of a signal: integers carry `i` exactly (so ramps wrap in the width of
// the type), everything else `d`.
struct Sample {
    bool integral = false;
    std::int64_t i = 0;
    double d = 0.0;
};

std::int64_t AsInteger(const Sample& s) {
    if (s.integral) return s.i;
    if (!std::isfinite(s.d)) return 0;
    return static_cast<std::int64_t>(std::llround(s.d));
}

double AsDouble(const Sample& s) { return s.integral ? static_cast<double>(s.i) : s.d; }

// Writes a sample as one element of type `base` (integer conversions wrap).
void PutSample(VARTYPE base, const Sample& s, void* dst) {
    switch (base) {
    case VT_I1: *static_cast<CHAR*>(dst) = static_cast<CHAR>(AsInteger(s)); break;
    case VT_UI1: *static_cast<BYTE*>(dst) = static_cast<BYTE>(AsInteger(s)); break;
    case VT_I2: *static_cast<SHORT*>(dst) = static_cast<SHORT>(AsInteger(s)); break;
    case VT_UI2: *static_cast<USHORT*>(dst) = static_cast<USHORT>(AsInteger(s)); break;
    case VT_I4:
    case VT_INT: *static_cast<LONG*>(dst) = static_cast<LONG>(AsInteger(s)); break;
    case VT_UI4:
    case VT_UINT: *static_cast<ULONG*>(dst) = static_cast<ULONG>(AsInteger(s)); break;
    case VT_I8: *static_cast<LONGLONG*>(dst) = AsInteger(s); break;
    case VT_UI8: *static_cast<ULONGLONG*>(dst) = static_cast<ULONGLONG>(AsInteger(s)); break;
    case VT_R4: *static_cast<FLOAT*>(dst) = static_cast<FLOAT>(AsDouble(s)); break;
    case VT_R8:
    case VT_DATE: *static_cast<DOUBLE*>(dst) = AsDouble(s); break;
    case VT_CY: static_cast<CY*>(dst)->int64 = AsInteger(s) * 10000; break;
    case VT_BOOL: *static_cast<VARIANT_BOOL*>(dst) = AsDouble(s) != 0.0 ? VARIANT_TRUE : VARIANT_FALSE; break;
    default: break;
    }
}

// Element k of a signal at step s (k > 0 only for arrays).
Sample SampleAt(const TagSpec& desc, std::uint64_t step, std::uint64_t k) {
    const VARTYPE base = desc.type & VT_TYPEMASK;
    const double span = desc.high - desc.low;
    const std::uint64_t stepsPerPeriod = std::max<std::uint64_t>(1, desc.periodMs / std::max<DWORD>(1, desc.stepMs));
    const std::uint64_t s = step + k;
    Sample out;
    switch (desc.shape) {
    case SignalShape::Ramp:
    case SignalShape::QualityCycle:
        if (IsFloat(base)) {
            const auto pos = (s + static_cast<std::uint64_t>(desc.offset)) % stepsPerPeriod;
            out.d = desc.low + span * static_cast<double>(pos) / static_cast<double>(stepsPerPeriod);
        } else {
            out.integral = true;
            out.i = static_cast<std::int64_t>(s + static_cast<std::uint64_t>(desc.offset));
        }
        break;
    case SignalShape::Random: {
        const std::uint64_t h = SplitMix(s * 0x100000001B3ULL ^ static_cast<std::uint64_t>(desc.offset));
        if (base == VT_BOOL) {
            out.integral = true;
            out.i = static_cast<std::int64_t>(h & 1);
        } else if (IsFloat(base)) {
            out.d = desc.low + span * static_cast<double>(h >> 11) * 0x1.0p-53;
        } else {
            out.integral = true;
            out.i = static_cast<std::int64_t>(h);
        }
        break;
    }
    case SignalShape::Sine: {
        const double phase = static_cast<double>((s * desc.stepMs) % std::max<DWORD>(1, desc.periodMs)) /
                             static_cast<double>(std::max<DWORD>(1, desc.periodMs));
        out.d = desc.low + span * (0.5 + 0.5 * std::sin(2.0 * std::numbers::pi * phase));
        break;
    }
    case SignalShape::Square: {
        const std::uint64_t half = std::max<DWORD>(1, desc.periodMs / 2);
        out.d = ((s * desc.stepMs) / half) % 2 ? desc.high : desc.low;
        break;
    }
    default: out.d = desc.initialNumber + static_cast<double>(k); break;
    }
    return out;
}

BSTR TextAt(const TagSpec& desc, std::uint64_t step) {
    constexpr std::size_t n = std::size(kWords);
    if (desc.shape == SignalShape::TextCycle) return BstrFromWide(kWords[step % n]);
    if (desc.shape == SignalShape::Random)
        return BstrFromWide(kWords[SplitMix(step ^ static_cast<std::uint64_t>(desc.offset)) % n]);
    return BstrFromUtf8(desc.initialText);
}

SAFEARRAY* MakeArray(const TagSpec& desc, std::uint64_t step) {
    // The counts are listed as the array stores them (row count, then row length); creation
    // takes the dimensions the other way round.
    std::vector<SAFEARRAYBOUND> bounds;
    for (auto count = desc.dims.rbegin(); count != desc.dims.rend(); ++count)
        bounds.push_back(SAFEARRAYBOUND{*count, 0});
    const VARTYPE base = desc.type & VT_TYPEMASK;
    SAFEARRAY* psa = SafeArrayCreate(base, static_cast<UINT>(bounds.size()), bounds.data());
    if (!psa) return nullptr;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(psa, &data))) return psa;
    const ULONG count = SafeArrayElementCount(psa);
    const ULONG size = SafeArrayGetElemsize(psa);
    for (ULONG k = 0; k < count; ++k) {
        void* element = static_cast<BYTE*>(data) + static_cast<std::size_t>(k) * size;
        if (base == VT_BSTR)
            *static_cast<BSTR*>(element) = TextAt(desc, step + k);
        else
            PutSample(base, SampleAt(desc, step, k), element);
    }
    SafeArrayUnaccessData(psa);
    return psa;
}

// The value of a signal at a step, as a VARIANT of the tag's canonical type.
void ValueAt(const TagSpec& desc, std::uint64_t step, VARIANT* out) {
    VariantClear(out);
    if (desc.type & VT_ARRAY) {
        out->parray = MakeArray(desc, step);
        out->vt = out->parray ? desc.type : VARTYPE{VT_EMPTY};
        return;
    }
    if (desc.type == VT_BSTR) {
        out->bstrVal = TextAt(desc, step);
        out->vt = VT_BSTR;
        return;
    }
    PutSample(desc.type, SampleAt(desc, step, 0), &out->llVal);
    out->vt = desc.type;
}

}  // namespace

struct Tag::Memory {
    mutable std::mutex mutex;
    VARIANT value;
    FILETIME stamp;
    std::atomic<std::uint64_t> version{1};

    ~Memory() { VariantClear(&value); }
};

Tag::Tag(TagSpec desc, FILETIME created, Tag* word) : spec_(std::move(desc)), word_(word), created_(created) {
    if (spec_.stepMs == 0) spec_.stepMs = 1;
    if (spec_.shape == SignalShape::Memory) {
        memory_ = std::make_unique<Memory>();
        ValueAt(spec_, 0, &memory_->value);
        memory_->stamp = created;
    }
}

Tag::~Tag() = default;

void Tag::GetEuInfo(VARIANT* out) const {
    VariantClear(out);
    if (!spec_.analog) return;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_R8, 0, 2);
    if (!psa) return;
    LONG index = 0;
    double low = spec_.low, high = spec_.high;
    SafeArrayPutElement(psa, &index, &low);
    index = 1;
    SafeArrayPutElement(psa, &index, &high);
    out->vt = VT_ARRAY | VT_R8;
    out->parray = psa;
}

bool Tag::AcceptsAccessPath(std::u16string_view path) const {
    if (path.empty()) return true;
    for (const auto& accepted : spec_.accessPaths)
        if (accepted == path) return true;
    return false;
}

std::uint64_t Tag::StepOf(FILETIME now) const {
    return FileTimeTicks(now) / (static_cast<ULONGLONG>(spec_.stepMs) * kTicksPerMs);
}

std::uint64_t Tag::Version(FILETIME now) const {
    switch (spec_.shape) {
    case SignalShape::Memory: return memory_->version.load(std::memory_order_acquire);
    case SignalShape::Bit: return word_->Version(now);
    case SignalShape::Fixed: return 1;
    default: return StepOf(now) + 1;
    }
}

void Tag::Read(FILETIME now, VARIANT* value, WORD* quality, FILETIME* timestamp) const {
    switch (spec_.shape) {
    case SignalShape::Memory: {
        std::lock_guard lock(memory_->mutex);
        VariantCopy(value, &memory_->value);
        *quality = OPC_QUALITY_GOOD;
        *timestamp = memory_->stamp;
        return;
    }
    case SignalShape::Bit: {
        VARIANT word;
        word_->Read(now, &word, quality, timestamp);
        const auto bit = static_cast<unsigned>(spec_.offset);
        VariantClear(value);
        value->vt = VT_BOOL;
        value->boolVal = word.vt == VT_UI2 && (word.uiVal >> bit) & 1u ? VARIANT_TRUE : VARIANT_FALSE;
        VariantClear(&word);
        return;
    }
    default: ReadComputed(now, value, quality, timestamp); return;
    }
}

void Tag::ReadComputed(FILETIME now, VARIANT* value, WORD* quality, FILETIME* timestamp) const {
    if (spec_.shape == SignalShape::Fixed) {
        ValueAt(spec_, 0, value);
        *quality = spec_.quality;
        *timestamp = created_;
        return;
    }
    const std::uint64_t step = StepOf(now);
    ValueAt(spec_, step, value);
    *quality =
        spec_.shape == SignalShape::QualityCycle ? kQualityCycle[step % std::size(kQualityCycle)] : OPC_QUALITY_GOOD;
    *timestamp = FileTimeFromTicks(step * spec_.stepMs * kTicksPerMs);
}

HRESULT Tag::Write(const VARIANT& value) {
    if (!(spec_.rights & OPC_WRITEABLE)) return OPC_E_BADRIGHTS;
    if (writeError_) return *writeError_;
    if (value.vt == VT_EMPTY || value.vt == VT_NULL) return OPC_E_BADTYPE;
    if (spec_.shape == SignalShape::Bit) return WriteBit(value);
    if (spec_.shape != SignalShape::Memory) return OPC_E_BADRIGHTS;

    Variant converted;
    const HRESULT hr = VariantChangeType(converted.get(), &value, 0, spec_.type);
    if (FAILED(hr)) return hr == DISP_E_OVERFLOW ? OPC_E_RANGE : OPC_E_BADTYPE;
    if ((spec_.type & VT_ARRAY) && (!converted->parray || SafeArrayGetDim(converted->parray) != spec_.dims.size()))
        return OPC_E_BADTYPE;
    Store(converted.get());
    return S_OK;
}

void Tag::Store(VARIANT* converted) {
    std::lock_guard lock(memory_->mutex);
    VariantClear(&memory_->value);
    memory_->value = *converted;
    VariantInit(converted);  // ownership moved into the tag
    memory_->stamp = FileTimeNow();
    memory_->version.fetch_add(1, std::memory_order_release);
}

HRESULT Tag::WriteBit(const VARIANT& value) {
    Variant flag;
    const HRESULT hr = VariantChangeType(flag.get(), &value, 0, VT_BOOL);
    if (FAILED(hr)) return hr == DISP_E_OVERFLOW ? OPC_E_RANGE : OPC_E_BADTYPE;
    Memory& word = *word_->memory_;
    const auto mask = static_cast<USHORT>(1u << static_cast<unsigned>(spec_.offset));
    std::lock_guard lock(word.mutex);
    if (word.value.vt != VT_UI2) return E_FAIL;
    word.value.uiVal =
        flag->boolVal ? static_cast<USHORT>(word.value.uiVal | mask) : static_cast<USHORT>(word.value.uiVal & ~mask);
    word.stamp = FileTimeNow();
    word.version.fetch_add(1, std::memory_order_release);
    return S_OK;
}

}  // namespace simserver
