#include "rpc/persist_folder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rpc {

namespace {

constexpr std::size_t kMaxNameBytes = 255;

}  // namespace

OpenFile::~OpenFile() {
    if (fd_ >= 0) ::close(fd_);
}

OpenFile& OpenFile::operator=(OpenFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

std::u16string OpenFile::ServerPath() const {
    const std::string path = "/proc/self/fd/" + std::to_string(fd_);
    return std::u16string(path.begin(), path.end());
}

std::shared_ptr<PersistFolder> PersistFolder::Open(const std::string& path, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = std::string("cannot open the folder ") + path + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::shared_ptr<PersistFolder>(new PersistFolder(fd));
}

PersistFolder::~PersistFolder() {
    ::close(fd_);
}

bool PersistFolder::IsPlainName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameBytes || name == "." || name == "..") return false;
    for (const char c : name)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    return true;
}

HRESULT PersistFolder::OpenChecked(std::string_view name, int flags, OpenFile* file) const {
    if (!IsPlainName(name)) return E_ACCESSDENIED;
    const std::string plain(name);
    // Anything there but a regular file (a link, a folder, a FIFO, a device) is refused; the
    // open below checks again, for a file swapped in meanwhile.
    struct stat status {};
    if (::fstatat(fd_, plain.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(status.st_mode))
        return E_ACCESSDENIED;
    // O_NONBLOCK: a FIFO must not hold the host up before it is refused below.
    const int fd = ::openat(fd_, plain.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == ELOOP) return E_ACCESSDENIED;  // a link
        if (errno == ENOENT) return STG_E_FILENOTFOUND;
        return STG_E_ACCESSDENIED;
    }
    OpenFile opened(fd);
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return E_ACCESSDENIED;
    // A second hard link may be a file outside the folder: it is not written through.
    if ((flags & O_ACCMODE) != O_RDONLY && status.st_nlink > 1) return E_ACCESSDENIED;
    *file = std::move(opened);
    return S_OK;
}

HRESULT PersistFolder::OpenForLoad(std::string_view name, OpenFile* file) const {
    return OpenChecked(name, O_RDONLY, file);
}

HRESULT PersistFolder::OpenForSave(std::string_view name, OpenFile* file, bool* created) const {
    *created = false;
    HRESULT hr = OpenChecked(name, O_WRONLY | O_CREAT | O_EXCL, file);
    if (SUCCEEDED(hr)) {
        *created = true;
        return hr;
    }
    // It exists (or could not be made): open what is there, under the same checks.
    hr = OpenChecked(name, O_WRONLY, file);
    return hr == STG_E_FILENOTFOUND ? STG_E_ACCESSDENIED : hr;
}

void PersistFolder::Remove(std::string_view name) const {
    if (IsPlainName(name)) ::unlinkat(fd_, std::string(name).c_str(), 0);
}

}  // namespace rpc
