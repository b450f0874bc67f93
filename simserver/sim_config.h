// Configuration of one registered simulation server: the shape of its address space and the
// faults it shows, so that tests (and the client's own fallbacks) can meet every kind of
// server the standard allows. The default configuration is a complete, fault-free server.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/com/hresult.h"

namespace simserver {

struct SimConfig {
    // --- address space ---
    bool flatNamespace = false;    // QueryOrganization answers OPC_NS_FLAT; no branches
    unsigned loadTagCount = 1000;  // "Load.T0000"...: fast ramps for load tests

    // --- interfaces the objects expose ---
    bool serverInterface = true;        // IOPCServer on the server object
    bool browseInterface = true;        // IOPCBrowseServerAddressSpace on the server object
    bool groupConnectionPoints = true;  // IConnectionPointContainer on groups (2.0 callback)

    // --- faults ---
    // QueryOrganization fails with this HRESULT when set.
    std::optional<HRESULT> queryOrganizationError;
    // ItemID -> the error AddItems and ValidateItems give it (e.g. OPC_E_UNKNOWNITEMID,
    // OPC_E_INVALIDITEMID), whether or not the item exists.
    std::map<std::string, HRESULT> addErrors;
    // ItemID -> the error every write of the item gives (synchronous and asynchronous).
    std::map<std::string, HRESULT> writeErrors;
    // Runs at the start of every BrowseOPCItemIDs, on the caller's thread: a test's way to make
    // browsing hang.
    std::function<void()> browseHook;
    // Runs at the start of every AddItems, on the caller's thread: a test's way to hold a
    // client while it adds items.
    std::function<void()> addItemsHook;
    // BrowseOPCItemIDs succeeds this many times, then fails with E_FAIL on every call, as a
    // server whose browsing breaks part-way.
    std::optional<unsigned> browseCallsBeforeFailure;
    // GetStatus succeeds this many times, then fails with statusError on every call, as a
    // server that has died or become unreachable.
    std::optional<unsigned> statusCallsBeforeFailure;
    HRESULT statusError = RPC_S_SERVER_UNAVAILABLE_HR;

    std::string vendorInfo = "Orvane OPC DA simulation server";
};

}  // namespace simserver
