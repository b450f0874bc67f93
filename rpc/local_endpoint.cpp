#include "rpc/local_endpoint.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace rpc {
namespace {

// Makes `path` a folder of this user's that nobody else may enter, or says why it is not one.
bool PrivateFolder(const std::string& path, std::string* error) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(status.st_mode) || status.st_uid != ::geteuid() || (status.st_mode & 077) != 0) {
        *error = path + " is not a folder of this user's alone (mode 0700)";
        return false;
    }
    return true;
}

}  // namespace

bool IsLocalComputer(std::string_view name) {
    constexpr std::string_view kLocal = "local";
    if (name.size() != kLocal.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if ((name[i] | 0x20) != kLocal[i]) return false;
    return true;
}

std::string LocalSocketPath(std::string* error) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string folder;
    if (runtime && runtime[0] == '/') {
        folder = std::string(runtime) + "/opcstation";
    } else {
        folder = "/tmp/opcstation-" + std::to_string(::geteuid());
    }
    if (!PrivateFolder(folder, error)) return {};
    return folder + "/opcserverd.sock";
}

bool PeerIsSameUser(int fd) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) return false;
    return credentials.uid == ::geteuid();
}

}  // namespace rpc
