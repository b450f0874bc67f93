// The largest messages each side reads; a message announcing more is refused before it is
// read, and the connection with it.
#pragma once

#include <capnp/message.h>

namespace rpc {

// What a host reads from a client: an AddItems or a Write of 100,000 items is some 7 MiB.
inline capnp::ReaderOptions HostReaderOptions() {
    capnp::ReaderOptions options;
    options.traversalLimitInWords = (std::uint64_t{32} << 20) / sizeof(capnp::word);
    options.nestingLimit = 32;  // the schema nests some ten levels deep
    return options;
}

// What a client reads from its host: a flat browse of a million names is some 24 MiB.
inline capnp::ReaderOptions ClientReaderOptions() {
    capnp::ReaderOptions options;
    options.traversalLimitInWords = (std::uint64_t{128} << 20) / sizeof(capnp::word);
    options.nestingLimit = 32;
    return options;
}

}  // namespace rpc
