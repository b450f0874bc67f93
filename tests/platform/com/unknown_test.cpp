// ComPtr ownership and ComObject's QueryInterface and reference count.
#include "platform/com/hresult.h"
#include "tests/platform/com/test_objects.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(ComObjectTest, QueryInterfaceAnswersListedInterfacesAndTheirBases) {
    ComPtr<CountedObject> object = MakeComObject<CountedObject>();
    struct QueryCase {
        const char* name;
        const IID* iid;
        HRESULT hr;
    };
    const QueryCase cases[] = {
        {"IUnknown", &IID_IUnknown, S_OK},
        {"listed interface", &IID_ITestDerived, S_OK},
        {"base of a listed interface", &IID_ITestA, S_OK},
        {"second listed interface", &IID_ITestB, S_OK},
        {"not implemented", &IID_ITestMissing, E_NOINTERFACE},
    };
    for (const QueryCase& c : cases) {
        SCOPED_TRACE(c.name);
        void* itf = reinterpret_cast<void*>(1);
        EXPECT_EQ(object->QueryInterface(*c.iid, &itf), c.hr);
        if (SUCCEEDED(c.hr)) {
            ASSERT_NE(itf, nullptr);
            EXPECT_EQ(RefCount(object->Identity()), 2u);
            static_cast<IUnknown*>(itf)->Release();
        } else {
            EXPECT_EQ(itf, nullptr);
            EXPECT_EQ(RefCount(object->Identity()), 1u);
        }
    }
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST(ComObjectTest, IdentityIsTheSameThroughEveryInterface) {
    ComPtr<CountedObject> object = MakeComObject<CountedObject>();
    ComPtr<ITestB> b = object.As<ITestB>();
    ComPtr<ITestA> a = b.As<ITestA>(IID_ITestA);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->A(), 1);
    EXPECT_EQ(b->B(), 3);
    EXPECT_EQ(a.As<IUnknown>().get(), b.As<IUnknown>().get());
    EXPECT_FALSE(a.As<ITestSink>()) << "missing interface gives an empty pointer";
}

TEST(ComPtrTest, OwnsExactlyOneReference) {
    std::atomic<int> destroyed{0};
    auto* raw = new CountedObject(&destroyed);
    {
        ComPtr<ITestB> first(raw);  // takes its own reference
        EXPECT_EQ(RefCount(raw->Identity()), 1u);
        ComPtr<ITestB> copy = first;
        EXPECT_EQ(RefCount(raw->Identity()), 2u);
        ComPtr<ITestB> moved = std::move(copy);
        EXPECT_FALSE(copy);
        EXPECT_EQ(RefCount(raw->Identity()), 2u);
        moved = nullptr;
        EXPECT_EQ(RefCount(raw->Identity()), 1u);
        first = first;  // self-assignment keeps the reference
        EXPECT_EQ(RefCount(raw->Identity()), 1u);
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(ComPtrTest, AttachAdoptsAndDetachGivesUp) {
    std::atomic<int> destroyed{0};
    ComPtr<ITestA> owner;
    {
        ComPtr<CountedObject> made = MakeComObject<CountedObject>(&destroyed);
        owner.attach(static_cast<ITestA*>(made.detach()));  // the one reference moves over
    }
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(RefCount(owner.get()), 1u);
    ITestA* raw = owner.detach();
    EXPECT_FALSE(owner);
    EXPECT_EQ(destroyed, 0);
    raw->Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(ComPtrTest, PutReleasesThePreviousObject) {
    std::atomic<int> destroyed{0};
    ComPtr<ITestA> holder = MakeComObject<CountedObject>(&destroyed);
    ComPtr<CountedObject> other = MakeComObject<CountedObject>();
    ASSERT_EQ(other->QueryInterface(IID_ITestA, holder.putVoid()), S_OK);
    EXPECT_EQ(destroyed, 1) << "put() released the first object";
    EXPECT_EQ(RefCount(other->Identity()), 2u);
}

TEST(ComObjectThreadedTest, ReferenceCountSurvivesConcurrentCopies) {
    std::atomic<int> destroyed{0};
    ComPtr<ITestB> shared = MakeComObject<CountedObject>(&destroyed);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([shared] {
            for (int i = 0; i < 20000; ++i) {
                ComPtr<ITestB> copy = shared;
                ComPtr<ITestA> other = copy.As<ITestA>();
                ASSERT_TRUE(other);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(RefCount(shared.get()), 1u);
    shared.reset();
    EXPECT_EQ(destroyed, 1);
}

}  // namespace
