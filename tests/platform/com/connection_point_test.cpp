// Connection points: advising sinks, calling them from snapshots, and lifetimes.
#include "platform/com/connection_point.h"
#include "platform/com/hresult.h"
#include "tests/platform/com/test_objects.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

class TestContainer : public ComObject<IConnectionPointContainer> {
public:
    explicit TestContainer(std::atomic<int>* destroyed = nullptr, ULONG limit = 0)
        : destroyed_(destroyed), point_(this, IID_ITestSink, limit) {}
    ~TestContainer() override {
        if (destroyed_) ++*destroyed_;
    }

    HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override {
        ConnectionPoint* points[] = {&point_};
        return EnumConnectionPointsOf(points, ppEnum);
    }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override {
        ConnectionPoint* points[] = {&point_};
        return FindConnectionPointIn(points, riid, ppCP);
    }

    void Fire(int value) {
        for (const ComPtr<ITestSink>& sink : point_.SinksAs<ITestSink>()) sink->Notify(value);
    }
    ConnectionPoint& Point() { return point_; }

private:
    std::atomic<int>* destroyed_;
    ConnectionPoint point_;
};

// Unadvises itself from within its first callback.
class LeavingSink : public ComObject<ITestSink> {
public:
    void Notify(int) override {
        ++calls;
        EXPECT_EQ(point->Unadvise(cookie), S_OK);
    }
    IConnectionPoint* point = nullptr;
    DWORD cookie = 0;
    int calls = 0;
};

TEST(ConnectionPointTest, SinkWithoutTheInterfaceCannotConnect) {
    ComPtr<TestContainer> container = MakeComObject<TestContainer>();
    ComPtr<BareObject> bare = MakeComObject<BareObject>();
    DWORD cookie = 123;
    EXPECT_EQ(container->Point().Advise(bare->Identity(), &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(RefCount(bare->Identity()), 1u) << "no reference kept";
    EXPECT_FALSE(container->Point().HasSinks());
}

TEST(ConnectionPointTest, AdviseHoldsTheSinkUntilUnadvise) {
    ComPtr<TestContainer> container = MakeComObject<TestContainer>();
    ComPtr<RecordingSink> sink = MakeComObject<RecordingSink>();
    ConnectionPoint& point = container->Point();
    DWORD cookie = 0;
    ASSERT_EQ(point.Advise(sink->Identity(), &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(RefCount(sink->Identity()), 2u);

    container->Fire(7);
    EXPECT_EQ(sink->calls, 1);
    EXPECT_EQ(sink->last, 7);

    EXPECT_EQ(point.Unadvise(cookie + 1), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point.Unadvise(0), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(point.Unadvise(cookie), S_OK);
    EXPECT_EQ(RefCount(sink->Identity()), 1u);
    EXPECT_EQ(point.Unadvise(cookie), CONNECT_E_NOCONNECTION) << "a cookie works once";
    container->Fire(8);
    EXPECT_EQ(sink->calls, 1);

    EXPECT_EQ(point.Advise(nullptr, &cookie), E_POINTER);
    EXPECT_EQ(point.Advise(sink->Identity(), nullptr), E_POINTER);
}

TEST(ConnectionPointTest, EachSinkGetsItsOwnCookieAndTheLimitHolds) {
    ComPtr<TestContainer> container = MakeComObject<TestContainer>(nullptr, 2);
    ComPtr<RecordingSink> a = MakeComObject<RecordingSink>();
    ComPtr<RecordingSink> b = MakeComObject<RecordingSink>();
    ComPtr<RecordingSink> c = MakeComObject<RecordingSink>();
    DWORD ca = 0, cb = 0, cc = 0;
    ASSERT_EQ(container->Point().Advise(a->Identity(), &ca), S_OK);
    ASSERT_EQ(container->Point().Advise(b->Identity(), &cb), S_OK);
    EXPECT_NE(ca, cb);
    EXPECT_EQ(container->Point().Advise(c->Identity(), &cc), CONNECT_E_ADVISELIMIT);
    EXPECT_EQ(RefCount(c->Identity()), 1u);

    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(container->Point().EnumConnections(connections.put()), S_OK);
    CONNECTDATA data[3];
    ULONG fetched = 0;
    EXPECT_EQ(connections->Next(3, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(data[0].dwCookie, ca);
    EXPECT_EQ(data[1].dwCookie, cb);
    for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();

    container->Fire(1);
    EXPECT_EQ(a->calls + b->calls + c->calls, 2);
}

TEST(ConnectionPointTest, ContainerFindsItsPoints) {
    ComPtr<TestContainer> container = MakeComObject<TestContainer>();
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(IID_ITestMissing, point.put()), CONNECT_E_NOCONNECTION);
    EXPECT_FALSE(point);
    ASSERT_EQ(container->FindConnectionPoint(IID_ITestSink, point.put()), S_OK);
    IID iid;
    ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, IID_ITestSink);
    ComPtr<IConnectionPointContainer> back;
    ASSERT_EQ(point->GetConnectionPointContainer(back.put()), S_OK);
    EXPECT_EQ(back.As<IUnknown>().get(), container->Identity());

    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
    IConnectionPoint* first = nullptr;
    ASSERT_EQ(points->Next(1, &first, nullptr), S_OK);
    EXPECT_EQ(first, point.get());
    first->Release();
}

TEST(ConnectionPointTest, PointKeepsItsContainerAliveAndReleasesSinksWithIt) {
    std::atomic<int> destroyed{0};
    ComPtr<RecordingSink> sink = MakeComObject<RecordingSink>();
    ComPtr<IConnectionPoint> point;
    {
        ComPtr<TestContainer> container = MakeComObject<TestContainer>(&destroyed);
        ASSERT_EQ(container->FindConnectionPoint(IID_ITestSink, point.put()), S_OK);
        DWORD cookie = 0;
        ASSERT_EQ(point->Advise(sink->Identity(), &cookie), S_OK);
    }
    EXPECT_EQ(destroyed, 0);
    IID iid;
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    point.reset();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(RefCount(sink->Identity()), 1u) << "the dying point released its sink";
}

TEST(ConnectionPointTest, SinkMayUnadviseFromItsCallback) {
    ComPtr<TestContainer> container = MakeComObject<TestContainer>();
    ComPtr<LeavingSink> sink = MakeComObject<LeavingSink>();
    sink->point = &container->Point();
    ASSERT_EQ(container->Point().Advise(sink->Identity(), &sink->cookie), S_OK);
    container->Fire(1);  // would deadlock if sinks were called under the point's lock
    container->Fire(2);
    EXPECT_EQ(sink->calls, 1);
    EXPECT_FALSE(container->Point().HasSinks());
}

TEST(ConnectionPointThreadedTest, AdviseAndUnadviseWhileFiring) {
    ComPtr<TestContainer> container = MakeComObject<TestContainer>();
    std::vector<ComPtr<RecordingSink>> sinks;
    for (int i = 0; i < 3; ++i) sinks.push_back(MakeComObject<RecordingSink>());
    std::atomic<int> running{static_cast<int>(sinks.size())};

    std::vector<std::thread> threads;
    for (const ComPtr<RecordingSink>& sink : sinks) {
        threads.emplace_back([&, sink] {
            for (int round = 0; round < 2000; ++round) {
                DWORD cookie = 0;
                ASSERT_EQ(container->Point().Advise(sink->Identity(), &cookie), S_OK);
                ASSERT_EQ(container->Point().Unadvise(cookie), S_OK);
            }
            --running;
        });
    }
    threads.emplace_back([&] {
        while (running > 0) container->Fire(1);
    });
    for (std::thread& thread : threads) thread.join();

    EXPECT_FALSE(container->Point().HasSinks());
    for (const ComPtr<RecordingSink>& sink : sinks)
        EXPECT_EQ(RefCount(sink->Identity()), 1u) << "only the test holds it";
}

}  // namespace
