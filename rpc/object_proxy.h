// The client's side of an object a server host lends: a COM object answering the interfaces the
// host named for it, each method a call on the object's capability. [out] memory is the
// caller's, as from an object in this process: task-memory arrays and strings, VARIANTs to
// clear, objects with a reference.
#pragma once

#include "platform/com/unknown.h"
#include "rpc/channel.h"
#include "rpc/opc.capnp.h"

#include <memory>

namespace rpc {

// The proxy for a lent object, or null when nothing was lent. On the channel's thread only (it
// reads the capability from the message).
ComPtr<IUnknown> MakeProxy(const std::shared_ptr<Channel>& channel, rpcwire::Lent::Reader lent);

}  // namespace rpc
