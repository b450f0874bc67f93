#include "simserver/server_errors.h"

#include <algorithm>

#include "opc/da/error_text.h"
#include "platform/com/bstr.h"
#include "platform/com/hresult.h"

namespace simserver {

namespace {

struct CommonText {
    HRESULT code;
    const char* text;
};

// Common COM results a client meets from this server, with the system's usual wording.
constexpr CommonText kCommonTexts[] = {
    {S_OK, "The operation completed successfully."},
    {S_FALSE, "The operation completed, but not every part of it applied."},
    {E_FAIL, "Unspecified error"},
    {E_INVALIDARG, "The parameter is incorrect."},
    {E_POINTER, "Invalid pointer"},
    {E_NOINTERFACE, "No such interface supported"},
    {E_NOTIMPL, "Not implemented"},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {E_UNEXPECTED, "Catastrophic failure"},
    {E_ACCESSDENIED, "General access denied error"},
    {RPC_S_SERVER_UNAVAILABLE_HR, "The RPC server is unavailable."},
    {REGDB_E_CLASSNOTREG, "Class not registered"},
    {CONNECT_E_NOCONNECTION, "The connection does not exist."},
    {CONNECT_E_CANNOTCONNECT, "The sink does not support the interface of the connection point."},
    {DISP_E_TYPEMISMATCH, "Type mismatch."},
    {DISP_E_OVERFLOW, "Out of present range."},
    {STG_E_FILENOTFOUND, "The file could not be found."},
};

}  // namespace

std::vector<LCID> SupportedLocales() {
    return {kLocaleEnglishUS, kLocaleSystemDefault, kLocaleUserDefault, kLocaleNeutral};
}

bool IsSupportedLocale(LCID lcid) {
    const auto all = SupportedLocales();
    return std::find(all.begin(), all.end(), lcid) != all.end();
}

std::optional<std::u16string> ServerErrorText(HRESULT code) {
    if (const char* text = OpcErrorText(code)) return WideFromUtf8(text);
    for (const auto& entry : kCommonTexts)
        if (entry.code == code) return WideFromUtf8(entry.text);
    return std::nullopt;
}

}  // namespace simserver
