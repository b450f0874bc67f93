#include "platform/com/connection_point.h"

#include "platform/com/hresult.h"

#include <algorithm>

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, REFIID iid, ULONG maxSinks)
    : container_(container), iid_(iid), maxSinks_(maxSinks) {}

ConnectionPoint::~ConnectionPoint() { UnadviseAll(); }

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IConnectionPoint) return E_NOINTERFACE;
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

ULONG ConnectionPoint::AddRef() { return container_->AddRef(); }

ULONG ConnectionPoint::Release() { return container_->Release(); }

HRESULT ConnectionPoint::GetConnectionInterface(IID* pIID) {
    if (!pIID) return E_POINTER;
    *pIID = iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    if (!ppCPC) return E_POINTER;
    container_->AddRef();
    *ppCPC = container_;
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    if (!pdwCookie) return E_POINTER;
    *pdwCookie = 0;
    if (!pUnkSink) return E_POINTER;
    // Queried outside the lock: the sink's QueryInterface may call back into its source.
    void* sink = nullptr;
    if (FAILED(pUnkSink->QueryInterface(iid_, &sink)) || !sink) return CONNECT_E_CANNOTCONNECT;
    auto* typed = static_cast<IUnknown*>(sink);  // the interface pointer, seen as its IUnknown part
    {
        std::lock_guard lock(mutex_);
        if (maxSinks_ == 0 || connections_.size() < maxSinks_) {
            const DWORD cookie = nextCookie_;
            nextCookie_ = nextCookie_ == 0xFFFFFFFFu ? 1 : nextCookie_ + 1;
            connections_.push_back(Connection{cookie, typed});
            *pdwCookie = cookie;
            return S_OK;
        }
    }
    typed->Release();
    return CONNECT_E_ADVISELIMIT;
}

HRESULT ConnectionPoint::Unadvise(DWORD dwCookie) {
    IUnknown* sink = nullptr;
    {
        std::lock_guard lock(mutex_);
        const auto found = std::find_if(connections_.begin(), connections_.end(),
                                        [dwCookie](const Connection& c) { return c.cookie == dwCookie; });
        if (dwCookie == 0 || found == connections_.end()) return CONNECT_E_NOCONNECTION;
        sink = found->sink;
        connections_.erase(found);
    }
    sink->Release();  // outside the lock: the sink may be destroyed now
    return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
    if (!ppEnum) return E_POINTER;
    std::vector<ConnectionItem> items;
    {
        std::lock_guard lock(mutex_);
        for (const Connection& c : connections_) items.push_back(ConnectionItem{ComPtr<IUnknown>(c.sink), c.cookie});
    }
    *ppEnum = MakeComObject<ConnectionEnum>(std::move(items)).detach();
    return S_OK;
}

bool ConnectionPoint::HasSinks() const {
    std::lock_guard lock(mutex_);
    return !connections_.empty();
}

std::vector<ComPtr<IUnknown>> ConnectionPoint::Snapshot() const {
    std::lock_guard lock(mutex_);
    std::vector<ComPtr<IUnknown>> sinks;
    sinks.reserve(connections_.size());
    for (const Connection& c : connections_) sinks.emplace_back(c.sink);
    return sinks;
}

void ConnectionPoint::UnadviseAll() {
    std::vector<Connection> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(connections_);
    }
    for (const Connection& c : dropped) c.sink->Release();
}

HRESULT FindConnectionPointIn(std::span<ConnectionPoint* const> points, REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    for (ConnectionPoint* point : points) {
        if (point && point->Iid() == riid) {
            point->AddRef();
            *ppCP = point;
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

HRESULT EnumConnectionPointsOf(std::span<ConnectionPoint* const> points, IEnumConnectionPoints** ppEnum) {
    if (!ppEnum) return E_POINTER;
    std::vector<ComPtr<IConnectionPoint>> items;
    for (ConnectionPoint* point : points)
        if (point) items.emplace_back(point);
    *ppEnum = MakeComObject<ConnectionPointEnum>(std::move(items)).detach();
    return S_OK;
}
