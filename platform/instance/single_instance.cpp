#include "platform/instance/single_instance.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

SingleInstanceLock::SingleInstanceLock(std::string name) : name_(std::move(name)) {}

SingleInstanceLock::~SingleInstanceLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool SingleInstanceLock::Acquire() {
    if (fd_ >= 0) return true;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // Abstract namespace: a leading zero byte, then the name (cut to what fits).
    const size_t length = std::min(name_.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, name_.data(), length);
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);

    // Close-on-exec, so that a program started by us does not inherit the lock.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}
