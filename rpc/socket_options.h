// Socket settings of every connection between a client and a server host.
#pragma once

#include <chrono>

namespace rpc {

// No delay for small calls; a 64 KiB send buffer, which also bounds the window of streamed
// callbacks; data unacknowledged for longer than `unacknowledgedTimeout` breaks the connection,
// so a peer that vanishes without closing is noticed.
void ConfigureSocket(int fd, std::chrono::milliseconds unacknowledgedTimeout);

}  // namespace rpc
