// What the group tests share: a server's group table over a real address space, recording
// client sinks for the 2.0 callback and the 1.0 advices, and a reader of the 1.0 streams.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "opc/da/opcda.h"
#include "platform/com/connection_point.h"
#include "platform/com/data_object.h"
#include "platform/com/memory.h"
#include "platform/com/variant.h"
#include "simserver/address_space.h"
#include "simserver/group_table.h"
#include "simserver/sim_config.h"

namespace simserver::test {

using namespace std::chrono_literals;

// Frees what a call returned in task memory when the test is done with it.
template <class T>
struct TaskArray {
    T* p = nullptr;
    ~TaskArray() { CoTaskMemFree(p); }
    // Frees what an earlier call returned and hands out the slot for the next one.
    T** put() {
        CoTaskMemFree(p);
        p = nullptr;
        return &p;
    }
    T& operator[](std::size_t i) const { return p[i]; }
};

struct ItemRecord {
    OPCHANDLE clientHandle = 0;
    Variant value;
    WORD quality = 0;
    FILETIME timestamp;
    HRESULT error = S_OK;
};

enum class CallKind { DataChange, ReadComplete, WriteComplete, CancelComplete };

struct CallbackRecord {
    CallKind kind = CallKind::DataChange;
    DWORD transactionId = 0;
    OPCHANDLE group = 0;
    HRESULT masterQuality = S_OK;
    HRESULT masterError = S_OK;
    std::vector<ItemRecord> items;                      // data change, read complete
    std::vector<std::pair<OPCHANDLE, HRESULT>> writes;  // write complete
    std::thread::id thread;
};

// Waits on a condition that sinks make true from server threads.
class Recorder {
public:
    // True when `done` held within the time; never sleeps longer than needed.
    template <class Pred>
    bool WaitUntil(Pred done, std::chrono::milliseconds timeout = 10s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return done(); });
    }

    // The next callback (and only it) waits inside the sink until Open() (at most 10 s, so
    // that a failed test cannot hang the server's thread).
    void HoldNextCall();
    // True once a callback is waiting inside the sink.
    bool WaitUntilHeld();
    void Open();
    // Runs inside every callback, after it was recorded (e.g. to call back into the group).
    void SetAction(std::function<void()> action);

protected:
    void Arrived();  // call with mutex_ held released; records are added before

    std::mutex mutex_;
    std::condition_variable changed_;

private:
    std::mutex gateMutex_;
    std::condition_variable gateChanged_;
    bool holdNext_ = false;
    bool held_ = false;
    std::function<void()> action_;
};

class DataCallbackSink final : public ComObject<IOPCDataCallback>, public Recorder {
public:
    std::vector<CallbackRecord> Calls();
    std::size_t Count(CallKind kind);
    bool WaitForCalls(CallKind kind, std::size_t count, std::chrono::milliseconds timeout = 10s);
    // Waits until the calls so far satisfy `done` (evaluated under the sink's lock).
    bool WaitForCalls(const std::function<bool(const std::vector<CallbackRecord>&)>& done,
                      std::chrono::milliseconds timeout = 10s);
    // Waits for a call of `kind` with this transaction id.
    bool WaitForTransaction(CallKind kind, DWORD transactionId, std::chrono::milliseconds timeout = 10s);
    // The first recorded call of `kind` with this transaction id, if any.
    bool Find(CallKind kind, DWORD transactionId, CallbackRecord* out);

    HRESULT OnDataChange(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality, HRESULT hrMastererror,
                         DWORD dwCount, OPCHANDLE* phClientItems, VARIANT* pvValues, WORD* pwQualities,
                         FILETIME* pftTimeStamps, HRESULT* pErrors) override;
    HRESULT OnReadComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality, HRESULT hrMastererror,
                           DWORD dwCount, OPCHANDLE* phClientItems, VARIANT* pvValues, WORD* pwQualities,
                           FILETIME* pftTimeStamps, HRESULT* pErrors) override;
    HRESULT OnWriteComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMastererr, DWORD dwCount,
                            OPCHANDLE* pClienthandles, HRESULT* pErrors) override;
    HRESULT OnCancelComplete(DWORD dwTransid, OPCHANDLE hGroup) override;

    ULONG References() {
        AddRef();
        return Release();
    }

private:
    HRESULT RecordValues(CallKind kind, DWORD tid, OPCHANDLE group, HRESULT mq, HRESULT me, DWORD count,
                         const OPCHANDLE* handles, const VARIANT* values, const WORD* qualities, const FILETIME* times,
                         const HRESULT* errors);
    void Add(CallbackRecord record);
    std::vector<CallbackRecord> calls_;
};

struct StreamRecord {
    CLIPFORMAT format = 0;
    std::vector<std::uint8_t> bytes;
    std::thread::id thread;
};

class AdviseSinkRecorder final : public ComObject<IAdviseSink>, public Recorder {
public:
    std::vector<StreamRecord> Streams();
    bool WaitForStreams(std::size_t count, std::chrono::milliseconds timeout = 10s);

    void OnDataChange(FORMATETC* pFormatetc, STGMEDIUM* pStgmed) override;
    ULONG References() {
        AddRef();
        return Release();
    }
    void OnViewChange(DWORD, LONG) override {}
    void OnRename(IMoniker*) override {}
    void OnSave() override {}
    void OnClose() override {}

private:
    std::vector<StreamRecord> streams_;
};

// A 1.0 data stream read back field by field (every read checked against the size).
struct ParsedItem {
    OPCHANDLE clientHandle = 0;
    WORD quality = 0;
    FILETIME timestamp;
    VARTYPE vt = VT_EMPTY;
    std::uint64_t bits = 0;               // the 8 value bytes of a scalar
    std::u16string text;                  // VT_BSTR
    std::vector<std::uint8_t> arrayData;  // VT_ARRAY: the element bytes
    std::uint16_t arrayDims = 0;
    std::vector<std::pair<ULONG, LONG>> bounds;
};
struct ParsedStream {
    bool ok = false;
    DWORD size = 0, count = 0, transactionId = 0;
    OPCHANDLE group = 0;
    HRESULT status = 0;
    std::vector<ParsedItem> items;
    std::vector<std::pair<OPCHANDLE, HRESULT>> writes;
};
ParsedStream ParseDataStream(const std::vector<std::uint8_t>& bytes, bool withTime);
ParsedStream ParseWriteStream(const std::vector<std::uint8_t>& bytes);

CLIPFORMAT Cf(const char* name);

// A server object's groups over a fresh address space.
class GroupTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Builds the table from `config` (call again after changing it).
    void MakeTable();

    // Adds a group and returns it as `Itf`.
    template <class Itf>
    ComPtr<Itf> AddGroup(const char16_t* name, bool active = true, DWORD rate = 10, OPCHANDLE clientGroup = 77,
                         OPCHANDLE* serverHandle = nullptr) {
        OPCHANDLE handle = 0;
        DWORD revised = 0;
        ComPtr<Itf> group;
        const HRESULT hr = table->AddGroup(name, active ? TRUE : FALSE, rate, clientGroup, nullptr, nullptr, 1033,
                                           &handle, &revised, IidOf<Itf>(), reinterpret_cast<LPUNKNOWN*>(group.put()));
        EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
        if (serverHandle) *serverHandle = handle;
        return group;
    }

    // Adds items by ItemID; returns the server handles (0 for a failed item) and the errors.
    std::vector<OPCHANDLE> AddItems(IUnknown* group, const std::vector<std::u16string>& ids,
                                    std::vector<HRESULT>* errors = nullptr, VARTYPE requested = VT_EMPTY,
                                    bool active = true, OPCHANDLE firstClientHandle = 1000);

    // Advises a new recording 2.0 sink on the group; returns its cookie.
    DWORD AdviseCallback(IUnknown* group, const ComPtr<DataCallbackSink>& sink);

    std::shared_ptr<SimConfig> config;
    std::shared_ptr<GroupTable> table;
};

// Same value, type and quality: the check every value test makes.
void ExpectValue(const VARIANT& actual, const VARIANT& expected);

}  // namespace simserver::test
