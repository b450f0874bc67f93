// The server object as a client meets it: registration, object creation with several
// interfaces at once, IOPCServer status and error strings, IOPCCommon, and the IOPCShutdown
// connection point with shutdown requests sent on demand.
#include <algorithm>
#include <thread>

#include "platform/com/filetime.h"
#include "server_test_support.h"

namespace simserver::test {
namespace {

// Index of each interface in ServerConnection::results.
enum Request { kServer, kCommon, kContainer, kProperties, kBrowse, kPublicGroups, kPersist };

struct CreationCase {
    const char* progId;
    HRESULT created;
    Request missing;  // the one interface that is refused, when created is CO_S_NOTALLINTERFACES
};

TEST(ServerCreation, EachProgIdAnswersItsInterfaces) {
    const CreationCase cases[] = {
        {kDefaultProgId, S_OK, kServer},
        {kFlatProgId, S_OK, kServer},
        {kDa10ProgId, S_OK, kServer},
        {kNoBrowseProgId, CO_S_NOTALLINTERFACES, kBrowse},
        {kNoServerProgId, CO_S_NOTALLINTERFACES, kServer},
    };
    for (const auto& c : cases) {
        ServerConnection conn = Connect(c.progId);
        EXPECT_EQ(conn.created, c.created) << c.progId;
        for (int i = 0; i < 7; ++i) {
            const bool refused = c.created != S_OK && i == c.missing;
            EXPECT_EQ(conn.results[i], refused ? E_NOINTERFACE : S_OK) << c.progId << " request " << i;
        }
    }
}

TEST(ServerCreation, DefaultProgIdIsRegisteredInBothCategoriesAndTheOpcKey) {
    RegisterSimulationServers();
    RegisterSimulationServers();  // idempotent
    ComPtr<ICatInformation> categories;
    ASSERT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_ALL, IID_ICatInformation,
                               categories.putVoid()),
              S_OK);
    auto classesOf = [&](const CATID& catid) {
        ComPtr<IEnumGUID> e;
        CATID wanted[] = {catid};
        EXPECT_EQ(categories->EnumClassesOfCategories(1, wanted, static_cast<ULONG>(-1), nullptr, e.put()), S_OK);
        std::vector<GUID> out;
        GUID g;
        ULONG n = 0;
        while (e && e->Next(1, &g, &n) == S_OK) out.push_back(g);
        return out;
    };
    const auto da10 = classesOf(CATID_OPCDAServer10);
    const auto da20 = classesOf(CATID_OPCDAServer20);
    auto has = [](const std::vector<GUID>& v, const CLSID& c) { return std::find(v.begin(), v.end(), c) != v.end(); };
    EXPECT_TRUE(has(da10, ClsidOf(kDefaultProgId)));
    EXPECT_TRUE(has(da20, ClsidOf(kDefaultProgId)));
    EXPECT_TRUE(has(da10, ClsidOf(kDa10ProgId)));
    EXPECT_FALSE(has(da20, ClsidOf(kDa10ProgId)));  // its groups cannot call back through 2.0

    const auto opcKey = ProgIDsWithOpcKey();
    for (const char* progId : {kDefaultProgId, kFlatProgId, kDa10ProgId, kNoBrowseProgId, kNoServerProgId})
        EXPECT_NE(std::find(opcKey.begin(), opcKey.end(), progId), opcKey.end()) << progId;

    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(ClsidOf(kDefaultProgId), &progId), S_OK);
    EXPECT_EQ(TakeString(progId), kDefaultProgId);
}

TEST(ServerCreation, OwnConfigurationsKeepTheirClsidAndServeTheirFaults) {
    SimConfig config;
    config.browseInterface = false;
    const CLSID first = RegisterSimulationServer("Test.Object.Own", config);
    config.browseInterface = true;
    EXPECT_EQ(RegisterSimulationServer("Test.Object.Own", config), first);
    EXPECT_NE(first, ClsidOf(kDefaultProgId));
    EXPECT_EQ(Connect("Test.Object.Own").created, S_OK);  // the second registration applies
}

TEST(ServerLifetime, ReleasingEveryInterfaceEndsTheServerObject) {
    SimConfig config;
    config.loadTagCount = 0;
    RegisterSimulationServer("Test.Object.Lifetime", config);
    {
        ServerConnection a = Connect("Test.Object.Lifetime");
        ServerConnection b = Connect("Test.Object.Lifetime");
        EXPECT_EQ(LiveServerCount("Test.Object.Lifetime"), 2u);
        a = ServerConnection{};
        EXPECT_EQ(LiveServerCount("test.object.lifetime"), 1u);
    }
    EXPECT_EQ(LiveServerCount("Test.Object.Lifetime"), 0u);
}

// --- IOPCServer::GetStatus ------------------------------------------------------------------

TEST(ServerStatus, DescribesARunningServer) {
    const ULONGLONG before = FileTimeTicks(FileTimeNow());
    ServerConnection c = Connect(kDefaultProgId);
    OPCSERVERSTATUS* status = nullptr;
    ASSERT_EQ(c.server->GetStatus(&status), S_OK);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->dwServerState, OPC_STATUS_RUNNING);
    EXPECT_GE(FileTimeTicks(status->ftStartTime), before);
    EXPECT_GE(FileTimeTicks(status->ftCurrentTime), FileTimeTicks(status->ftStartTime));
    EXPECT_EQ(status->dwGroupCount, 0u);
    EXPECT_EQ(TakeString(status->szVendorInfo), "Orvane OPC DA simulation server");
    CoTaskMemFree(status);
    EXPECT_EQ(c.server->GetStatus(nullptr), E_POINTER);
}

TEST(ServerStatus, StopsAnsweringAfterTheConfiguredNumberOfCalls) {
    SimConfig config;
    config.loadTagCount = 0;
    config.statusCallsBeforeFailure = 2;
    RegisterSimulationServer("Test.Object.Dying", config);
    ServerConnection c = Connect("Test.Object.Dying");
    for (int call = 0; call < 4; ++call) {
        OPCSERVERSTATUS* status = reinterpret_cast<OPCSERVERSTATUS*>(1);
        const HRESULT hr = c.server->GetStatus(&status);
        EXPECT_EQ(hr, call < 2 ? S_OK : RPC_S_SERVER_UNAVAILABLE_HR) << "call " << call;
        EXPECT_EQ(status != nullptr, call < 2);
        if (status) {
            CoTaskMemFree(status->szVendorInfo);
            CoTaskMemFree(status);
        }
    }
    // A new connection is a new server object with its own count.
    OPCSERVERSTATUS* status = nullptr;
    EXPECT_EQ(Connect("Test.Object.Dying").server->GetStatus(&status), S_OK);
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
}

// --- GetErrorString (IOPCServer and IOPCCommon) -------------------------------------------

struct ErrorStringCase {
    HRESULT code;
    LCID locale;
    HRESULT expected;
    const char* text;
};

TEST(ServerErrorString, ExplainsOpcAndCommonCodesInTheSupportedLocales) {
    ServerConnection c = Connect(kDefaultProgId);
    const ErrorStringCase cases[] = {
        {OPC_E_INVALIDHANDLE, 0, S_OK, "The value of the handle is invalid."},
        {OPC_E_UNKNOWNITEMID, 1033, S_OK, "The item is no longer available in the server address space."},
        {OPC_S_UNSUPPORTEDRATE, 0x800, S_OK,
         "The server does not support the requested data rate but will use the closest available rate."},
        {OPC_E_INVALID_PID, 0x400, S_OK, "The specified property ID is not valid for the item."},
        {E_FAIL, 0, S_OK, "Unspecified error"},
        {E_INVALIDARG, 0, S_OK, "The parameter is incorrect."},
        {RPC_S_SERVER_UNAVAILABLE_HR, 0, S_OK, "The RPC server is unavailable."},
        {0x0000007B, 0, E_INVALIDARG, "<null>"},
        {MakeHResult(0xC004FFFF), 0, E_INVALIDARG, "<null>"},
        {OPC_E_BADTYPE, 2052, E_INVALIDARG, "<null>"},  // a locale the server does not offer
    };
    for (const auto& e : cases) {
        LPWSTR text = nullptr;
        EXPECT_EQ(c.server->GetErrorString(e.code, e.locale, &text), e.expected) << std::hex << e.code;
        EXPECT_EQ(TakeString(text), e.text) << std::hex << e.code;
    }
    EXPECT_EQ(c.server->GetErrorString(E_FAIL, 0, nullptr), E_POINTER);
}

TEST(ServerCommon, LocaleAndErrorStringsFollowTheChosenLocale) {
    ServerConnection c = Connect(kDefaultProgId);
    LCID lcid = 0;
    ASSERT_EQ(c.common->GetLocaleID(&lcid), S_OK);
    EXPECT_EQ(lcid, 0x0409u);

    DWORD count = 0;
    LCID* locales = nullptr;
    ASSERT_EQ(c.common->QueryAvailableLocaleIDs(&count, &locales), S_OK);
    std::vector<LCID> available(locales, locales + count);
    CoTaskMemFree(locales);
    for (LCID offered : available) EXPECT_EQ(c.common->SetLocaleID(offered), S_OK) << offered;
    EXPECT_NE(std::find(available.begin(), available.end(), 0x0409u), available.end());

    EXPECT_EQ(c.common->SetLocaleID(2052), E_INVALIDARG);
    ASSERT_EQ(c.common->GetLocaleID(&lcid), S_OK);
    EXPECT_EQ(lcid, available.back());  // unchanged by the refused call

    LPWSTR text = nullptr;
    EXPECT_EQ(c.common->GetErrorString(OPC_E_BADRIGHTS, &text), S_OK);
    EXPECT_EQ(TakeString(text), "The item's access rights do not allow the operation.");
    EXPECT_EQ(c.common->GetErrorString(0x1234, &text), E_INVALIDARG);

    EXPECT_EQ(c.common->SetClientName(u"OPC Station"), S_OK);
    EXPECT_EQ(c.common->SetClientName(nullptr), E_INVALIDARG);
    EXPECT_EQ(c.common->GetLocaleID(nullptr), E_POINTER);
    EXPECT_EQ(c.common->QueryAvailableLocaleIDs(&count, nullptr), E_POINTER);
}

// --- IConnectionPointContainer / IOPCShutdown ----------------------------------------------

TEST(ServerShutdown, RequestsReachEveryAdvisedSinkUntilItUnadvises) {
    // Across a connection the request arrives later, on another thread; the proxy tests wait.
    if (!gServerComputer.empty()) GTEST_SKIP() << "in-process delivery only";
    SimConfig config;
    config.loadTagCount = 0;
    RegisterSimulationServer("Test.Object.Shutdown", config);
    ServerConnection a = Connect("Test.Object.Shutdown");
    ServerConnection b = Connect("Test.Object.Shutdown");
    ComPtr<ShutdownSink> sinkA = MakeComObject<ShutdownSink>();
    ComPtr<ShutdownSink> sinkB = MakeComObject<ShutdownSink>();

    ComPtr<IConnectionPoint> pointA, pointB;
    ASSERT_EQ(a.container->FindConnectionPoint(IID_IOPCShutdown, pointA.put()), S_OK);
    ASSERT_EQ(b.container->FindConnectionPoint(IID_IOPCShutdown, pointB.put()), S_OK);
    DWORD cookieA = 0, cookieB = 0;
    ASSERT_EQ(pointA->Advise(sinkA->Identity(), &cookieA), S_OK);
    ASSERT_EQ(pointB->Advise(sinkB->Identity(), &cookieB), S_OK);
    EXPECT_NE(cookieA, 0u);

    EXPECT_EQ(RequestShutdown("Test.Object.Shutdown", u"Maintenance 维护"), 2u);
    EXPECT_EQ(sinkA->Reasons(), std::vector<std::string>{"Maintenance 维护"});
    EXPECT_EQ(sinkB->Reasons(), std::vector<std::string>{"Maintenance 维护"});
    EXPECT_EQ(RequestShutdown("Orvane.NoSuchServer", u"x"), 0u);

    ASSERT_EQ(pointA->Unadvise(cookieA), S_OK);
    EXPECT_EQ(pointA->Unadvise(cookieA), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(RequestShutdown("Test.Object.Shutdown", u"again"), 1u);
    EXPECT_EQ(sinkA->Reasons().size(), 1u);
    EXPECT_EQ(sinkB->Reasons().size(), 2u);
}

TEST(ServerShutdown, TheContainerHasOnlyTheShutdownPoint) {
    // A proxy's container finds the point but does not enumerate points.
    if (!gServerComputer.empty()) GTEST_SKIP() << "in-process enumeration only";
    ServerConnection c = Connect(kDefaultProgId);
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(c.container->FindConnectionPoint(IID_IOPCDataCallback, point.put()), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(c.container->FindConnectionPoint(IID_IOPCShutdown, nullptr), E_POINTER);

    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(c.container->EnumConnectionPoints(points.put()), S_OK);
    IConnectionPoint* found[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(2, found, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    IID iid{};
    EXPECT_EQ(found[0]->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, IID_IOPCShutdown);
    found[0]->Release();

    // A sink that is not an IOPCShutdown is refused.
    ASSERT_EQ(c.container->FindConnectionPoint(IID_IOPCShutdown, point.put()), S_OK);
    ComPtr<IEnumString> notASink = MakeEnumString({});
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(notASink.get(), &cookie), CONNECT_E_CANNOTCONNECT);
}

TEST(ServerShutdown, RequestsWhileServersComeAndGoNeverTouchAnEndedServer) {
    SimConfig config;
    config.loadTagCount = 0;
    RegisterSimulationServer("Test.Object.Churn", config);
    std::atomic<bool> stop{false};
    std::thread requester([&] {
        while (!stop.load()) {
            RequestShutdown("Test.Object.Churn", u"churn");
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 50; ++i) {
        ServerConnection c = Connect("Test.Object.Churn");
        ComPtr<ShutdownSink> sink = MakeComObject<ShutdownSink>();
        ComPtr<IConnectionPoint> point;
        ASSERT_EQ(c.container->FindConnectionPoint(IID_IOPCShutdown, point.put()), S_OK);
        DWORD cookie = 0;
        ASSERT_EQ(point->Advise(sink->Identity(), &cookie), S_OK);
        // Released with the sink still advised: the server drops it as it ends.
    }
    stop = true;
    requester.join();
    EXPECT_EQ(LiveServerCount("Test.Object.Churn"), 0u);
}

}  // namespace
}  // namespace simserver::test
