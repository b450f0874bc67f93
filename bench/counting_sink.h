// A 2.0 data callback for the benchmarks: counts the item updates it is given. A stalling one
// never returns from its first data change, as a client that stops reading.
#pragma once

#include "opc/da/opcda.h"
#include "platform/com/unknown.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

class CountingSink final : public ComObject<IOPCDataCallback> {
public:
    explicit CountingSink(std::atomic<std::uint64_t>& changes, bool stall = false)
        : changes_(changes), stall_(stall) {}

    HRESULT OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD count, OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                         HRESULT*) override {
        changes_.fetch_add(count, std::memory_order_relaxed);
        while (stall_) std::this_thread::sleep_for(std::chrono::seconds(1));
        return S_OK;
    }
    HRESULT OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                           HRESULT*) override {
        return S_OK;
    }
    HRESULT OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*, HRESULT*) override { return S_OK; }
    HRESULT OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }

private:
    std::atomic<std::uint64_t>& changes_;
    bool stall_;
};
