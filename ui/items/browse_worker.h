// Browsing off the GUI thread: the add item dialog's calls into the server's address space run
// in order on a worker thread, and what each found is handed back to the GUI thread, so that a
// large branch, a slow host or a server that hangs never freezes the window. When the dialog
// goes, answers still under way are dropped; a call that hangs is not waited for.
#pragma once

#include "opc/client/address_space_browser.h"

#include <functional>
#include <memory>

class PostedCalls;

class BrowseWorker {
public:
    // What a job leaves for the GUI thread.
    using Result = std::function<void()>;
    // Runs on the worker with the browser; what it returns runs on the GUI thread.
    using Job = std::function<Result(const AddressSpaceBrowser& browser)>;

    explicit BrowseWorker(ComPtr<IOPCBrowseServerAddressSpace> browse);
    ~BrowseWorker();
    BrowseWorker(const BrowseWorker&) = delete;
    BrowseWorker& operator=(const BrowseWorker&) = delete;

    void Post(Job job);
    // Jobs waiting, running, or with results not yet handed back.
    bool Busy() const;
    // Called on the GUI thread whenever Busy() may have changed.
    void SetOnBusyChanged(std::function<void(bool busy)> onChange) { onBusyChanged_ = std::move(onChange); }

    struct State;

private:
    void Delivered();

    std::shared_ptr<State> state_;
    std::unique_ptr<PostedCalls> receiver_;  // where results are delivered, on the GUI thread
    int outstanding_ = 0;                // GUI thread: posted and not yet delivered
    std::function<void(bool)> onBusyChanged_;
};
