#include "opc/client/write_text.h"

#include "platform/com/bstr.h"
#include "platform/com/safearray.h"
#include "platform/com/variant.h"

#include <clocale>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The "C" locale, so that a process locale with a decimal comma does not change what the
// operator's "1.5" means.
locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

// atol: glibc's long is 64 bits wide and saturates on overflow; callers keep the low bits
// they need.
long AtoL(std::string_view text) {
    const std::string s(text);
    return strtol_l(s.c_str(), nullptr, 10, CLocale());
}

double AtoF(std::string_view text) {
    const std::string s(text);
    return strtod_l(s.c_str(), nullptr, CLocale());
}

// A double too large for a float becomes an infinity of the same sign (a plain conversion
// would be undefined).
float NarrowToFloat(double value) {
    if (std::isfinite(value) && std::fabs(value) > FLT_MAX) return value > 0 ? HUGE_VALF : -HUGE_VALF;
    return static_cast<float>(value);
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Stores a token into one array element of `type`; other element types keep their value.
void StoreElement(void* element, VARTYPE type, std::string_view token) {
    switch (type) {
    case VT_I1:
    case VT_UI1: {
        const auto v = static_cast<std::uint8_t>(AtoL(token));
        std::memcpy(element, &v, sizeof v);
        break;
    }
    case VT_I2:
    case VT_UI2: {
        const auto v = static_cast<std::uint16_t>(AtoL(token));
        std::memcpy(element, &v, sizeof v);
        break;
    }
    case VT_I4:
    case VT_UI4: {
        const auto v = static_cast<std::uint32_t>(AtoL(token));
        std::memcpy(element, &v, sizeof v);
        break;
    }
    case VT_R4: {
        const float v = NarrowToFloat(AtoF(token));
        std::memcpy(element, &v, sizeof v);
        break;
    }
    case VT_R8: {
        const double v = AtoF(token);
        std::memcpy(element, &v, sizeof v);
        break;
    }
    default: break;
    }
}

}  // namespace

bool ScalarFromText(std::string_view text, VARTYPE type, VARIANT& out) {
    VARIANT v;
    switch (type) {
    case VT_I2: v.iVal = static_cast<SHORT>(static_cast<std::uint16_t>(AtoL(text))); break;
    case VT_UI2: v.uiVal = static_cast<USHORT>(AtoL(text)); break;
    case VT_I4: v.lVal = static_cast<LONG>(static_cast<std::uint32_t>(AtoL(text))); break;
    case VT_UI4: v.ulVal = static_cast<ULONG>(AtoL(text)); break;
    case VT_I1: v.cVal = static_cast<CHAR>(static_cast<std::uint8_t>(AtoL(text))); break;
    case VT_UI1: v.bVal = static_cast<BYTE>(AtoL(text)); break;
    case VT_R4: v.fltVal = NarrowToFloat(AtoF(text)); break;
    case VT_R8: v.dblVal = AtoF(text); break;
    case VT_BOOL: v.boolVal = (AtoL(text) & 0xFF) != 0 ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_BSTR: v.bstrVal = BstrFromUtf8(text); break;
    default: return false;
    }
    v.vt = type;
    out = v;
    return true;
}

bool ArrayFromText(std::string_view text, const VARIANT& current, VARIANT& out) {
    if (!(current.vt & VT_ARRAY) || (current.vt & VT_BYREF)) return false;
    SAFEARRAY* source = current.parray;
    if (!source || !source->pvData || (source->cDims != 1 && source->cDims != 2)) return false;

    SafeArrayPtr copy;
    if (FAILED(SafeArrayCopy(source, copy.put())) || !copy) return false;
    const SAFEARRAY& array = *copy.get();
    const auto elementType = static_cast<VARTYPE>(current.vt & VT_TYPEMASK);
    // One row for one dimension; otherwise rows of the second stored bound's length, as the
    // item list shows them.
    const std::size_t rowLength = array.cDims == 1 ? array.rgsabound[0].cElements : array.rgsabound[1].cElements;
    const std::size_t rows = array.cDims == 1 ? 1 : array.rgsabound[0].cElements;
    const std::size_t total = rows * rowLength;
    auto* data = static_cast<char*>(array.pvData);

    text = text.substr(0, std::min(text.size(), kArrayTextLimit));
    std::size_t at = 0;        // next character
    std::size_t position = 0;  // next element, in storage order
    std::size_t tokens = 0;
    std::string token;
    while (tokens < total && position < total) {
        while (at < text.size() && (text[at] == '[' || IsSpace(text[at]))) ++at;
        if (at == text.size()) break;  // used up before a token starts

        token.clear();
        bool endsRow = false;
        for (; at < text.size(); ++at) {
            const char c = text[at];
            if (c == ',' || c == ']') {
                endsRow = c == ']';
                ++at;
                break;
            }
            if (c != '[') token += c;
        }
        if (token.size() > kArrayTokenLimit) return false;
        if (!token.empty()) StoreElement(data + position * array.cbElements, elementType, token);
        ++tokens;
        position = endsRow ? (position / rowLength + 1) * rowLength : position + 1;
    }

    VARIANT v;
    v.vt = current.vt;
    v.parray = copy.release();
    out = v;
    return true;
}

bool WriteValueFromText(std::string_view text, const VARIANT& current, VARTYPE dataType, VARIANT& out) {
    const VARTYPE target = current.vt != VT_EMPTY ? current.vt : dataType;
    if (target & VT_ARRAY) return ArrayFromText(text, current, out);
    return ScalarFromText(text, target, out);
}
