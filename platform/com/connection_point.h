// Connection points: IConnectionPointContainer / IConnectionPoint, and ConnectionPoint, a
// thread-safe point that an object embeds once per outgoing interface.
#pragma once

#include "platform/com/enums.h"
#include "platform/com/unknown.h"

#include <mutex>
#include <span>
#include <vector>

struct IConnectionPoint;
struct IConnectionPointContainer;

struct CONNECTDATA {
    IUnknown* pUnk = nullptr;
    DWORD dwCookie = 0;
};

struct IEnumConnections : IEnumOf<CONNECTDATA, IEnumConnections> {
protected:
    ~IEnumConnections() = default;
};
struct IEnumConnectionPoints : IEnumOf<IConnectionPoint*, IEnumConnectionPoints> {
protected:
    ~IEnumConnectionPoints() = default;
};

struct IConnectionPoint : IUnknown {
    virtual HRESULT GetConnectionInterface(IID* pIID) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) = 0;
    // CONNECT_E_CANNOTCONNECT when the sink lacks the point's interface.
    virtual HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
    // CONNECT_E_NOCONNECTION for an unknown cookie.
    virtual HRESULT Unadvise(DWORD dwCookie) = 0;
    virtual HRESULT EnumConnections(IEnumConnections** ppEnum) = 0;

protected:
    ~IConnectionPoint() = default;
};

struct IConnectionPointContainer : IUnknown {
    virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) = 0;
    // CONNECT_E_NOCONNECTION when there is no point for riid.
    virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) = 0;

protected:
    ~IConnectionPointContainer() = default;
};

// {B196B286-BAB4-101A-B69C-00AA00341D07}
inline constexpr IID IID_IConnectionPoint{0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
// {B196B284-BAB4-101A-B69C-00AA00341D07}
inline constexpr IID IID_IConnectionPointContainer{
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
// {B196B285-BAB4-101A-B69C-00AA00341D07}
inline constexpr IID IID_IEnumConnectionPoints{
    0xB196B285, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
// {B196B287-BAB4-101A-B69C-00AA00341D07}
inline constexpr IID IID_IEnumConnections{0xB196B287, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

COM_INTERFACE_IID(IConnectionPoint, IID_IConnectionPoint);
COM_INTERFACE_IID(IConnectionPointContainer, IID_IConnectionPointContainer);
COM_INTERFACE_IID(IEnumConnectionPoints, IID_IEnumConnectionPoints);
COM_INTERFACE_IID(IEnumConnections, IID_IEnumConnections);

struct ConnectionItem {
    ComPtr<IUnknown> sink;
    DWORD cookie = 0;
};
struct ConnectDataEnumPolicy {
    using Stored = ConnectionItem;
    static HRESULT Copy(const ConnectionItem& item, CONNECTDATA* out) {
        *out = CONNECTDATA{item.sink.copy(), item.cookie};
        return S_OK;
    }
    static void Free(CONNECTDATA& element) {
        if (element.pUnk) element.pUnk->Release();
        element.pUnk = nullptr;
    }
};
using ConnectionEnum = VectorEnum<IEnumConnections, CONNECTDATA, ConnectDataEnumPolicy>;
using ConnectionPointEnum = VectorEnum<IEnumConnectionPoints, IConnectionPoint*, InterfaceEnumPolicy<IConnectionPoint>>;

// One outgoing interface of a container object. The point is a member of the container and
// shares its reference count, so it lives exactly as long as the container. Sinks are kept as
// the point's interface (QueryInterfaced at Advise) and called by the owner from a snapshot,
// outside the point's lock, so a sink may Advise or Unadvise from within its callback.
class ConnectionPoint final : public IConnectionPoint {
public:
    // maxSinks 0 is unlimited; beyond the limit Advise gives CONNECT_E_ADVISELIMIT.
    ConnectionPoint(IConnectionPointContainer* container, REFIID iid, ULONG maxSinks = 0);
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;
    ~ConnectionPoint();

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetConnectionInterface(IID* pIID) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    HRESULT Unadvise(DWORD dwCookie) override;
    HRESULT EnumConnections(IEnumConnections** ppEnum) override;

    const IID& Iid() const { return iid_; }
    bool HasSinks() const;
    // The current sinks, each with its own reference (the pointers are of the point's
    // interface, as IUnknown*).
    std::vector<ComPtr<IUnknown>> Snapshot() const;
    template <class Itf>
    std::vector<ComPtr<Itf>> SinksAs() const {
        std::vector<ComPtr<Itf>> out;
        for (const ComPtr<IUnknown>& sink : Snapshot()) out.emplace_back(reinterpret_cast<Itf*>(sink.get()));
        return out;
    }
    // Drops every sink (for example when the owner shuts down).
    void UnadviseAll();

private:
    struct Connection {
        DWORD cookie;
        IUnknown* sink;  // owned reference, of the point's interface
    };

    IConnectionPointContainer* const container_;
    const IID iid_;
    const ULONG maxSinks_;
    mutable std::mutex mutex_;
    std::vector<Connection> connections_;
    DWORD nextCookie_ = 1;
};

// Helpers for a container whose points are fixed members.
HRESULT FindConnectionPointIn(std::span<ConnectionPoint* const> points, REFIID riid, IConnectionPoint** ppCP);
HRESULT EnumConnectionPointsOf(std::span<ConnectionPoint* const> points, IEnumConnectionPoints** ppEnum);
