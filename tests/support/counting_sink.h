// A 2.0 data callback for the benchmarks and tests: counts the item updates it is given, and
// then runs its hold, if any (a busy client's sink, or one that never returns, as a client that
// stops reading).
#pragma once

#include "opc/da/opcda.h"
#include "platform/com/unknown.h"

#include <atomic>
#include <cstdint>
#include <functional>

class CountingSink final : public ComObject<IOPCDataCallback> {
public:
    explicit CountingSink(std::atomic<std::uint64_t>& changes, std::function<void()> hold = nullptr)
        : changes_(changes), hold_(std::move(hold)) {}

    HRESULT OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD count, OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                         HRESULT*) override {
        changes_.fetch_add(count, std::memory_order_relaxed);
        if (hold_) hold_();
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
    std::function<void()> hold_;
};
