#include "platform/autostart/autostart.h"

#include "platform/files/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kEntryName = "OrvaneOpcClient.desktop";
// An entry of ours is a few hundred bytes; anything beyond this is not read.
constexpr size_t kMaxEntrySize = size_t{64} * 1024;

// Desktop-entry string escapes: \s \n \t \r \\.
std::string UnescapeValue(std::string_view value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char c = value[++i];
        switch (c) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        default: out += c; break;
        }
    }
    return out;
}

// The first argument of an Exec command line: a quoted argument loses its quotes and the
// backslash before ", `, $ and \; "%%" is a literal '%'.
std::string FirstArgument(const std::string& exec) {
    std::string out;
    size_t i = 0;
    if (!exec.empty() && exec[0] == '"') {
        for (i = 1; i < exec.size() && exec[i] != '"'; ++i) {
            if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
            out += exec[i];
        }
    } else {
        for (; i < exec.size() && exec[i] != ' '; ++i) out += exec[i];
    }
    std::string result;
    for (size_t k = 0; k < out.size(); ++k) {
        result += out[k];
        if (out[k] == '%' && k + 1 < out.size() && out[k + 1] == '%') ++k;
    }
    return result;
}

std::string QuoteArgument(const std::string& path) {
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    // The string-level escape: every backslash is doubled once more in the file.
    std::string escaped;
    for (char c : quoted) {
        if (c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// Opens the folder to tell "cannot open" from the entry's own errors, as the registry key's
// open does.
int CheckFolder() {
    DIR* dir = ::opendir(AutostartFolder().c_str());
    if (!dir) return errno;
    ::closedir(dir);
    return 0;
}

}  // namespace

std::string AutostartFolder() {
    std::string first;
    if (const char* dirs = std::getenv("XDG_CONFIG_DIRS")) {
        const std::string_view all(dirs);
        first = std::string(all.substr(0, all.find(':')));
    }
    if (first.empty()) first = "/etc/xdg";
    while (first.size() > 1 && first.back() == '/') first.pop_back();
    return first + "/autostart";
}

std::string AutostartEntryPath() { return AutostartFolder() + "/" + kEntryName; }

std::string DesktopEntryProgram(const std::string& text) {
    bool inMainGroup = false;
    bool hidden = false;
    std::string program;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty() && line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup) continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        std::string_view key = line.substr(0, eq);
        while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
        std::string_view value = line.substr(eq + 1);
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        if (key == "Exec") program = FirstArgument(UnescapeValue(value));
        if (key == "Hidden") hidden = value == "true";
    }
    return hidden ? std::string() : program;
}

std::string DesktopEntryText(const std::string& exePath) {
    std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=OPC Station\n"
        "Comment=OPC DA client and data forwarding\n";
    if (exePath.empty()) {
        text += "Exec=\nHidden=true\n";
    } else {
        text += "Exec=" + QuoteArgument(exePath) + "\n";
    }
    return text;
}

AutostartState AutostartRead(const std::string& exePath) {
    AutostartState state;
    if (const int error = CheckFolder()) {
        state.error = AutostartError::CannotOpen;
        state.code = error;
        return state;
    }
    const int fd = ::open(AutostartEntryPath().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) {
            state.error = AutostartError::CannotRead;
            state.code = errno;
        }
        return state;
    }
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            state.error = AutostartError::CannotRead;
            state.code = errno;
            break;
        }
        if (n == 0) break;
        text.append(chunk, static_cast<size_t>(n));
        if (text.size() >= kMaxEntrySize) break;
    }
    ::close(fd);
    if (state.error == AutostartError::None) state.on = !exePath.empty() && DesktopEntryProgram(text) == exePath;
    return state;
}

AutostartResult AutostartWrite(bool on, const std::string& exePath) {
    AutostartResult result;
    if (const int error = CheckFolder()) {
        result.error = AutostartError::CannotOpen;
        result.code = error;
        return result;
    }
    const std::string text = DesktopEntryText(on ? exePath : std::string());
    const std::string path = AutostartEntryPath();
    if (!WriteFileAtomically(path, text, nullptr, 0644)) {
        result.error = AutostartError::CannotWrite;
        result.code = errno ? errno : EIO;
        return result;
    }
    result.ok = true;
    return result;
}
