#include "platform/config/ini_file.h"

#include "platform/files/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ini {
namespace {

// A configuration file larger than this is not ours; it is treated as unreadable.
constexpr size_t kMaxFileSize = 1 << 20;

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Splits into lines without their '\n'; a final line without a break counts as well.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            lines.push_back(text);
            break;
        }
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    return lines;
}

// The section name of a "[name]" line, or nothing.
std::optional<std::string_view> SectionOf(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    const size_t close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyValue> KeyValueOf(std::string_view line) {
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    const std::string_view key = Trim(line.substr(0, eq));
    if (key.empty() || key.front() == ';') return std::nullopt;
    std::string_view value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return KeyValue{key, value};
}

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

}  // namespace

std::optional<std::string> Find(const std::string& text, const std::string& section, const std::string& key) {
    bool inSection = false;
    for (std::string_view line : Lines(text)) {
        if (const auto name = SectionOf(line)) {
            inSection = EqualNoCase(*name, section);
            continue;
        }
        if (!inSection) continue;
        if (const auto kv = KeyValueOf(line); kv && EqualNoCase(kv->key, key)) return std::string(kv->value);
    }
    return std::nullopt;
}

std::string Set(const std::string& text, const std::string& section, const std::string& key, const std::string& value) {
    std::vector<std::string> lines;
    for (std::string_view line : Lines(text)) lines.emplace_back(line);
    const std::string newLine = key + "=" + value;

    size_t header = lines.size();
    for (size_t i = 0; i < lines.size(); ++i)
        if (const auto name = SectionOf(lines[i]); name && EqualNoCase(*name, section)) {
            header = i;
            break;
        }
    if (header == lines.size()) {
        lines.push_back("[" + section + "]");
        lines.push_back(newLine);
    } else {
        size_t insertAt = header + 1;  // after the section's last non-blank line
        bool replaced = false;
        for (size_t i = header + 1; i < lines.size() && !SectionOf(lines[i]); ++i) {
            if (const auto kv = KeyValueOf(lines[i]); kv && EqualNoCase(kv->key, key)) {
                lines[i] = newLine;
                replaced = true;
                break;
            }
            if (!Trim(lines[i]).empty()) insertAt = i + 1;
        }
        if (!replaced) lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), newLine);
    }

    std::string result;
    for (const std::string& line : lines) {
        result += line;
        result += '\n';
    }
    return result;
}

std::optional<std::string> ReadFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? std::optional<std::string>(std::string()) : std::nullopt;
    std::string text;
    char chunk[4096];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || text.size() + static_cast<size_t>(n) > kMaxFileSize) {
            ok = false;
            break;
        }
        if (n == 0) break;
        text.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    if (!ok) return std::nullopt;
    return text;
}

std::optional<std::string> ReadValue(const std::string& path, const std::string& section, const std::string& key) {
    const auto text = ReadFile(path);
    if (!text) return std::nullopt;
    return Find(*text, section, key);
}

bool WriteValue(const std::string& path, const std::string& section, const std::string& key, const std::string& value) {
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
    const auto text = ReadFile(path);
    if (!text) return false;
    return WriteFileAtomically(path, Set(*text, section, key, value), nullptr, 0644);
}

}  // namespace ini
