// The machine-wide single-instance lock: an abstract Unix-domain socket bound under the name
// of the lock. The kernel lets one socket hold a name and frees it when the process ends, so
// the lock needs no file, cannot go stale after a crash, and is shared by every user.
#pragma once

#include <string>

class SingleInstanceLock {
public:
    static constexpr const char* kDefaultName = "Global\\_22g_orvane_opc_mutex";

    explicit SingleInstanceLock(std::string name = kDefaultName);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // Takes the lock; false when another process (or another lock object) holds it. Once
    // taken it is held until this object is destroyed or the process ends.
    bool Acquire();
    bool Held() const { return fd_ >= 0; }

private:
    std::string name_;
    int fd_ = -1;
};
