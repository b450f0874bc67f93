#include "platform/files/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a symbolic link points to; the path itself otherwise.
std::string ResolveLink(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return path;
    return resolved;
}

// A new file beside the target, created exclusively with the permissions a new file gets
// (0666 less the umask); an existing target's mode is copied onto it afterwards.
int CreateTemporary(const std::string& target, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const std::string stem = FolderOf(target) + "/." + FileNameOf(target) + ".tmp-" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = stem + std::to_string(counter.fetch_add(1));
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// The rename is only durable once the folder's entry is on the disk too. File systems that
// cannot sync a folder still keep the data, so a failure here is not reported.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool Fail(std::string* error, const std::string& tempPath) {
    const int code = errno;
    if (!tempPath.empty()) ::unlink(tempPath.c_str());
    if (error) *error = std::strerror(code);
    errno = code;
    return false;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes, std::string* error,
                         unsigned mode) {
    const std::string target = ResolveLink(path);
    std::string tempPath;
    const int fd = CreateTemporary(target, tempPath);
    if (fd < 0) return Fail(error, {});

    struct stat existing {};
    if (mode != 0)
        ::fchmod(fd, mode);
    else if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(fd, existing.st_mode & 07777);

    if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) {
        const int code = errno;
        ::close(fd);
        errno = code;
        return Fail(error, tempPath);
    }
    if (::close(fd) != 0) return Fail(error, tempPath);
    if (::rename(tempPath.c_str(), target.c_str()) != 0) return Fail(error, tempPath);
    SyncFolder(FolderOf(target));
    return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view text, std::string* error, unsigned mode) {
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    return WriteFileAtomically(path, bytes, error, mode);
}
