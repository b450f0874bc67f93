// What the server conformance tests share: creating a simulation server the way a client
// does (CoCreateInstanceEx with the seven server interfaces in one call), reading string
// enumerators, and a shutdown sink that records what it is told.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "opc/da/opcda.h"
#include "platform/com/bstr.h"
#include "platform/com/class_registry.h"
#include "platform/com/connection_point.h"
#include "platform/com/enums.h"
#include "platform/com/memory.h"
#include "simserver/server_registry.h"

namespace simserver::test {

// The server object's interfaces as the client asks for them, in the client's order.
struct ServerConnection {
    HRESULT created = E_FAIL;
    HRESULT results[7] = {};
    ComPtr<IOPCServer> server;
    ComPtr<IOPCCommon> common;
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IOPCItemProperties> properties;
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    ComPtr<IOPCServerPublicGroups> publicGroups;
    ComPtr<IPersistFile> persist;
};

// When set, servers are created on this computer name (a server host) instead of in-process,
// so that the same tests run through the proxies.
inline std::u16string gServerComputer;

inline CLSID ClsidOf(const std::string& progId) {
    RegisterSimulationServers();
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(WideFromUtf8(progId).c_str(), &clsid), S_OK) << progId;
    return clsid;
}

inline ServerConnection Connect(const std::string& progId) {
    RegisterSimulationServers();
    const IID* iids[7] = {&IID_IOPCServer,
                          &IID_IOPCCommon,
                          &IID_IConnectionPointContainer,
                          &IID_IOPCItemProperties,
                          &IID_IOPCBrowseServerAddressSpace,
                          &IID_IOPCServerPublicGroups,
                          &IID_IPersistFile};
    MULTI_QI requests[7];
    for (int i = 0; i < 7; ++i) requests[i].pIID = iids[i];
    ServerConnection c;
    COSERVERINFO where;
    where.pwszName = gServerComputer.data();
    c.created = CoCreateInstanceEx(ClsidOf(progId), nullptr, 0x15, gServerComputer.empty() ? nullptr : &where, 7,
                                   requests);
    for (int i = 0; i < 7; ++i) c.results[i] = requests[i].hr;
    auto adopt = [&](auto& ptr, int i) {
        using Itf = std::remove_pointer_t<decltype(ptr.get())>;
        if (SUCCEEDED(requests[i].hr)) ptr.attach(static_cast<Itf*>(requests[i].pItf));
    };
    adopt(c.server, 0);
    adopt(c.common, 1);
    adopt(c.container, 2);
    adopt(c.properties, 3);
    adopt(c.browse, 4);
    adopt(c.publicGroups, 5);
    adopt(c.persist, 6);
    return c;
}

// Every string of an enumerator, read one at a time as the client does.
inline std::vector<std::string> ReadAll(IEnumString* e) {
    std::vector<std::string> out;
    if (!e) return out;
    LPOLESTR s = nullptr;
    ULONG fetched = 0;
    while (e->Next(1, &s, &fetched) == S_OK) {
        out.push_back(Utf8FromWide(s));
        CoTaskMemFree(s);
    }
    return out;
}

// Takes a task-memory string, frees it and returns it as UTF-8 ("<null>" for null).
inline std::string TakeString(LPWSTR s) {
    if (!s) return "<null>";
    std::string out = Utf8FromWide(s);
    CoTaskMemFree(s);
    return out;
}

class ShutdownSink final : public ComObject<IOPCShutdown> {
public:
    HRESULT ShutdownRequest(LPCWSTR szReason) override {
        std::lock_guard lock(mutex_);
        reasons_.push_back(szReason ? Utf8FromWide(szReason) : "<null>");
        return S_OK;
    }
    std::vector<std::string> Reasons() const {
        std::lock_guard lock(mutex_);
        return reasons_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> reasons_;
};

}  // namespace simserver::test
