#include "opc/client/value_text.h"

#include "platform/com/bstr.h"
#include "platform/com/variant.h"
#include "platform/strings/string_ids.h"
#include "platform/strings/string_table.h"

#include <strings.h>
#include <array>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <cstring>

namespace {

struct QualityRow {
    WORD status;  // quality AND 0xFC
    unsigned stringId;
};

constexpr QualityRow kQualityRows[] = {
    {0x00, IDS_QUALITY_BAD},
    {0x04, IDS_QUALITY_CONFIG_ERROR},
    {0x08, IDS_QUALITY_NOT_CONNECTED},
    {0x0C, IDS_QUALITY_DEVICE_FAILURE},
    {0x10, IDS_QUALITY_SENSOR_FAILURE},
    {0x14, IDS_QUALITY_LAST_KNOWN},
    {0x18, IDS_QUALITY_COMM_FAILURE},
    {0x1C, IDS_QUALITY_OUT_OF_SERVICE},
    {0x40, IDS_QUALITY_UNCERTAIN},
    {0x44, IDS_QUALITY_LAST_USABLE},
    {0x50, IDS_QUALITY_SENSOR_CAL},
    {0x54, IDS_QUALITY_EGU_EXCEEDED},
    {0x58, IDS_QUALITY_SUB_NORMAL},
    {0xC0, IDS_QUALITY_GOOD},
    {0xD8, IDS_QUALITY_LOCAL_OVERRIDE},
};

// Loaded once; the texts live until the process ends.
struct QualityTable {
    std::array<std::string, 256> byStatus;
    std::string noValue{LoadString(IDS_NO_VALUE)};
    std::string unknown{LoadString(IDS_UNKNOWN)};
    std::string noTimestamp{LoadString(IDS_NO_TIMESTAMP)};

    QualityTable() {
        byStatus.fill(noValue);
        for (const auto& row : kQualityRows) byStatus[row.status] = std::string(LoadString(row.stringId));
    }
};

const QualityTable& Table() {
    static const QualityTable table;
    return table;
}

struct TypeName {
    VARTYPE type;
    const char* name;
};

constexpr TypeName kTypeNames[] = {
    {VT_BOOL, "Boolean"}, {VT_UI1, "Byte"}, {VT_I1, "Char"},  {VT_UI2, "Word"},  {VT_I2, "Short"},
    {VT_UI4, "DWord"},    {VT_I4, "Long"},  {VT_R4, "Float"}, {VT_R8, "Double"}, {VT_BSTR, "String"},
};

template <typename... Args>
void Append(std::string& text, const char* format, Args... args) {
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    if (n > 0) text.append(buffer, static_cast<std::size_t>(n) < sizeof buffer ? n : sizeof buffer - 1);
}

void AppendElement(std::string& text, VARTYPE element, const BYTE* p) {
    switch (PlainValueSize(element)) {
    case 1:
        if (element == VT_UI1)
            Append(text, "%u", unsigned{p[0]});
        else
            Append(text, "%d", int{static_cast<signed char>(p[0])});
        break;
    case 2: {
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        if (element == VT_UI2)
            Append(text, "%u", unsigned{v});
        else
            Append(text, "%d", int{static_cast<std::int16_t>(v)});
        break;
    }
    case 4: {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        if (element == VT_R4) {
            float f;
            std::memcpy(&f, p, 4);
            Append(text, "%G", double{f});
        } else if (element == VT_UI4) {
            Append(text, "%u", unsigned{v});
        } else {
            Append(text, "%d", static_cast<int>(static_cast<std::int32_t>(v)));
        }
        break;
    }
    default: {
        double d;
        std::memcpy(&d, p, 8);
        Append(text, "%G", d);
    }
    }
}

void FormatArray(const SAFEARRAY& array, VARTYPE element, std::string& text) {
    const auto elementSize = static_cast<ULONG>(PlainValueSize(element));
    const ULONG rowLength = array.cDims == 1 ? array.rgsabound[0].cElements : array.rgsabound[1].cElements;
    std::size_t count = array.cDims ? 1 : 0;
    for (USHORT d = 0; d < array.cDims; ++d) count *= array.rgsabound[d].cElements;
    if (!array.pvData) count = 0;

    text = "[ ";
    const auto* data = static_cast<const BYTE*>(array.pvData);
    ULONG inRow = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (inRow > 0) text += ", ";
        AppendElement(text, element, data + i * elementSize);
        if (++inRow == rowLength) {
            if (i + 1 < count) text += " ] [ ";
            inRow = 0;
        }
    }
    text += " ]";
}

}  // namespace

const std::string& QualityText(WORD quality) { return Table().byStatus[quality & 0xFC]; }
const std::string& NoValueText() { return Table().noValue; }
const std::string& UnknownText() { return Table().unknown; }
const std::string& NoTimestampText() { return Table().noTimestamp; }

std::string VarTypeName(VARTYPE type) {
    const VARTYPE base = type & ~VT_ARRAY;
    std::string name = "Native";
    for (const auto& entry : kTypeNames)
        if (entry.type == base) name = entry.name;
    if (type & VT_ARRAY) name += " Array";
    return name;
}

VARTYPE VarTypeFromName(std::string_view name) {
    const std::string text(name);
    for (const auto& entry : kTypeNames) {
        if (strcasecmp(text.c_str(), entry.name) == 0) return entry.type;
        if (entry.type == VT_BOOL || entry.type == VT_BSTR) continue;  // no array forms
        const std::string arrayName = std::string(entry.name) + " Array";
        if (strcasecmp(text.c_str(), arrayName.c_str()) == 0) return VT_ARRAY | entry.type;
    }
    return VT_EMPTY;
}

bool FormatVariant(const VARIANT& value, std::string& text) {
    text.clear();
    if (value.vt & VT_ARRAY) {
        const VARTYPE element = value.vt & ~VT_ARRAY;
        if (!IsNumericArrayElement(element)) {
            text = UnknownText();
            return true;
        }
        if (!value.parray) {
            text = "???";
            return false;
        }
        FormatArray(*value.parray, element, text);
        return true;
    }
    switch (value.vt) {
    case VT_I2: Append(text, "%d", int{value.iVal}); break;
    case VT_I4: Append(text, "%d", static_cast<int>(value.lVal)); break;
    case VT_I1: Append(text, "%d", int{static_cast<signed char>(value.cVal)}); break;
    case VT_UI1: Append(text, "%u", unsigned{value.bVal}); break;
    case VT_UI2: Append(text, "%u", unsigned{value.uiVal}); break;
    case VT_UI4: Append(text, "%u", static_cast<unsigned>(value.ulVal)); break;
    case VT_R4: Append(text, "%G", double{value.fltVal}); break;
    case VT_R8: Append(text, "%G", value.dblVal); break;
    case VT_BOOL: Append(text, "%d", value.boolVal != 0 ? 1 : 0); break;
    case VT_BSTR: text = Utf8FromBstr(value.bstrVal); break;
    default: text = UnknownText();
    }
    return true;
}

std::string PropertyValueText(const VARIANT& value) {
    constexpr std::size_t kMaxCharacters = 259;
    std::string text;
    const VARTYPE element = value.vt & ~VT_ARRAY;
    if (value.vt == VT_BOOL) {
        text = value.boolVal ? "-1" : "0";
    } else if (value.vt == VT_DATE) {
        // Days since 1899-12-30, in UTC; the time of day is shown in local time.
        const double seconds = (value.date - 25569.0) * 86400.0;
        std::tm local{};
        const auto when = static_cast<std::time_t>(std::floor(seconds + 0.5));
        if (!std::isfinite(seconds) || std::fabs(seconds) > 1e15 || !localtime_r(&when, &local)) return "???";
        Append(text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    } else if ((value.vt & VT_ARRAY) ? IsNumericArrayElement(element)
                                     : IsNumericArrayElement(value.vt) || value.vt == VT_BSTR) {
        FormatVariant(value, text);
    } else {
        text = "<Bad VARTYPE>";
    }
    // Cut at a character's start, never inside one.
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (characters++ == kMaxCharacters) {
            text.resize(i);
            break;
        }
    }
    return text;
}
