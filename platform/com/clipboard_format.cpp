#include "platform/com/clipboard_format.h"

#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

constexpr UINT kFirstFormat = 0xC000;
constexpr UINT kLastFormat = 0xFFFF;

struct Formats {
    std::mutex mutex;
    std::vector<std::string> names;  // index = format - kFirstFormat
    std::unordered_map<std::string, UINT> byFoldedName;
};

Formats& Table() {
    static Formats formats;
    return formats;
}

std::string Fold(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

UINT RegisterClipboardFormat(std::string_view name) {
    if (name.empty()) return 0;
    Formats& formats = Table();
    std::string folded = Fold(name);
    std::lock_guard lock(formats.mutex);
    if (const auto found = formats.byFoldedName.find(folded); found != formats.byFoldedName.end()) return found->second;
    const UINT format = kFirstFormat + static_cast<UINT>(formats.names.size());
    if (format > kLastFormat) return 0;
    formats.names.emplace_back(name);
    formats.byFoldedName.emplace(std::move(folded), format);
    return format;
}

UINT FindClipboardFormat(std::string_view name) {
    Formats& formats = Table();
    const std::string folded = Fold(name);
    std::lock_guard lock(formats.mutex);
    const auto found = formats.byFoldedName.find(folded);
    return found == formats.byFoldedName.end() ? 0 : found->second;
}

std::string GetClipboardFormatName(UINT format) {
    Formats& formats = Table();
    std::lock_guard lock(formats.mutex);
    if (format < kFirstFormat || format - kFirstFormat >= formats.names.size()) return {};
    return formats.names[format - kFirstFormat];
}
