// A small INI file read and written the way the Windows private-profile functions treat it:
// "[section]" headers, "key=value" lines, section and key names compared without regard to
// case, values trimmed of surrounding blanks and one pair of enclosing quotes. Writing keeps
// every other line (comments, other sections and keys) as it was and replaces the file
// atomically, so a crash never leaves half a file.
#pragma once

#include <optional>
#include <string>

namespace ini {

// The value of `key` in `section` of `text`, or nothing when absent.
std::optional<std::string> Find(const std::string& text, const std::string& section, const std::string& key);

// `text` with `key` in `section` set to `value`; the section and key are appended when absent.
std::string Set(const std::string& text, const std::string& section, const std::string& key, const std::string& value);

// Reads `path`: nothing when the file cannot be read or is implausibly large, "" when it is
// missing (a missing file behaves as an empty one).
std::optional<std::string> ReadFile(const std::string& path);

// The value of section/key in the file at `path`, nothing when absent or unreadable.
std::optional<std::string> ReadValue(const std::string& path, const std::string& section, const std::string& key);

// Sets section/key in the file at `path`, creating the file when missing. Returns false (and
// leaves the file untouched) when it cannot be read or written, or when a name or the value
// holds a line break, which would smuggle extra lines into the file.
bool WriteValue(const std::string& path, const std::string& section, const std::string& key, const std::string& value);

}  // namespace ini
