#include "platform/config/start_address_cache.h"

#include "platform/config/opc_config.h"

#include <sys/stat.h>
#include <mutex>
#include <string>

namespace {

struct FileStamp {
    std::string path;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const std::string& path) {
    FileStamp stamp;
    stamp.path = path;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        stamp.exists = true;
        stamp.device = info.st_dev;
        stamp.inode = info.st_ino;
        stamp.size = info.st_size;
        stamp.modifiedNs = info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec;
    }
    return stamp;
}

}  // namespace

unsigned ReadStartAddressCached() {
    static std::mutex mutex;
    static bool valid = false;
    static FileStamp cachedStamp;
    static unsigned cachedValue = 1;

    const FileStamp stamp = StampOf(GetConfigFilePath());
    std::lock_guard lock(mutex);
    if (!valid || !(stamp == cachedStamp)) {
        cachedValue = ReadStartAddress();
        // Stamp taken before the read: a write racing with it only causes one more read later.
        cachedStamp = stamp;
        valid = true;
    }
    return cachedValue;
}
