// Replacing a file so that it is never lost: the new contents go to a temporary file in the
// same folder, are flushed to the disk, and only then take the old file's name. A failure at
// any step leaves the old file as it was and removes the temporary file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Writes `bytes` to `path`. On failure returns false, leaves errno set and puts the system's
// reason in `error`. A symbolic link is followed: the file it points to is replaced, the link
// stays. `mode` gives the file's permission bits; 0 keeps those of the file replaced (a new
// file gets 0666 less the umask).
bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes, std::string* error = nullptr,
                         unsigned mode = 0);
bool WriteFileAtomically(const std::string& path, std::string_view text, std::string* error = nullptr,
                         unsigned mode = 0);
