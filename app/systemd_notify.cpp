#include "app/systemd_notify.h"

#include "platform/files/unique_fd.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

bool NotifySystemd(std::string_view state) {
    const char* path = std::getenv("NOTIFY_SOCKET");
    if (!path || !*path) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::strlen(path);
    if (length >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path, length);
    if (address.sun_path[0] == '@') address.sun_path[0] = '\0';  // an abstract socket
    const UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket) return false;
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
    return ::sendto(socket.get(), state.data(), state.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address),
                    size) == static_cast<ssize_t>(state.size());
}

std::chrono::milliseconds SystemdWatchdogInterval() {
    const char* usec = std::getenv("WATCHDOG_USEC");
    if (!usec) return std::chrono::milliseconds(0);
    if (const char* pid = std::getenv("WATCHDOG_PID"); pid && std::atoll(pid) != static_cast<long long>(::getpid()))
        return std::chrono::milliseconds(0);
    const long long microseconds = std::atoll(usec);
    return std::chrono::milliseconds(microseconds > 0 ? microseconds / 2000 : 0);
}
