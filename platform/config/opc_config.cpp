#include "platform/config/opc_config.h"

#include "platform/config/ini_file.h"
#include "platform/files/atomic_file.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <optional>

#include <unistd.h>

namespace {

constexpr const char* kSection = "CONFIG";
constexpr const char* kPathKey = "PATH";
constexpr const char* kStartKey = "START_ADDR";
constexpr const char* kServerHostKey = "SERVER_HOST";
constexpr const char* kHostPingPeriodKey = "HOST_PING_PERIOD";
constexpr const char* kHostPingTimeoutKey = "HOST_PING_TIMEOUT";
constexpr const char* kHostTlsCertKey = "HOST_TLS_CERT";
constexpr const char* kHostTlsKeyKey = "HOST_TLS_KEY";
constexpr const char* kHostTlsCaKey = "HOST_TLS_CA";
constexpr const char* kHostPlainTcpKey = "HOST_PLAIN_TCP";
constexpr unsigned kDefaultStartAddress = 1;

// Guards the testing folder; also serialises this process's read-modify-write cycles on the
// file so that two writers do not lose each other's key.
std::mutex g_mutex;
std::string g_folderForTesting;
std::string g_configFolder;

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

void WriteConfigValue(const char* key, const std::string& value) {
    const std::string path = GetConfigFilePath();
    std::lock_guard lock(g_mutex);
    ini::WriteValue(path, kSection, key, value);
}

}  // namespace

std::string GetProgramPath() {
    std::string buffer(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return {};
    buffer.resize(static_cast<size_t>(n));
    return buffer;
}

std::string GetProgramFolder() {
    {
        std::lock_guard lock(g_mutex);
        if (!g_folderForTesting.empty()) return g_folderForTesting;
    }
    const std::string path = GetProgramPath();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

void SetProgramFolderForTesting(const std::string& folder) {
    std::lock_guard lock(g_mutex);
    g_folderForTesting = WithSlash(folder);
}

void SetConfigFolder(const std::string& folder) {
    std::lock_guard lock(g_mutex);
    g_configFolder = WithSlash(folder);
}

std::string GetConfigFilePath() {
    {
        std::lock_guard lock(g_mutex);
        if (!g_configFolder.empty()) return g_configFolder + "OPC.cfg";
    }
    return GetProgramFolder() + "OPC.cfg";
}

std::string ReadProjectPath() {
    return ini::ReadValue(GetConfigFilePath(), kSection, kPathKey).value_or(std::string());
}

void WriteProjectPath(const std::string& path) { WriteConfigValue(kPathKey, path); }

std::string ReadServerHost() {
    return ini::ReadValue(GetConfigFilePath(), kSection, kServerHostKey).value_or(std::string());
}

HostPingSettings ReadHostPing() {
    const std::string file = GetConfigFilePath();
    auto number = [&file](const char* key, unsigned low, unsigned high) -> std::optional<unsigned> {
        const auto text = ini::ReadValue(file, kSection, key);
        if (!text) return std::nullopt;
        unsigned value = 0;
        const char* end = text->data() + text->size();
        const auto [last, error] = std::from_chars(text->data(), end, value);
        if (error != std::errc() || last != end || value < low || value > high) return std::nullopt;
        return value;
    };
    const HostPingSettings defaults;
    const auto period = number(kHostPingPeriodKey, 50, 60000);
    const auto timeout = number(kHostPingTimeoutKey, 200, 600000);
    HostPingSettings settings{period.value_or(defaults.periodMs), timeout.value_or(defaults.timeoutMs)};
    if (settings.timeoutMs < 2 * settings.periodMs) return defaults;
    return settings;
}

HostTlsSettings ReadHostTls() {
    const std::string file = GetConfigFilePath();
    const std::string folder = file.substr(0, file.rfind('/') + 1);
    auto path = [&](const char* key) {
        std::string value = ini::ReadValue(file, kSection, key).value_or(std::string());
        if (!value.empty() && value.front() != '/') value = folder + value;
        return value;
    };
    HostTlsSettings settings;
    settings.certificate = path(kHostTlsCertKey);
    settings.privateKey = path(kHostTlsKeyKey);
    settings.trustedCa = path(kHostTlsCaKey);
    settings.plainTcp = ini::ReadValue(file, kSection, kHostPlainTcpKey).value_or(std::string()) == "1";
    return settings;
}

std::optional<std::string> ReadConfigValue(const std::string& section, const std::string& key) {
    return ini::ReadValue(GetConfigFilePath(), section, key);
}

bool WriteConfigValues(const std::string& section, const std::vector<std::pair<std::string, std::string>>& values) {
    const std::string path = GetConfigFilePath();
    std::lock_guard lock(g_mutex);
    std::optional<std::string> text = ini::ReadFile(path);
    if (!text) return false;
    for (const auto& [key, value] : values) {
        if (value.find_first_of("\r\n") != std::string::npos) return false;
        text = ini::Set(*text, section, key, value);
    }
    return WriteFileAtomically(path, *text, nullptr, 0644);
}

int AtoiValue(const std::string& text) {
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

unsigned ReadStartAddress() {
    const auto text = ini::ReadValue(GetConfigFilePath(), kSection, kStartKey);
    if (!text) return kDefaultStartAddress;
    return static_cast<unsigned>(std::max(AtoiValue(*text), 0));
}

void StoreStartAddress(int value) { WriteConfigValue(kStartKey, std::to_string(std::max(value, 0))); }
