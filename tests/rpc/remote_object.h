// A server object created on another computer (a host name, "host:port" or "local") through
// the remote activator; empty when it cannot be made.
#pragma once

#include "platform/com/class_registry.h"
#include "platform/com/unknown.h"

#include <string>

template <class Itf>
ComPtr<Itf> CreateRemote(const CLSID& clsid, std::u16string computer, const IID& iid) {
    COSERVERINFO where{};
    where.pwszName = computer.data();
    MULTI_QI request{&iid, nullptr, S_OK};
    ComPtr<Itf> object;
    if (SUCCEEDED(CoCreateInstanceEx(clsid, nullptr, CLSCTX_REMOTE_SERVER, &where, 1, &request)))
        object.attach(static_cast<Itf*>(request.pItf));
    return object;
}
