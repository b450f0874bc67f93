// How a client watches its server host: it pings every `pingPeriod`, and gives the connection
// up when no byte at all has come for `timeout`. A long reply on a slow link keeps the
// connection as well as a ping's answer does.
#pragma once

#include <chrono>

namespace rpc {

struct Liveness {
    std::chrono::milliseconds pingPeriod{1000};
    std::chrono::milliseconds timeout{3000};
};

}  // namespace rpc
