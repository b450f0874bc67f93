// Small COM objects for the tests: interfaces with made-up IIDs, objects that count their
// destruction, and a sink interface for connection points.
#pragma once

#include "platform/com/guid.h"
#include "platform/com/unknown.h"

#include <atomic>

struct ITestA : IUnknown {
    virtual int A() = 0;

protected:
    ~ITestA() = default;
};
// Derives from ITestA, so an object listing ITestDerived also answers ITestA.
struct ITestDerived : ITestA {
    virtual int Derived() = 0;

protected:
    ~ITestDerived() = default;
};
struct ITestB : IUnknown {
    virtual int B() = 0;

protected:
    ~ITestB() = default;
};
struct ITestSink : IUnknown {
    virtual void Notify(int value) = 0;

protected:
    ~ITestSink() = default;
};

inline constexpr IID IID_ITestA = "{6B1F0E1A-4C2D-4E8F-9A10-000000000001}"_guid;
inline constexpr IID IID_ITestDerived = "{6B1F0E1A-4C2D-4E8F-9A10-000000000002}"_guid;
inline constexpr IID IID_ITestB = "{6B1F0E1A-4C2D-4E8F-9A10-000000000003}"_guid;
inline constexpr IID IID_ITestSink = "{6B1F0E1A-4C2D-4E8F-9A10-000000000004}"_guid;
inline constexpr IID IID_ITestMissing = "{6B1F0E1A-4C2D-4E8F-9A10-0000000000FF}"_guid;

COM_INTERFACE_IID(ITestA, IID_ITestA);
COM_INTERFACE_IID_BASE(ITestDerived, IID_ITestDerived, ITestA);
COM_INTERFACE_IID(ITestB, IID_ITestB);
COM_INTERFACE_IID(ITestSink, IID_ITestSink);

// Counts destructions in a counter the test owns.
class CountedObject : public ComObject<ITestDerived, ITestB> {
public:
    explicit CountedObject(std::atomic<int>* destroyed = nullptr) : destroyed_(destroyed) {}
    ~CountedObject() override {
        if (destroyed_) ++*destroyed_;
    }
    int A() override { return 1; }
    int Derived() override { return 2; }
    int B() override { return 3; }

private:
    std::atomic<int>* destroyed_;
};

// A sink that records the calls it receives.
class RecordingSink : public ComObject<ITestSink> {
public:
    void Notify(int value) override {
        ++calls;
        last = value;
    }
    std::atomic<int> calls{0};
    std::atomic<int> last{0};
};

// An object that answers only IUnknown, for "sink lacks the interface" cases.
class BareObject : public ComObject<IUnknown> {};

// The reference count as seen by AddRef/Release (without changing it).
inline ULONG RefCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}
