#include "platform/com/guid.h"

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"
#include "platform/com/memory.h"

#include <cstdio>

std::string GuidToString(const GUID& guid) {
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
    if (!text || !clsid) return E_INVALIDARG;
    // Only the braced form of exactly 38 ASCII characters is accepted.
    char narrow[39] = {};
    std::size_t length = 0;
    for (; text[length] != 0; ++length) {
        if (length == 38 || text[length] > 0x7F) return CO_E_CLASSSTRING;
        narrow[length] = static_cast<char>(text[length]);
    }
    GUID parsed;
    if (length != 38 || !ParseGuid(std::string_view(narrow, length), parsed)) return CO_E_CLASSSTRING;
    *clsid = parsed;
    return S_OK;
}

HRESULT IIDFromString(LPCOLESTR text, IID* iid) { return CLSIDFromString(text, iid); }

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int capacity) {
    const std::string text = GuidToString(guid);
    const int needed = static_cast<int>(text.size()) + 1;
    if (!buffer || capacity < needed) return 0;
    for (std::size_t i = 0; i < text.size(); ++i) buffer[i] = static_cast<OLECHAR>(text[i]);
    buffer[text.size()] = 0;
    return needed;
}

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text) {
    if (!text) return E_INVALIDARG;
    *text = CoTaskWideFromUtf8(GuidToString(clsid));
    return *text ? S_OK : E_OUTOFMEMORY;
}
