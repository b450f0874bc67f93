// The texts and locales of the server's GetErrorString (IOPCServer and IOPCCommon).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/com/types.h"

namespace simserver {

inline constexpr LCID kLocaleEnglishUS = 0x0409;
inline constexpr LCID kLocaleSystemDefault = 0x0800;
inline constexpr LCID kLocaleUserDefault = 0x0400;
inline constexpr LCID kLocaleNeutral = 0x0000;

// The locales QueryAvailableLocaleIDs lists; all of them give the English texts.
std::vector<LCID> SupportedLocales();
bool IsSupportedLocale(LCID lcid);

// The description of an OPC or a common COM result code; nullopt when the server does not
// know the code.
std::optional<std::u16string> ServerErrorText(HRESULT code);

}  // namespace simserver
