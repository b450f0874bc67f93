#include "rpc/socket_options.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace rpc {

void ConfigureSocket(int fd, std::chrono::milliseconds unacknowledgedTimeout) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const int sendBuffer = 64 * 1024;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    const auto userTimeout = static_cast<unsigned>(unacknowledgedTimeout.count());
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout);
}

}  // namespace rpc
