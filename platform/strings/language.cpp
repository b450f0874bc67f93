#include "platform/strings/language.h"

#include <atomic>

namespace {
std::atomic<Language> g_language{Language::kChinese};
}  // namespace

void SetLanguage(Language language) { g_language.store(language); }

Language CurrentLanguage() { return g_language.load(); }

std::optional<Language> LanguageFromName(std::string_view name) {
    if (name == "en") return Language::kEnglish;
    if (name == "zh") return Language::kChinese;
    return std::nullopt;
}

const char* Tr(const char* chinese, const char* english) {
    return CurrentLanguage() == Language::kEnglish ? english : chinese;
}
