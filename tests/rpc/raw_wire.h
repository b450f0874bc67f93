// Clients of the tests' and benchmarks' own against a server host, made with plain sockets and
// hand-built RPC messages: what a misbehaving peer sends.
#pragma once

#include "rpc/opc.capnp.h"

#include <capnp/message.h>
#include <capnp/rpc.capnp.h>
#include <capnp/serialize.h>
#include <kj/io.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

// A connection to the loopback port, made with plain sockets; -1 when refused.
inline int ConnectRaw(unsigned port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    ::close(fd);
    return -1;
}

// `count` pings pipelined on the host's first capability, written as one stream of RPC
// messages by a client that never reads what comes back.
inline std::vector<kj::byte> PipelinedPings(unsigned count) {
    kj::VectorOutputStream out;
    {
        capnp::MallocMessageBuilder message;
        message.initRoot<capnp::rpc::Message>().initBootstrap().setQuestionId(0);
        capnp::writeMessage(out, message);
    }
    for (unsigned i = 1; i <= count; ++i) {
        capnp::MallocMessageBuilder message;
        auto call = message.initRoot<capnp::rpc::Message>().initCall();
        call.setQuestionId(i);
        call.initTarget().initPromisedAnswer().setQuestionId(0);
        call.setInterfaceId(capnp::typeId<rpcwire::Host>());
        call.setMethodId(1);  // ping
        call.initParams().getContent().initAs<rpcwire::Host::PingParams>();
        capnp::writeMessage(out, message);
    }
    auto written = out.getArray();
    return std::vector<kj::byte>(written.begin(), written.end());
}

