// The language of the user-visible texts: Chinese, as the program has always spoken, unless
// English is chosen explicitly (--language en, or the profile key "Settings"/"Language").
// The machine's locale plays no part. Set it once, before any window or event exists.
#pragma once

#include <optional>
#include <string_view>

enum class Language { kChinese, kEnglish };

void SetLanguage(Language language);
Language CurrentLanguage();

// "en" (English) or "zh" (Chinese); nothing for any other name.
std::optional<Language> LanguageFromName(std::string_view name);

// A text written in the code: `chinese`, or `english` when English is chosen.
const char* Tr(const char* chinese, const char* english);
