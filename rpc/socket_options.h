// Socket settings of every connection between a client and a server host.
#pragma once

namespace rpc {

// No delay for small calls; a 64 KiB send buffer, which also bounds the window of streamed
// callbacks; unacknowledged data for longer than the ping timeout breaks the connection, so a
// peer that vanishes without closing is noticed.
void ConfigureSocket(int fd);

}  // namespace rpc
