// The configuration file OPC.cfg beside the executable: section "CONFIG" with the project to
// reopen at start ("PATH"), the first item address ("START_ADDR") and the server host of
// servers naming no computer ("SERVER_HOST"); other sections belong to the parts that read
// them. Any thread may call these; a missing or unreadable file gives the defaults, and
// writes are not verified.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// Full path of the running executable.
std::string GetProgramPath();

// The executable's folder, ending in '/'.
std::string GetProgramFolder();

// Makes GetProgramFolder return `folder` (a '/' is added when missing); empty restores the
// real folder. For tests.
void SetProgramFolderForTesting(const std::string& folder);

// Keeps OPC.cfg in `folder` instead of the executable's folder (an installed program's own
// folder is read-only); empty restores the default.
void SetConfigFolder(const std::string& folder);
// Full path of OPC.cfg.
std::string GetConfigFilePath();

// "CONFIG"/"PATH"; empty when absent.
std::string ReadProjectPath();
void WriteProjectPath(const std::string& path);

// "CONFIG"/"START_ADDR" read like C atoi ("12abc" -> 12, "abc" -> 0); absent -> 1;
// negative -> 0.
unsigned ReadStartAddress();

// Writes "CONFIG"/"START_ADDR" as decimal text (negative -> 0). Changing the start address
// of the program (renumbering, saving) is the application's WriteStartAddress.
void StoreStartAddress(int value);

// "CONFIG"/"SERVER_HOST": the server host ("host" or "host:port") that serves every server
// connection naming no computer, so that servers run outside this process; empty (the default)
// creates them in this process.
std::string ReadServerHost();

// "CONFIG"/"HOST_PING_PERIOD" and "HOST_PING_TIMEOUT", in milliseconds: how often a client pings
// a server host, and after how long without a byte from the host it gives the host up. Absent,
// not a number or out of range (period 50 to 60000, timeout 200 to 600000, and the timeout at
// least twice the period): 1000 and 3000.
struct HostPingSettings {
    unsigned periodMs = 1000;
    unsigned timeoutMs = 3000;
};
HostPingSettings ReadHostPing();

// How this client reaches server hosts over TCP. "CONFIG"/"HOST_TLS_CERT", "HOST_TLS_KEY" and
// "HOST_TLS_CA": PEM files of the client's certificate, its key and the CA that signed the
// hosts' certificates (relative paths are taken from OPC.cfg's folder); "HOST_PLAIN_TCP" = 1
// lets the client use plain TCP to hosts when no certificate is named.
struct HostTlsSettings {
    std::string certificate;
    std::string privateKey;
    std::string trustedCa;
    bool plainTcp = false;
};
HostTlsSettings ReadHostTls();

// `key` of `section`; nothing when absent or the file cannot be read.
std::optional<std::string> ReadConfigValue(const std::string& section, const std::string& key);
// Sets the keys of `section` in one rewrite of the file; false when it cannot be written (or a
// value holds a line break), and the file is then unchanged.
bool WriteConfigValues(const std::string& section, const std::vector<std::pair<std::string, std::string>>& values);

// The value of text converted the way C atoi does it, clamped to the int range.
int AtoiValue(const std::string& text);
