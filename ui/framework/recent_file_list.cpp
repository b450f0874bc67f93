#include "ui/framework/recent_file_list.h"

#include "platform/settings/profile.h"
#include "platform/strings/utf8.h"

#include <algorithm>

namespace {

constexpr std::size_t kMaxMenuPath = 48;

std::string KeyOf(int index) { return "File" + std::to_string(index + 1); }

}  // namespace

RecentFileList::RecentFileList(int size) : size_(std::max(1, size)) {}

void RecentFileList::Load() {
    entries_.clear();
    const Profile profile;
    for (int i = 0; i < size_; ++i) {
        std::string path = profile.GetString(kSection, KeyOf(i), {});
        if (!path.empty() && std::ranges::find(entries_, path) == entries_.end()) entries_.push_back(std::move(path));
    }
}

void RecentFileList::Add(const std::string& path) {
    if (path.empty()) return;
    std::erase(entries_, path);
    entries_.insert(entries_.begin(), path);
    if (entries_.size() > static_cast<std::size_t>(size_)) entries_.resize(size_);
    Save();
}

void RecentFileList::Remove(int index) {
    if (index < 0 || index >= static_cast<int>(entries_.size())) return;
    entries_.erase(entries_.begin() + index);
    Save();
}

void RecentFileList::Save() const {
    Profile profile;
    for (int i = 0; i < size_; ++i) {
        const bool present = i < static_cast<int>(entries_.size());
        profile.WriteString(kSection, KeyOf(i), present ? entries_[i] : std::string());
    }
    profile.Flush();
}

std::string RecentFileList::MenuText(int index, const std::string& path) {
    std::string shown = path;
    if (shown.size() > kMaxMenuPath) {
        // Keep the file name whole and as much of the folder's start as fits.
        const auto slash = shown.find_last_of('/');
        const std::string name = slash == std::string::npos ? shown : shown.substr(slash);
        const std::size_t head = name.size() + 4 < kMaxMenuPath ? kMaxMenuPath - name.size() - 4 : 0;
        shown = std::string(Utf8Prefix(shown, head)) + "..." + name;
    }
    std::string escaped;  // '&' would mark a mnemonic
    for (char c : shown) {
        if (c == '&') escaped += '&';
        escaped += c;
    }
    return "&" + std::to_string(index + 1) + " " + escaped;
}
